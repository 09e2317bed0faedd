#!/bin/sh
# Runs a Windows program of the mingw-x86 build under Wine: CTest and test discovery start
# every program of that build through this script. WINEPREFIX and DISPLAY come from the
# caller (scripts/test.sh sets both up); without a prefix the build's own is used.
set -e
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/mingw-x86/wineprefix}"
export WINEARCH="${WINEARCH:-win32}"
export WINEDEBUG="${WINEDEBUG:--all}"
exec wine "$@"
