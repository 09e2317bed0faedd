#!/usr/bin/env bash
# Shows tracing at work: a trace window (movatrace) in the background, a traced program
# (tracedemo) writing lines at several levels, and the level raised from outside while it runs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=build/release
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target movatrace tracedemo >/dev/null

movatrace=$build/tools/movatrace/movatrace
tracedemo=$build/tools/tracedemo/tracedemo
window_class="MovaDemoWin$$"
session="TraceDemo$$"

"$movatrace" --class "$window_class" &
window_pid=$!
trap 'kill "$window_pid" 2>/dev/null || true; wait "$window_pid" 2>/dev/null || true' EXIT
sleep 0.3

echo "--- tracedemo runs at trace level 0: errors, warnings and level-0 lines show"
"$tracedemo" --name "$session" --class "$window_class" --level 0 --lines 8 --interval-ms 250 &
demo_pid=$!
sleep 0.8
echo "--- live sessions:"
"$movatrace" sessions | grep -F "$session" || true
echo "--- raising the level of '$session' to 200 from outside: entry lines and hex dumps follow"
"$movatrace" level "$session" 200
wait "$demo_pid"
echo "--- done; see docs/ for the trace line format and the window protocol"
