target_link_libraries(${TEST_TARGET} PRIVATE vireluz_net vireluz_qtadapters)
# The limit tests run the client on simulated time.
target_sources(${TEST_TARGET} PRIVATE ${CMAKE_SOURCE_DIR}/tests/net_support/sim_io_loop.cpp)
