# What the desktop and Debian get: the desktop entry and metainfo validated, the Debian package
# built, its contents and dependencies checked, and the packaged program started from a scratch root.
set(check ${CMAKE_CURRENT_SOURCE_DIR}/packaging/check_package.sh)
set(package_dir ${CMAKE_BINARY_DIR}/test-package)

find_program(MAVU_DESKTOP_FILE_VALIDATE desktop-file-validate)
find_program(MAVU_APPSTREAMCLI appstreamcli)
find_program(MAVU_DPKG_DEB dpkg-deb)
if(NOT MAVU_DESKTOP_FILE_VALIDATE OR NOT MAVU_APPSTREAMCLI OR NOT MAVU_DPKG_DEB)
  message(WARNING "desktop-file-validate, appstreamcli or dpkg-deb missing: the packaging tests are left out "
                  "(scripts/install-deps.sh installs them)")
  return()
endif()

add_test(NAME packaging_desktop_entry
  COMMAND ${check} entry ${CMAKE_BINARY_DIR}/packaging/${MAVU_APP_ID}.desktop)
add_test(NAME packaging_metainfo
  COMMAND ${check} metainfo ${CMAKE_BINARY_DIR}/packaging/${MAVU_APP_ID}.metainfo.xml ${PROJECT_VERSION})
add_test(NAME packaging_deb_build COMMAND ${check} build ${CMAKE_BINARY_DIR} ${package_dir} ${CMAKE_CPACK_COMMAND})
add_test(NAME packaging_deb_contents
  COMMAND ${check} contents ${package_dir} ${MAVU_APP_ID} ${PROJECT_VERSION} ${PROJECT_SOURCE_DIR})
add_test(NAME packaging_deb_starts COMMAND ${check} starts ${package_dir} ${CMAKE_BINARY_DIR}/test-package-root)

set_tests_properties(packaging_deb_build PROPERTIES FIXTURES_SETUP mavu_deb TIMEOUT 300)
set_tests_properties(packaging_deb_contents packaging_deb_starts PROPERTIES FIXTURES_REQUIRED mavu_deb TIMEOUT 120)
