target_link_libraries(${TEST_TARGET} PRIVATE vireluz_net vireluz_qtadapters)
