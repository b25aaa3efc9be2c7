# The Debian package (cpack -G DEB in the build folder): the program and the
# tool in /usr/bin, the menu entry and icon, the manual pages, the udev rule of
# the FTDI interfaces, the systemd unit of the headless runner (not enabled),
# the maintainer scripts that tell systemd and udev about them and clean up on
# removal and purge, and the documentation files Debian asks for.
# Dependencies come from dpkg-shlibdeps.
set(_pkg ${CMAKE_CURRENT_LIST_DIR})
set(_gen ${CMAKE_BINARY_DIR}/packaging)
set(_maintainer "VIRELUZ maintainers <vireluz@example.org>")
file(MAKE_DIRECTORY ${_gen})

# Debian wants its changelog and the manual pages compressed, without a time
# stamp in the gzip header (reproducible). The changelog's date is the
# configuration time's.
string(TIMESTAMP _date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${_gen}/changelog.Debian
  "vireluz (${PROJECT_VERSION}-1) unstable; urgency=medium\n\n"
  "  * Package built with CPack from the project's sources.\n\n"
  " -- ${_maintainer}  ${_date}\n")
foreach(_f ${_gen}/changelog.Debian ${_pkg}/vireluz.1 ${_pkg}/vireluz-tic.1)
  get_filename_component(_n ${_f} NAME)
  execute_process(COMMAND gzip -9nc ${_f} OUTPUT_FILE ${_gen}/${_n}.gz)
endforeach()

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(FILES ${_pkg}/60-vireluz-ftdi.rules DESTINATION lib/udev/rules.d)
install(FILES ${_pkg}/vireluz.service DESTINATION lib/systemd/system)
install(FILES ${_gen}/vireluz.1.gz ${_gen}/vireluz-tic.1.gz DESTINATION share/man/man1)
install(FILES ${_pkg}/copyright ${_gen}/changelog.Debian.gz ${CMAKE_SOURCE_DIR}/README.md
  DESTINATION share/doc/vireluz)

# cpack (and the package test) take the program as built: installing must not
# first build every test and benchmark.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vireluz)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${_maintainer}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${_maintainer}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_pkg}/postinst ${_pkg}/prerm ${_pkg}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "watches French electricity meters through their tele-information output\n"
  "VIRELUZ reads one or two French electronic electricity meters through\n"
  "their customer tele-information output (TIC) and an FTDI-based USB\n"
  "interface. It shows live values, gauges and graphs, appends CSV records,\n"
  "mails alerts and uploads readings to web services. It runs with windows\n"
  "(menu entry) or without, as the systemd service vireluz.service.")
include(CPack)
