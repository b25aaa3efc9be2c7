# The error boxes of the windowed program over a run of the whole program in
# simulated time: the Qt layer, the simulated interface and the serial link of
# the simulated-time runs, the QApplication main of the window tests.
target_sources(${TEST_TARGET} PRIVATE ${CMAKE_SOURCE_DIR}/tests/app/support/qt_main.cpp
  ${CMAKE_SOURCE_DIR}/tests/longrun/support/sim_serial_link.cpp)
target_include_directories(${TEST_TARGET} PRIVATE ${CMAKE_SOURCE_DIR}/tests/longrun)
target_link_libraries(${TEST_TARGET} PRIVATE vireluz_app Qt6::Test)
