# `make package`: a Debian package of everything `cmake --install` installs,
# built by CPack; dpkg-shlibdeps works out the library dependencies.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "tessor")
set(CPACK_PACKAGE_VENDOR "The Tessor developers")
set(TESSOR_PACKAGE_MAINTAINER "The Tessor developers <developers@tessor.invalid>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${TESSOR_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "write data discs and ISO images")
# Debian wants the lines of the long description to stay within 80 columns.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Tessor writes files and folders to a CD, DVD or BD as one data track with"
  "an ISO 9660 file system, Joliet names and a UDF 1.50 bridge, or into an ISO"
  "image file. It also writes image files to discs, erases rewritable discs"
  "and opens and closes the tray, talking to the drives with SCSI Multimedia"
  "Commands."
  "."
  "The package holds tessor-cli for scripts and terminals, the window program"
  "tessor when it is built, and a virtual recorder (libwnaspi32.so with the"
  "tessor-vdrive tool) that stands in when no drive is present.")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "otherosfs")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET tessor)
  # The window cannot open without Qt's platform plugins, which the Qt
  # libraries only recommend.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The Debian changelog travels with the package; its newest entry must be
# for the version being packaged.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^tessor \\(${PROJECT_VERSION}\\)")
  message(FATAL_ERROR "packaging/changelog has no entry for version ${PROJECT_VERSION} at its top")
endif()
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
  VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tessor)

include(CPack)
