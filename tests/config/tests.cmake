# The settings printer of vireluz-tic, run on files written by the script.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
add_test(NAME config_settings_json
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/settings_json_check.py $<TARGET_FILE:vireluz-tic>)
set_tests_properties(config_settings_json PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8")
