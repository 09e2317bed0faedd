#!/usr/bin/env bash
# The demo over a real DP bus, once everything is built (scripts/demo.sh --dp builds, then
# calls this): korix-dpslave runs slaves 3, 4 and 5 on one end of a pseudo-terminal pair,
# korix-dpmaster runs the bus on the other end and serves board 1, and movactl demo runs
# against board 1 through the unchanged library.
#
#   scripts/demo-dp-steps.sh [linux|windows] [BUILD_DIR]
#
# BUILD_DIR is the Linux build tree (default build/release): its programs, or under windows
# its slave simulator.
# windows (scripts/demo.sh --windows --dp, inside scripts/with-wine.sh): korix-dpmaster.exe,
# movactl.exe and MovaJob.dll under Wine, the master on a COM port that the Wine prefix maps
# to the pseudo-terminal (a dosdevices link), the Linux slave simulator on its other end.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${2:-build/release}
out=$build/dp-demo
master=("$build/tools/dpmaster/korix-dpmaster")
movactl=("$build/tools/movactl/movactl" demo --lib "$build/core/libmovajob.so")
korixsim=("$build/tools/korixsim/korixsim")
if [[ ${1:-linux} == windows ]]; then
    bin=build/mingw-x86/bin
    out=build/mingw-x86/dp-demo
    master=(wine "$bin/korix-dpmaster.exe")
    movactl=(scripts/wine-run.sh "$bin/movactl.exe" demo --lib "$bin/MovaJob.dll")
    korixsim=(scripts/wine-run.sh "$bin/korixsim.exe")
fi
mkdir -p "$out"
slave_log=$out/korix-dpslave.log
master_log=$out/korix-dpmaster.log
rm -f "$slave_log" "$master_log"

slave_pid=
master_pid=
com_link=
stop_bus() {
    # SIGINT, as Ctrl-C would: the master leaves the board offline on its way out.
    [[ -n $master_pid ]] && { kill -INT "$master_pid" 2>/dev/null || true; wait "$master_pid" 2>/dev/null || true; }
    [[ -n $slave_pid ]] && { kill -INT "$slave_pid" 2>/dev/null || true; wait "$slave_pid" 2>/dev/null || true; }
    # Board 1 goes back to the simulated plant, for the hosts that come next.
    "${korixsim[@]}" reset --board 1 >/dev/null 2>&1 || true
    [[ -n $com_link ]] && rm -f "$com_link"
}
trap stop_bus EXIT

wait_for() { # file, text; 30 s at most (Wine starts slowly)
    for _ in $(seq 300); do
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

port=$peer
if [[ ${1:-linux} == windows ]]; then
    # The first COM port number the Wine prefix does not map yet becomes the pseudo-terminal.
    for n in $(seq 20 99); do
        if ln -s "$peer" "$WINEPREFIX/dosdevices/com$n" 2>/dev/null; then
            com_link=$WINEPREFIX/dosdevices/com$n
            port=COM$n
            break
        fi
    done
    [[ -n $com_link ]] || { echo "no free COM port number in $WINEPREFIX" >&2; exit 1; }
    echo "Under Wine the pseudo-terminal is $port (the link $com_link)."
fi

# SIGINT reaches the master (Wine makes it the console's Ctrl-C): a script starts a background
# program with SIGINT ignored unless told otherwise.
(
    trap - INT
    exec "${master[@]}" --board 1 --port "$port" --bus dp/demo/bus-gsd.json </dev/null >"$master_log" 2>&1
) &
master_pid=$!
wait_for "$master_log" "serving board 1"
wait_for "$master_log" "slave 5: data exchange"
echo "korix-dpmaster (dp/demo/bus-gsd.json: the slaves configured from their GSD files in dp/demo/gsd/) serves board 1 and exchanges data with them:"
sed 's/^/    /' "$master_log"
echo

status=0
"${movactl[@]}" || status=$?

echo
echo "What korixsim shows of the served board now:"
"${korixsim[@]}" show --board 1 | head -n 8 | sed 's/^/    /'
exit "$status"
