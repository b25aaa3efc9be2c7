# The four settings windows and what they share are compiled into the test
# itself, so that the test does not depend on the rest of the Qt program.
target_sources(${TEST_TARGET} PRIVATE
  ${CMAKE_SOURCE_DIR}/src/app/settings_window.h ${CMAKE_SOURCE_DIR}/src/app/settings_window.cpp
  ${CMAKE_SOURCE_DIR}/src/app/qt_support.h ${CMAKE_SOURCE_DIR}/src/app/qt_support.cpp
  ${CMAKE_SOURCE_DIR}/src/app/cosm_window.h ${CMAKE_SOURCE_DIR}/src/app/cosm_window.cpp
  ${CMAKE_SOURCE_DIR}/src/app/bdpv_window.h ${CMAKE_SOURCE_DIR}/src/app/bdpv_window.cpp
  ${CMAKE_SOURCE_DIR}/src/app/alert_window.h ${CMAKE_SOURCE_DIR}/src/app/alert_window.cpp
  ${CMAKE_SOURCE_DIR}/src/app/mqtt_window.h ${CMAKE_SOURCE_DIR}/src/app/mqtt_window.cpp)
set_target_properties(${TEST_TARGET} PROPERTIES AUTOMOC ON)
target_link_libraries(${TEST_TARGET} PRIVATE Qt6::Widgets Qt6::Test vireluz_mqtt vireluz_qtadapters)
