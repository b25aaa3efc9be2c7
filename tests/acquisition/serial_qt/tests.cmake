target_link_libraries(${TEST_TARGET} PRIVATE vireluz_qtadapters Qt6::Core Qt6::SerialPort)
