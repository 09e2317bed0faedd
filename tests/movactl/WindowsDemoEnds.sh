#!/usr/bin/env bash
# The Windows demo ends on its own: scripts/demo-steps.sh windows, as scripts/demo.sh --windows
# runs it once built, under the Wine of this test run (scripts/with-wine.sh). Its last step
# closes the trace window, which runs under Wine behind scripts/wine-run.sh; a Ctrl-C that does
# not reach the window left the script waiting for it for ever.
#
#   WindowsDemoEnds.sh SOURCE_DIR BUILD_DIR
#
# How long the demo itself takes is no concern here (the test's time-out bounds it). After its
# last step only the window is left to close, which takes a moment: a script still running a
# minute later hangs.
set -uo pipefail
source_dir=$1
build_dir=$2
log=$(mktemp)
trap 'rm -f "$log"' EXIT

(cd "$source_dir" && exec scripts/demo-steps.sh windows "$build_dir") >"$log" 2>&1 &
demo_pid=$!
last_step="The demo is over"
until grep -q "$last_step" "$log"; do
    if ! kill -0 "$demo_pid" 2>/dev/null; then
        cat "$log"
        echo "FAILED: the demo ended before its last step" >&2
        exit 1
    fi
    sleep 0.2
done
ended=no
for _ in $(seq 600); do
    if ! kill -0 "$demo_pid" 2>/dev/null; then
        ended=yes
        break
    fi
    sleep 0.1
done
if [[ $ended == no ]]; then
    kill -TERM "$demo_pid" 2>/dev/null
    pkill -TERM -P "$demo_pid" 2>/dev/null
    cat "$log"
    echo "FAILED: the demo was still running 60 s after its last step" >&2
    exit 1
fi
wait "$demo_pid"
status=$?
cat "$log"
if [[ $status -ne 0 ]]; then
    echo "FAILED: the demo ended with exit status $status" >&2
    exit 1
fi
grep -q "movatrace did not start" "$log" && { echo "FAILED: no trace window" >&2; exit 1; }
echo "the demo ended on its own after its last step"
