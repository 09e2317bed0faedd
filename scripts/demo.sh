#!/usr/bin/env bash
# The library at work on the simulated board: movactl, a host program, opens board 1 through
# libmovajob.so, tests the slaves, reads and writes them, queues and withdraws batches; a trace
# window (movatrace) collects what the library traces meanwhile.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=build/release
echo "Building (release preset)..."
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" \
    --target movajob korix korixsim movactl movatrace >/dev/null

tools=$build/tools
trace_log=$build/demo-trace.log
window_errors=$build/demo-movatrace.err
rm -f "$trace_log" "$window_errors"

# The library's trace window, unless one runs already (then the lines go there).
"$tools/movatrace/movatrace" --log "$trace_log" >/dev/null 2>"$window_errors" &
window_pid=$!
trap 'kill "$window_pid" 2>/dev/null || true; wait "$window_pid" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    grep -q "serving" "$window_errors" 2>/dev/null && break
    kill -0 "$window_pid" 2>/dev/null || break
    sleep 0.1
done
if ! kill -0 "$window_pid" 2>/dev/null; then
    echo "(movatrace did not start: $(cat "$window_errors"); the trace goes to the window already running)"
fi

echo "Board 1 of the simulated board gets its default plant back for the demo."
"$tools/korixsim/korixsim" reset --board 1 >/dev/null
echo

status=0
"$tools/movactl/movactl" demo --lib "$build/core/libmovajob.so" || status=$?

kill "$window_pid" 2>/dev/null || true
wait "$window_pid" 2>/dev/null || true
if [[ -s $trace_log ]]; then
    echo
    echo "The trace window received $(wc -l <"$trace_log") lines from the library; the first of them"
    echo "(all of them in $trace_log; raise a session's level with 'movatrace level MovaJob1 100'):"
    head -n 12 "$trace_log" | sed 's/^/    /'
fi
exit "$status"
