# The repository reads nothing outside itself: a fresh clone builds and passes
# the capture tests (a few minutes without ccache).
add_test(NAME repository_self_contained
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/self_contained.sh ${CMAKE_SOURCE_DIR})
set_tests_properties(repository_self_contained PROPERTIES
  TIMEOUT 1500 COST 200 SKIP_RETURN_CODE 77 RUN_SERIAL FALSE)
