#!/usr/bin/env bash
# The demo's steps once everything is built (scripts/demo.sh builds, then calls this):
# a trace window in the background, board 1 reset to its default plant, movactl demo.
#
#   scripts/demo-steps.sh linux|windows [BUILD_DIR]
#
# BUILD_DIR is the build tree (default build/release, or build/mingw-x86 for windows).
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${1:-} == windows ]]; then
    out=${2:-build/mingw-x86}
    bin=$out/bin
    movatrace=(scripts/wine-run.sh "$bin/movatrace.exe")
    korixsim=(scripts/wine-run.sh "$bin/korixsim.exe")
    movactl=(scripts/wine-run.sh "$bin/movactl.exe" demo --lib "$bin/MovaJob.dll")
    level_hint="wine $bin/movatrace.exe level MovaJob1 100"
else
    build=${2:-build/release}
    movatrace=("$build/tools/movatrace/movatrace")
    korixsim=("$build/tools/korixsim/korixsim")
    movactl=("$build/tools/movactl/movactl" demo --lib "$build/core/libmovajob.so")
    out=$build
    level_hint="movatrace level MovaJob1 100"
fi

trace_log=$out/demo-trace.log
window_errors=$out/demo-movatrace.err
rm -f "$trace_log" "$window_errors"

# The library's trace window, unless one runs already (then the lines go there). A script
# starts a background program with SIGINT ignored; the window is stopped by SIGINT, so it gets
# SIGINT back (under Wine, scripts/wine-run.sh passes it on as the program's Ctrl-C).
(
    trap - INT
    exec "${movatrace[@]}" --log "$trace_log" >/dev/null 2>"$window_errors"
) &
window_pid=$!
# SIGINT, as Ctrl-C would: movatrace ends cleanly on it, also under Wine. A window that has not
# ended 20 s later is ended all the same, and said so: the demo never waits for ever.
stop_window() {
    kill -INT "$window_pid" 2>/dev/null || return 0
    for _ in $(seq 200); do
        kill -0 "$window_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$window_pid" 2>/dev/null; then
        echo "(the trace window did not end within 20 s of its Ctrl-C; ended with SIGTERM)" >&2
        kill -TERM "$window_pid" 2>/dev/null || true
    fi
    wait "$window_pid" 2>/dev/null || true
}
trap stop_window EXIT
for _ in $(seq 100); do
    grep -q "serving" "$window_errors" 2>/dev/null && break
    kill -0 "$window_pid" 2>/dev/null || break
    sleep 0.1
done
if ! kill -0 "$window_pid" 2>/dev/null; then
    echo "(movatrace did not start: $(cat "$window_errors"); the trace goes to the window already running)"
fi

echo "Board 1 of the simulated board gets its default plant back for the demo."
"${korixsim[@]}" reset --board 1 >/dev/null
echo

status=0
"${movactl[@]}" || status=$?

echo
echo "The demo is over; the trace window is closed (Ctrl-C to movatrace)."
stop_window
trap - EXIT
if [[ -s $trace_log ]]; then
    echo
    echo "The trace window received $(wc -l <"$trace_log") lines from the library; the first of them"
    echo "(all of them in $trace_log; raise a session's level with '$level_hint'):"
    head -n 12 "$trace_log" | sed 's/^/    /'
fi
exit "$status"
