#!/usr/bin/env bash
# The unit korix-dpmaster@.service, checked twice: systemd-analyze verify finds nothing wrong
# with it (for board instance 1, with the programs of this build in place of /usr/bin's), and
# its command lines, run as systemd runs them (the instance for %i, the variables of the board's
# configuration file), declare the board, serve it from a pseudo-terminal's bus, and end
# cleanly on SIGTERM with the board offline.
#
#   service-unit-test.sh UNIT KORIXSIM DPMASTER DPSLAVE BUS_FILE SLAVE_FILE
set -euo pipefail
unit=$1 korixsim=$2 dpmaster=$3 dpslave=$4 bus=$5 slaves=$6
work=$(mktemp -d)
export KORIXSIM_PREFIX="unit$$"
board=$((1 + $$ % 200))
cleanup() {
    [[ -n ${master_pid:-} ]] && kill "$master_pid" 2>/dev/null
    [[ -n ${slave_pid:-} ]] && kill "$slave_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work" /dev/shm/"$KORIXSIM_PREFIX".* 2>/dev/null || true
}
trap cleanup EXIT
fail() { echo "service-unit-test: $*" >&2; exit 1; }

# The unit as this build has it: our programs, our /etc.
etc=$work/etc/movajob/dp
mkdir -p "$etc" "$work/units"
sed -e "s|/usr/bin/korixsim|$korixsim|g" -e "s|/usr/bin/korix-dpmaster|$dpmaster|g" \
    -e "s|/etc/movajob/dp|$etc|g" "$unit" >"$work/units/korix-dpmaster@$board.service"
if command -v systemd-analyze >/dev/null; then
    systemd-analyze verify --man=no "$work/units/korix-dpmaster@$board.service" ||
        fail "systemd-analyze verify finds fault with the unit"
else
    fail "systemd-analyze is missing (package systemd; scripts/install-deps.sh installs it)"
fi

# A bus: the slave simulator on a pseudo-terminal, whose other end is the board's port.
coproc SLAVES { exec "$dpslave" --pty --slaves "$slaves"; }
slave_pid=$SLAVES_PID
read -r -t 20 line <&"${SLAVES[0]}" || fail "korix-dpslave did not start"
port=${line##* on }
cat >"$etc/board$board.conf" <<CONF
# as an administrator writes it
KORIX_DP_PORT=$port
KORIX_DP_OPTIONS=--cycle-us 500 --status-every 0
CONF
cp "$bus" "$etc/board$board.json"

# The command lines as systemd runs them: %i is the instance, the configuration file's
# variables are set, ${NAME} is one word and $NAME is split into words.
# EnvironmentFile= takes KEY=VALUE lines, the value whole to the line's end (quotes optional).
while IFS= read -r setting; do
    [[ $setting =~ ^([A-Za-z_][A-Za-z0-9_]*)=(.*)$ ]] || continue
    name=${BASH_REMATCH[1]} value=${BASH_REMATCH[2]}
    if [[ $value =~ ^\"(.*)\"$ ]]; then value=${BASH_REMATCH[1]}; fi
    export "$name=$value"
done <"$etc/board$board.conf"
mapfile -t pre < <(sed -n 's/^ExecStartPre=//p' "$work/units/korix-dpmaster@$board.service")
start=$(sed -n 's/^ExecStart=//p' "$work/units/korix-dpmaster@$board.service")
[[ ${#pre[@]} -ge 2 && -n $start ]] || fail "the unit lacks its command lines"
for command in "${pre[@]}"; do
    eval "${command//%i/$board}" || fail "ExecStartPre failed: $command"
done
"$korixsim" show --board "$board" | grep -q "Declared for a DP master" ||
    fail "the unit did not declare board $board before its master"
"$korixsim" show --board "$board" | grep -q "Master mode: 0x00" ||
    fail "a declared board without its master is not offline"

eval "exec 3< <(exec ${start//%i/$board} 2>&1)"
master_pid=$!
read -r -t 20 line <&3 || fail "the master said nothing"
[[ $line == "korix-dpmaster: serving board $board on $port"* ]] || fail "the master: $line"
for _ in $(seq 1 400); do
    "$korixsim" show --board "$board" | grep -q "Master mode: 0xC0" && break
    sleep 0.05
done
"$korixsim" show --board "$board" | grep -q "Master mode: 0xC0" ||
    fail "the master does not operate the bus"

# systemctl stop sends SIGTERM (KillSignal=): a clean end, and the board offline.
grep -qx "KillSignal=SIGTERM" "$unit" || fail "the unit does not stop with SIGTERM"
kill -TERM "$master_pid"
status=0
wait "$master_pid" || status=$?
master_pid=
[[ $status -eq 0 ]] || fail "the master ended with $status on SIGTERM"
"$korixsim" show --board "$board" | grep -q "Master mode: 0x00" ||
    fail "the board is not offline after the master stopped"
echo "service-unit-test: verified; board $board declared, served and taken offline"
