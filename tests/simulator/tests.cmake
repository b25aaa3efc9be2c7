# The command-line test runs the vireluz-tic program.
add_dependencies(${TEST_TARGET} vireluz-tic)
# The headless program on simulated meters whose digits swap (real time, 45 s).
if(TARGET vireluz)
  add_test(NAME headless_swapped_digits
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/headless_swap.py $<TARGET_FILE:vireluz>)
  set_tests_properties(headless_swapped_digits PROPERTIES TIMEOUT 120 COST 45 SKIP_RETURN_CODE 77
    ENVIRONMENT "LC_ALL=C.UTF-8;QT_QPA_PLATFORM=offscreen")
endif()
