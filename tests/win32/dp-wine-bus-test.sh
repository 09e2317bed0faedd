#!/usr/bin/env bash
# korix-dpmaster.exe under Wine on a COM port that the Wine prefix maps to one end of a
# pseudo-terminal (a dosdevices link, as a USB adapter would be COM3 on Windows), the Linux
# slave simulator on the other end. Hosts read and write the slaves through MovaJob.dll
# (movactl.exe); movactl.exe status and korixsim.exe show read the master's status block; a
# second master on the port is refused; a silent slave leaves data exchange and comes back;
# Ctrl-C and a kill both leave the board offline, as on Linux (tests/dp/DpBoardTest.cpp); the
# master runs as a service of Wine's service control manager.
#
#   dp-wine-bus-test.sh BIN_DIR LINUX_DPSLAVE SOURCE_DIR
#
# Real processes in real time, so every "eventually" waits generously and nothing is timed.
# Exit 77 (skipped) when the Linux slave simulator has not been built (the dev preset).
set -euo pipefail
bin=$1
dpslave=$2
source=$3
if [[ ! -x $dpslave ]]; then
    echo "SKIP: no Linux korix-dpslave at $dpslave (build the dev preset first)"
    exit 77
fi
: "${WINEPREFIX:?the Wine prefix (scripts/with-wine.sh sets it)}"
export WINEDEBUG=${WINEDEBUG:--all}
# Boards of their own: nothing else running in the prefix sees or disturbs them.
export KORIXSIM_PREFIX=dpwine$$
board=1

work=$(mktemp -d)
slave_pid=
master_pid=
hold_pid=
link=
failures=0

cleanup() {
    for pid in $master_pid $hold_pid; do
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    [[ -n $slave_pid ]] && { kill -INT "$slave_pid" 2>/dev/null || true; wait "$slave_pid" 2>/dev/null || true; }
    [[ -n $link ]] && rm -f "$link"
    exec 7>&- 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

# Polls a command until its output holds the text; 60 s at most (Wine starts slowly on a busy
# machine).
eventually() { # text, command...
    local text=$1
    shift
    local out
    for _ in $(seq 240); do
        out=$("$@" 2>&1 || true)
        [[ $out == *"$text"* ]] && return 0
        sleep 0.25
    done
    echo "--- last output of $*:" >&2
    echo "$out" >&2
    return 1
}

# A Windows program of the build, its output and exit status as they are; one that has not
# ended after two minutes has hung (124), and the test goes on to say so.
win() {
    timeout -k 10 120 "$source/scripts/wine-run.sh" "$bin/$1" "${@:2}"
}

start_master() { # log file
    # A background command of a script starts with SIGINT ignored; the master must take it,
    # as Wine turns it into the console's Ctrl-C.
    (
        trap - INT
        exec wine "$bin/korix-dpmaster.exe" --board "$board" --port "$port" \
            --bus "$work/bus.json" </dev/null >"$1" 2>&1
    ) &
    master_pid=$!
    eventually "slave 5: data exchange" cat "$1" || { fail "the master did not bring the slaves into data exchange"; cat "$1" >&2; exit 1; }
}

# The slave simulator on a pseudo-terminal; its commands come through a FIFO.
mkfifo "$work/commands"
"$dpslave" --pty --slaves "$source/dp/demo/slaves.json" <"$work/commands" >"$work/slave.log" 2>&1 &
slave_pid=$!
exec 7>"$work/commands"
eventually " on /dev/" cat "$work/slave.log" || { fail "the slave simulator did not start"; exit 1; }
peer=$(sed -n 's/^korix-dpslave: slaves .* on //p' "$work/slave.log" | head -n 1)

# The first COM port number the prefix does not map yet (ln fails on an existing link).
mkdir -p "$WINEPREFIX/dosdevices"
for n in $(seq 20 99); do
    if ln -s "$peer" "$WINEPREFIX/dosdevices/com$n" 2>/dev/null; then
        link=$WINEPREFIX/dosdevices/com$n
        port=COM$n
        break
    fi
done
[[ -n $link ]] || { fail "no free COM port number in the prefix"; exit 1; }
sed 's/"response_allowance_us": [0-9]*/"response_allowance_us": 20000/' \
    "$source/dp/demo/bus.json" >"$work/bus.json"

# A host holds the board, as a SCADA host would: on Windows a board lives only while a
# process has it open, and an ended master must leave it offline, not afresh.
(exec wine "$bin/korixsim.exe" hold --board "$board" </dev/null >"$work/hold.log" 2>&1) &
hold_pid=$!

start_master "$work/master1.log"
grep -q "serving board $board on $port at 1500000 bit/s" "$work/master1.log" ||
    fail "the master did not say what it serves: $(head -n 1 "$work/master1.log")"

# Out over the bus to slave 3, which loops its outputs back into its inputs.
out=$(win movactl.exe write --board "$board" 3:0:32=0x0a0b0c0d 2>&1) || fail "write: $out"
eventually "0x0A0B0C0D  done" win movactl.exe read --board "$board" 3:0:32 ||
    fail "slave 3 did not loop the written outputs back through the bus"
echo "outputs 3" >&7
eventually "ok 0d 0c 0b 0a 00 00 00 00" cat "$work/slave.log" ||
    fail "the slave simulator does not hold the outputs written through MovaJob.dll"

# The master's status block, read by processes that link neither the master nor the board.
status=$(win movactl.exe status --board "$board" 2>&1) || fail "movactl status failed: $status"
[[ $status == *"DP master: running"* && $status == *"bus: $port at 1500000 bit/s"* &&
   $status == *"slave 3: data exchange; ident 0x1234, 8 in / 8 out"* ]] ||
    fail "movactl status: $status"
show=$(win korixsim.exe show --board "$board" 2>&1) || fail "korixsim show failed: $show"
[[ $show == *"DP master: running"* && $show == *"slave 5: data exchange; ident 0xABCD"* ]] ||
    fail "korixsim show: $show"

# A second master for another board on the same port: Wine would let the port open twice. One
# that got the port runs until the time-out ends it.
second=0
out=$(win korix-dpmaster.exe --board 2 --port "$port" --bus "$work/bus.json" </dev/null 2>&1) || second=$?
[[ $second == 1 && $out == *"$port is in use by another program"* ]] ||
    fail "a second master on $port was not refused (exit $second): $out"

# A silent slave leaves data exchange for the hosts, and comes back.
echo "silent 4 on" >&7
eventually "slave state 0" win movactl.exe read --board "$board" 4:0:8 ||
    fail "a silent slave still reads as done"
echo "silent 4 off" >&7
eventually "done" win movactl.exe read --board "$board" 4:0:8 ||
    fail "the slave did not come back into data exchange"

# Ctrl-C (Wine's console event for SIGINT): the master ends by itself, the board offline.
kill -INT "$master_pid"
code=0
wait "$master_pid" || code=$?
master_pid=
[[ $code == 0 ]] || fail "the master ended with $code on Ctrl-C"
eventually "slave state 0" win movactl.exe read --board "$board" 3:0:8 ||
    fail "the board is not offline after Ctrl-C"

# A new master takes over; killed, it leaves the board offline as well.
start_master "$work/master2.log"
eventually "done" win movactl.exe read --board "$board" 3:0:8 ||
    fail "the second master does not serve the host"
kill -KILL "$master_pid"
wait "$master_pid" 2>/dev/null || true
master_pid=
# Asked again while the host before it may still be ending under Wine (its trace session
# then still taken).
eventually "slave state 0" win movactl.exe read --board "$board" 3:0:8 ||
    fail "the board is not offline after a kill"

# The master as a service of Wine's service control manager, on the same port. The manager
# starts services with its own environment, so the service serves the board under the
# default prefix: a board number nothing else here uses.
service_board=200
win_default() { # a Windows program under the default prefix, as the service sees the boards
    env -u KORIXSIM_PREFIX timeout -k 10 120 "$source/scripts/wine-run.sh" "$bin/$1" "${@:2}"
}
out=$(win korix-dpmaster.exe service install --board "$service_board" --port "$port" \
    --bus "$work/bus.json" 2>&1) || fail "service install: $out"
service=korix-dpmaster-$service_board
timeout -k 10 120 wine net start "$service" >/dev/null 2>&1 || fail "net start $service failed"
eventually "DP master: running" win_default movactl.exe status --board "$service_board" ||
    fail "the service does not serve board $service_board"
# The status block says "running" from the master's start, before every slave exchanges.
eventually "slave 5: data exchange" cat "$work/bus.json.log" ||
    fail "the service's lines are not in its log"
out=$(win korix-dpmaster.exe service remove --board "$service_board" 2>&1) ||
    fail "service remove: $out"
eventually "no DP master has served board $service_board" \
    win_default movactl.exe status --board "$service_board" ||
    fail "the removed service still serves board $service_board"

if [[ $failures -ne 0 ]]; then
    for log in slave.log master1.log master2.log hold.log bus.json.log; do
        [[ -f $work/$log ]] && { echo "--- $log" >&2; cat "$work/$log" >&2; }
    done
    exit 1
fi
echo "korix-dpmaster.exe served board $board on $port (a pseudo-terminal) to the Linux slaves"
