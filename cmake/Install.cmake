# What is installed, and where (GNUInstallDirs), in three components that become the three
# Debian packages: "library" (libmovajob.so.1 and the simulated board libkorix.so.1, which on
# Linux is the board library a user runs without hardware), "development" (the public headers in
# include/movajob/, the soname link, the pkg-config file, the CMake package, the docs) and
# "tools". Nothing installed keeps a run path into the build tree: CMake drops the build's run
# paths when it installs, and none is set for the installed files, so an installed
# libmovajob.so.1 finds libkorix.so.1 by the loader's ordinary rules.
#
# On Windows the same rules give the SDK: MovaJob.dll and the tools in bin/, the import library
# and MovaJob.def in lib/, the headers, the docs, and the simulated KORIX.dll in a folder of its
# own (see cmake/KORIX-simulated.txt), so that a real board's KORIX.dll is never shadowed.

include(CMakePackageConfigHelpers)

set(MOVAJOB_PUBLIC_HEADERS
  ${PROJECT_SOURCE_DIR}/include/MovaCom.h
  ${PROJECT_SOURCE_DIR}/include/MovaJob.h
  ${PROJECT_SOURCE_DIR}/include/MovaRecords.h
  ${PROJECT_SOURCE_DIR}/include/MovaResults.h)
set(MOVAJOB_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/movajob)
set(MOVAJOB_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/MovaJob)
if(WIN32)
  set(MOVAJOB_INSTALL_DOCDIR docs)
  set(MOVAJOB_INSTALL_EXAMPLESDIR examples)
  set(MOVAJOB_INSTALL_BOARDDIR korix-simulated)
else()
  set(MOVAJOB_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/movajob)
  set(MOVAJOB_INSTALL_EXAMPLESDIR ${MOVAJOB_INSTALL_DOCDIR}/examples)
  # systemd's folder for units that packages install (/lib/systemd/system on Debian 12).
  set(MOVAJOB_INSTALL_SYSTEMDDIR lib/systemd/system CACHE STRING
      "where the korix-dpmaster@.service unit is installed, relative to the prefix")
endif()

install(TARGETS movajob EXPORT MovaJobTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT library
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
          NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES ${MOVAJOB_PUBLIC_HEADERS}
  DESTINATION ${MOVAJOB_INSTALL_INCLUDEDIR} COMPONENT development)

if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/core/MovaJob.def
    DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
  install(FILES $<TARGET_FILE:korix> ${PROJECT_SOURCE_DIR}/cmake/KORIX-simulated.txt
    DESTINATION ${MOVAJOB_INSTALL_BOARDDIR} COMPONENT library)
else()
  # Only the runtime file: nothing links against the board library but libmovajob.so.1.
  install(TARGETS korix
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_SKIP)
endif()

install(TARGETS movactl korixsim movatrace tracedemo
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)

install(TARGETS korix-dpmaster korix-dpslave korix-gsd
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
if(WIN32)
  # The demo's bus (bus files, slave file, GSD files), to start a bus file from.
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/dp/demo/
    DESTINATION ${MOVAJOB_INSTALL_EXAMPLESDIR}/dp COMPONENT tools)
else()
  # The unit that serves a board at boot, and where its configuration lives (docs/dp-master.md).
  install(FILES ${PROJECT_SOURCE_DIR}/dp/systemd/korix-dpmaster@.service
    DESTINATION ${MOVAJOB_INSTALL_SYSTEMDDIR} COMPONENT tools)
  install(FILES ${PROJECT_SOURCE_DIR}/dp/systemd/board.conf.example
    DESTINATION ${MOVAJOB_INSTALL_DOCDIR}/examples/dp COMPONENT tools)
endif()

# The docs go with what they describe: a host's author gets the interface, the trace's inner
# workings and the two example hosts with the development files; a user gets the tools' docs
# with the tools.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/api
  DESTINATION ${MOVAJOB_INSTALL_DOCDIR} COMPONENT development)
install(FILES
  ${PROJECT_SOURCE_DIR}/docs/board-semaphore.md
  ${PROJECT_SOURCE_DIR}/docs/level-block.md
  ${PROJECT_SOURCE_DIR}/docs/trace-delivery.md
  ${PROJECT_SOURCE_DIR}/docs/windows.md
  DESTINATION ${MOVAJOB_INSTALL_DOCDIR} COMPONENT development)
install(FILES
  ${PROJECT_SOURCE_DIR}/docs/dp-master.md
  ${PROJECT_SOURCE_DIR}/docs/gsd-files.md
  ${PROJECT_SOURCE_DIR}/docs/korixsim.md
  ${PROJECT_SOURCE_DIR}/docs/movactl.md
  ${PROJECT_SOURCE_DIR}/docs/movatrace.md
  ${PROJECT_SOURCE_DIR}/docs/simulated-board.md
  ${PROJECT_SOURCE_DIR}/docs/tracing.md
  DESTINATION ${MOVAJOB_INSTALL_DOCDIR} COMPONENT tools)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/host-c ${PROJECT_SOURCE_DIR}/examples/host-cpp
  DESTINATION ${MOVAJOB_INSTALL_EXAMPLESDIR} COMPONENT development)
if(WIN32)
  # A toolchain file for hosts built against the SDK, at its top: with it find_package(MovaJob)
  # finds the SDK without being told where (docs/windows.md).
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/mingw-x86-sdk.cmake
    DESTINATION . COMPONENT development)
endif()
include(${PROJECT_SOURCE_DIR}/cmake/ManPages.cmake)

# pkg-config. On Linux the file names the prefix it is installed under, so that pkg-config
# prints plain paths (-I/usr/include/movajob); it is written when installing, when that prefix
# is known (cmake --install --prefix, the Debian packages' /usr). The Windows SDK is unpacked
# anywhere, so its file finds the prefix from its own place instead.
if(WIN32)
  file(RELATIVE_PATH MOVAJOB_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
  string(REGEX REPLACE "/$" "" MOVAJOB_PC_TO_PREFIX "${MOVAJOB_PC_TO_PREFIX}")
  set(MOVAJOB_PC_PREFIX "\${pcfiledir}/${MOVAJOB_PC_TO_PREFIX}")
  set(MOVAJOB_PC_LIBS "-L\${libdir} -lMovaJob") # the import library MovaJob.dll.a
  configure_file(${PROJECT_SOURCE_DIR}/cmake/movajob.pc.in
    ${PROJECT_BINARY_DIR}/pkgconfig/movajob.pc @ONLY)
else()
  install(CODE "
    set(MOVAJOB_PC_TEMPLATE \"${PROJECT_SOURCE_DIR}/cmake/movajob.pc.in\")
    set(MOVAJOB_PC_OUTPUT \"${PROJECT_BINARY_DIR}/pkgconfig/movajob.pc\")
    set(MOVAJOB_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
    set(MOVAJOB_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
    set(MOVAJOB_PC_VERSION \"${PROJECT_VERSION}\")
    include(\"${PROJECT_SOURCE_DIR}/cmake/WritePkgConfig.cmake\")"
    COMPONENT development)
endif()
install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/movajob.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# The CMake package: find_package(MovaJob) gives MovaJob::movajob with its include folder.
install(EXPORT MovaJobTargets NAMESPACE MovaJob::
  DESTINATION ${MOVAJOB_INSTALL_CMAKEDIR} COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/MovaJobConfig.cmake.in
  ${PROJECT_BINARY_DIR}/MovaJobConfig.cmake
  INSTALL_DESTINATION ${MOVAJOB_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/MovaJobConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/MovaJobConfig.cmake
              ${PROJECT_BINARY_DIR}/MovaJobConfigVersion.cmake
  DESTINATION ${MOVAJOB_INSTALL_CMAKEDIR} COMPONENT development)
