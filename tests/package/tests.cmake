# The Debian package: built, checked by lintian, run extracted as an
# unprivileged user (about 20 s), its service unit verified.
if(TARGET vireluz AND TARGET vireluz-tic)
  add_test(NAME package_deb COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/package_test.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(package_deb PROPERTIES TIMEOUT 300 COST 60 SKIP_RETURN_CODE 77)
endif()
