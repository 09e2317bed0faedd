# Run while installing (cmake/Install.cmake): writes movajob.pc for the prefix being installed
# to, CMAKE_INSTALL_PREFIX at that moment, so that the file holds plain absolute paths.
cmake_path(SET MOVAJOB_PC_PREFIX NORMALIZE "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "(.)/$" "\\1" MOVAJOB_PC_PREFIX "${MOVAJOB_PC_PREFIX}")
set(CMAKE_INSTALL_INCLUDEDIR "${MOVAJOB_PC_INCLUDEDIR}")
set(CMAKE_INSTALL_LIBDIR "${MOVAJOB_PC_LIBDIR}")
set(PROJECT_VERSION "${MOVAJOB_PC_VERSION}")
# The linker must also find libkorix.so.1, which libmovajob.so.1 needs, in the same folder; in
# the system's own /usr it finds it there anyway.
set(MOVAJOB_PC_LIBS "-L\${libdir} -lmovajob")
if(NOT MOVAJOB_PC_PREFIX STREQUAL "/usr")
  string(APPEND MOVAJOB_PC_LIBS " -Wl,-rpath-link,\${libdir}")
endif()
configure_file("${MOVAJOB_PC_TEMPLATE}" "${MOVAJOB_PC_OUTPUT}" @ONLY)
