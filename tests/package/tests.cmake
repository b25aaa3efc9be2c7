# The Debian package: built, checked (maintainer scripts, hardening, lintian,
# the unit's security rating), run extracted as an unprivileged user (about
# 20 s); then, as root, installed, enabled and purged for real.
if(TARGET vireluz AND TARGET vireluz-tic)
  add_test(NAME package_deb COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/package_test.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(package_deb PROPERTIES TIMEOUT 300 COST 60 SKIP_RETURN_CODE 77
    FIXTURES_SETUP vireluz_deb)
  add_test(NAME package_install
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/install_test.sh ${CMAKE_BINARY_DIR}/package)
  set_tests_properties(package_install PROPERTIES TIMEOUT 900 COST 30 SKIP_RETURN_CODE 77
    FIXTURES_REQUIRED vireluz_deb)
endif()
