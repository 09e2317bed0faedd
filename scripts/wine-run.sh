#!/bin/sh
# Runs a Windows program of the mingw-x86 build under Wine: CTest and test discovery start
# every program of that build through this script. WINEPREFIX and DISPLAY come from the
# caller (scripts/test.sh sets both up); without a prefix the build's own is used.
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/mingw-x86/wineprefix}"
export WINEARCH="${WINEARCH:-win32}"
export WINEDEBUG="${WINEDEBUG:--all}"
wine "$@"
status=$?
# Wine's own loader now and then dies of SIGSEGV as a program ends, after the program has
# printed all it had to say (seen on test programs that only skip, under a loaded machine).
# A fault of the Windows program itself ends differently, with its exception code as the
# exit status. So a SIGSEGV of Wine gets the program run once more, and says so.
if [ "$status" -eq 139 ]; then
    echo "wine-run.sh: Wine itself died of SIGSEGV running $1; running it once more" >&2
    wine "$@"
    status=$?
fi
exit "$status"
