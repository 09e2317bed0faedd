# Packages made from the install rules (cmake/Install.cmake) by cpack in the build folder:
#   Linux:   cpack -G DEB gives movajob (the library and the simulated board), movajob-dev
#            (headers, pkg-config file, CMake package, docs) and movajob-tools.
#   Windows: cpack -G ZIP gives one SDK archive of everything.
set(CPACK_PACKAGE_NAME movajob)
set(CPACK_PACKAGE_VENDOR "MovaJob")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "MovaJob developers <movajob@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "PROFIBUS-DP channel library for process-visualisation hosts")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME movajob-${PROJECT_VERSION}-win32-sdk)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL library development tools)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # As Debian ships programs and libraries: without their debug information.
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://movajob.example.invalid/")

  set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME movajob)
  set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME movajob-dev)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME movajob-tools)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)

  # The system libraries each package needs come from dpkg-shlibdeps; the packages among
  # themselves depend on the same version (component dependencies below). libkorix.so.1 is
  # the library package's own, so shlibdeps is told where it is rather than asking dpkg.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/sim)
  set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
  set(CPACK_DEBIAN_LIBRARY_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "pkg-config | pkgconf")
endif()

include(CPack)

cpack_add_component(library DISPLAY_NAME "MovaJob library and simulated board")
cpack_add_component(development DISPLAY_NAME "MovaJob development files" DEPENDS library)
cpack_add_component(tools DISPLAY_NAME "MovaJob tools" DEPENDS library)
