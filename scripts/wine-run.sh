#!/usr/bin/env bash
# Runs a Windows program of the mingw-x86 build under Wine: CTest and test discovery start
# every program of that build through this script. WINEPREFIX and DISPLAY come from the
# caller (scripts/test.sh sets both up); without a prefix the build's own is used.
#
# A stop request to this script, SIGINT (Ctrl-C, kill -INT) or SIGTERM, is passed on to the
# program: a script that stops "its" program stops this wrapper, and a wrapper that kept the
# signal would leave the program running and its caller waiting for ever. Under Wine a SIGINT
# becomes the program's Ctrl-C, which the tools end on cleanly.
#
# A shell without job control starts a program in the background with SIGINT ignored, and a
# shell cannot trap a signal that was ignored when it started: start this wrapper in the
# background as ( trap - INT; exec scripts/wine-run.sh ... ) & so that it can pass SIGINT on.
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/mingw-x86/wineprefix}"
export WINEARCH="${WINEARCH:-win32}"
export WINEDEBUG="${WINEDEBUG:--all}"

child=
forward() {
    [[ -n $child ]] && kill "-$1" "$child" 2>/dev/null
}
trap 'forward INT' INT
trap 'forward TERM' TERM

# Runs wine as a child that SIGINT reaches, and waits for its end: a signal that arrives
# meanwhile ends the wait early (after its trap), while the program may still be running.
# A background command of a shell without job control reads /dev/null: descriptor 3 keeps our
# standard input for it (tests feed programs through it).
exec 3<&0
run_wine() {
    (
        trap - INT
        exec wine "$@" <&3 3<&-
    ) &
    child=$!
    wait "$child"
    status=$?
    while [[ $status -gt 128 ]] && kill -0 "$child" 2>/dev/null; do
        wait "$child"
        status=$?
    done
    child=
}

run_wine "$@"
# Wine's own loader now and then dies of SIGSEGV as a program ends, after the program has
# printed all it had to say (seen on test programs that only skip, under a loaded machine).
# A fault of the Windows program itself ends differently, with its exception code as the
# exit status. So a SIGSEGV of Wine gets the program run once more, and says so.
if [[ $status -eq 139 ]]; then
    echo "wine-run.sh: Wine itself died of SIGSEGV running $1; running it once more" >&2
    run_wine "$@"
fi
exit "$status"
