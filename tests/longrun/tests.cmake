# The week-long run in simulated time talks to real SMTP and HTTP servers
# (Python scripts of the mail and upload tests, on 127.0.0.1) through the
# libcurl clients.
target_link_libraries(${TEST_TARGET} PRIVATE vireluz_net vireluz_qtadapters)
find_program(VIRELUZ_LONGRUN_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT VIRELUZ_LONGRUN_PYTHON)
  find_program(VIRELUZ_LONGRUN_PYTHON NAMES python3 REQUIRED)
endif()
target_compile_definitions(${TEST_TARGET} PRIVATE VIRELUZ_PYTHON="${VIRELUZ_LONGRUN_PYTHON}")

# One ctest entry with its own time limit and label (ctest -L long / -LE long)
# instead of the per-case entries found by gtest_discover_tests.
get_property(_includes DIRECTORY PROPERTY TEST_INCLUDE_FILES)
list(FILTER _includes EXCLUDE REGEX "/${TEST_TARGET}\\[[0-9]+\\]_include\\.cmake$")
set_property(DIRECTORY PROPERTY TEST_INCLUDE_FILES ${_includes})
add_test(NAME longrun.SevenDays COMMAND ${TEST_TARGET} --gtest_brief=0)
set_tests_properties(longrun.SevenDays PROPERTIES TIMEOUT 900 LABELS long
  ENVIRONMENT "LC_ALL=C.UTF-8;QT_QPA_PLATFORM=offscreen")
