# Manual pages of the programs, made at build time from each program's own help by
# scripts/man-page.sh (help2man), which also checks that every option of every command is on
# the page. Built when MOVAJOB_MAN_PAGES is on (the Debian packages turn it on), since it runs
# the programs: not in a cross build.
option(MOVAJOB_MAN_PAGES "Make and install the programs' manual pages (needs help2man)" OFF)
if(NOT MOVAJOB_MAN_PAGES)
  return()
endif()
if(CMAKE_CROSSCOMPILING)
  message(FATAL_ERROR "MOVAJOB_MAN_PAGES runs the programs: not in a cross build")
endif()
find_program(MOVAJOB_HELP2MAN help2man REQUIRED)

set(MOVAJOB_MAN_DIR ${PROJECT_BINARY_DIR}/man)
file(MAKE_DIRECTORY ${MOVAJOB_MAN_DIR})
set(_movajob_pages)
foreach(_entry
    "movactl|a host on the command line: test, read, write and watch DP slaves through MovaJob"
    "movatrace|the trace window of MovaJob, and its trace levels"
    "korixsim|show and steer a board of the board library"
    "tracedemo|write MovaJob trace lines at every level"
    "korix-dpmaster|a PROFIBUS-DP master on a serial line, or a passive monitor of a running bus, serving a board of the board library"
    "korix-dpslave|simulated PROFIBUS-DP slaves on a serial line or a pseudo-terminal"
    "korix-gsd|show a PROFIBUS-DP device description (GSD) file and write a slave's bus file entry")
  string(REPLACE "|" ";" _parts "${_entry}")
  list(GET _parts 0 _program)
  list(GET _parts 1 _summary)
  set(_page ${MOVAJOB_MAN_DIR}/${_program}.1)
  add_custom_command(OUTPUT ${_page}
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/man-page.sh $<TARGET_FILE:${_program}> ${_program}
            ${_summary} ${PROJECT_VERSION} ${_page}
    DEPENDS ${_program} ${PROJECT_SOURCE_DIR}/scripts/man-page.sh
    COMMENT "Manual page of ${_program}"
    VERBATIM)
  list(APPEND _movajob_pages ${_page})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${_movajob_pages})
install(FILES ${_movajob_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
