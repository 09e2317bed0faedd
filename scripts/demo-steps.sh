#!/usr/bin/env bash
# The demo's steps once everything is built (scripts/demo.sh builds, then calls this):
# a trace window in the background, board 1 reset to its default plant, movactl demo.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${1:-} == windows ]]; then
    bin=build/mingw-x86/bin
    movatrace=(scripts/wine-run.sh "$bin/movatrace.exe")
    korixsim=(scripts/wine-run.sh "$bin/korixsim.exe")
    movactl=(scripts/wine-run.sh "$bin/movactl.exe" demo --lib "$bin/MovaJob.dll")
    out=build/mingw-x86
    level_hint="wine $bin/movatrace.exe level MovaJob1 100"
else
    build=build/release
    movatrace=("$build/tools/movatrace/movatrace")
    korixsim=("$build/tools/korixsim/korixsim")
    movactl=("$build/tools/movactl/movactl" demo --lib "$build/core/libmovajob.so")
    out=$build
    level_hint="movatrace level MovaJob1 100"
fi

trace_log=$out/demo-trace.log
window_errors=$out/demo-movatrace.err
rm -f "$trace_log" "$window_errors"

# The library's trace window, unless one runs already (then the lines go there).
"${movatrace[@]}" --log "$trace_log" >/dev/null 2>"$window_errors" &
window_pid=$!
# SIGINT, as Ctrl-C would: movatrace ends cleanly on it, also under Wine.
trap 'kill -INT "$window_pid" 2>/dev/null || true; wait "$window_pid" 2>/dev/null || true' EXIT
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

kill -INT "$window_pid" 2>/dev/null || true
wait "$window_pid" 2>/dev/null || true
if [[ -s $trace_log ]]; then
    echo
    echo "The trace window received $(wc -l <"$trace_log") lines from the library; the first of them"
    echo "(all of them in $trace_log; raise a session's level with '$level_hint'):"
    head -n 12 "$trace_log" | sed 's/^/    /'
fi
exit "$status"
