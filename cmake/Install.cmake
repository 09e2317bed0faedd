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
  set(MOVAJOB_INSTALL_BOARDDIR korix-simulated)
else()
  set(MOVAJOB_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/movajob)
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

install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/
  DESTINATION ${MOVAJOB_INSTALL_DOCDIR} COMPONENT development)

# pkg-config: the file finds the prefix from its own place, so it holds wherever the tree is
# installed (a scratch prefix, /usr from the Debian package, an unpacked SDK).
file(RELATIVE_PATH MOVAJOB_PC_TO_PREFIX
  /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" MOVAJOB_PC_TO_PREFIX "${MOVAJOB_PC_TO_PREFIX}")
if(WIN32)
  set(MOVAJOB_PC_LIBS "-L\${libdir} -lMovaJob") # the import library MovaJob.dll.a
else()
  # The linker must also find libkorix.so.1, which libmovajob.so.1 needs, in the same folder.
  set(MOVAJOB_PC_LIBS "-L\${libdir} -lmovajob -Wl,-rpath-link,\${libdir}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/movajob.pc.in
  ${PROJECT_BINARY_DIR}/movajob.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/movajob.pc
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
