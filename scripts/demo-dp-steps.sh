#!/usr/bin/env bash
# The demo over a real DP bus, once everything is built (scripts/demo.sh --dp builds, then
# calls this): korix-dpslave runs slaves 3, 4 and 5 on one end of a pseudo-terminal pair,
# korix-dpmaster runs the bus on the other end and serves board 1, and movactl demo runs
# against board 1 through the unchanged library.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/release
out=$build/dp-demo
mkdir -p "$out"
slave_log=$out/korix-dpslave.log
master_log=$out/korix-dpmaster.log
rm -f "$slave_log" "$master_log"

slave_pid=
master_pid=
stop_bus() {
    # SIGINT, as Ctrl-C would: the master leaves the board offline on its way out.
    [[ -n $master_pid ]] && { kill -INT "$master_pid" 2>/dev/null || true; wait "$master_pid" 2>/dev/null || true; }
    [[ -n $slave_pid ]] && { kill -INT "$slave_pid" 2>/dev/null || true; wait "$slave_pid" 2>/dev/null || true; }
    # Board 1 goes back to the simulated plant, for the hosts that come next.
    "$build/tools/korixsim/korixsim" reset --board 1 >/dev/null 2>&1 || true
}
trap stop_bus EXIT

wait_for() { # file, text
    for _ in $(seq 100); do
        grep -q "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    echo "did not see '$2' in $1:" >&2
    cat "$1" >&2
    exit 1
}

"$build/tools/dpslave/korix-dpslave" --pty --slaves dp/demo/slaves.json </dev/null >"$slave_log" 2>&1 &
slave_pid=$!
wait_for "$slave_log" " on /dev/"
peer=$(sed -n 's/^korix-dpslave: slaves .* on //p' "$slave_log" | head -n 1)
echo "Slaves 3, 4 and 5 (korix-dpslave, dp/demo/slaves.json) answer on the pseudo-terminal $peer."

"$build/tools/dpmaster/korix-dpmaster" --board 1 --port "$peer" --bus dp/demo/bus-gsd.json \
    </dev/null >"$master_log" 2>&1 &
master_pid=$!
wait_for "$master_log" "serving board 1"
wait_for "$master_log" "slave 5: data exchange"
echo "korix-dpmaster (dp/demo/bus-gsd.json: the slaves configured from their GSD files in dp/demo/gsd/) serves board 1 and exchanges data with them:"
sed 's/^/    /' "$master_log"
echo

status=0
"$build/tools/movactl/movactl" demo --lib "$build/core/libmovajob.so" || status=$?

echo
echo "What korixsim shows of the served board now:"
"$build/tools/korixsim/korixsim" show --board 1 | head -n 8 | sed 's/^/    /'
exit "$status"
