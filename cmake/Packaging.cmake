# The Windows SDK, made from the install rules (cmake/Install.cmake) by cpack in a build folder
# of the mingw-x86 cross build: cpack -G ZIP gives one archive of everything. scripts/packages.sh
# makes it from a release build (the mingw-x86-sdk preset), stripped: a debug build is several
# times larger and names the build tree in its debug information.
#
# The Linux packages are made the Debian way, from debian/ (dpkg-buildpackage), not here.
if(NOT WIN32)
  return()
endif()

set(CPACK_PACKAGE_NAME movajob)
set(CPACK_PACKAGE_VENDOR "MovaJob")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "MovaJob developers <movajob@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "PROFIBUS-DP channel library for process-visualisation hosts")
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME movajob-${PROJECT_VERSION}-win32-sdk)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_STRIP_FILES ON)

include(CPack)
