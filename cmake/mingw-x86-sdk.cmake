# A toolchain file for building a host for 32-bit Windows against this SDK with Debian's
# MinGW-w64 (package g++-mingw-w64-i686), from the SDK's folder wherever it was unpacked:
#
#   cmake -S . -B build -DCMAKE_TOOLCHAIN_FILE=/path/to/sdk/mingw-x86-sdk.cmake
#
# A cross build looks for packages only below its find root paths; an ordinary MinGW toolchain
# file names only the compiler's own folder there, so find_package(MovaJob) then needs
# MovaJob_DIR. This one adds the SDK's folder, so find_package(MovaJob) works as it is.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32 "${CMAKE_CURRENT_LIST_DIR}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
