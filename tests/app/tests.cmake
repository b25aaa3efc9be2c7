target_link_libraries(${TEST_TARGET} PRIVATE vireluz_app Qt6::Test)
