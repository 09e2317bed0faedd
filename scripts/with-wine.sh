#!/usr/bin/env bash
# Runs a command with what the Windows programs of the mingw-x86 build need under Wine: an
# X display of its own (Xvfb on a free display number; Wine wants one for top-level windows)
# and a fresh Wine prefix inside the build directory. Both go away afterwards.
#
#   scripts/with-wine.sh ctest --preset mingw-x86
set -euo pipefail
cd "$(dirname "$0")/.."

# MOVAJOB_WINEPREFIX puts the prefix elsewhere, for a second run beside a first one.
export WINEPREFIX="${MOVAJOB_WINEPREFIX:-$PWD/build/mingw-x86/wineprefix}"
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko installers: nothing here needs .NET or HTML, and they would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="

display_file=$(mktemp)
# The prefix is some 600 MB and made afresh by every run: it goes with the run. The server is
# ended and waited for first, so that nothing writes into the prefix while it is removed.
cleanup() {
    local status=$?
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    [[ -n ${xvfb_pid:-} ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -f "$display_file"
    rm -rf "$WINEPREFIX"
    exit "$status"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number to the descriptor we name.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [[ -s $display_file ]] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.1
done
[[ -s $display_file ]] || { echo "Xvfb gave no display number" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$display_file")"

rm -rf "$WINEPREFIX"
mkdir -p "$(dirname "$WINEPREFIX")"
echo "=== Wine prefix $WINEPREFIX on display $DISPLAY"
wineboot --init >/dev/null 2>&1
wineserver -w
# The server stays up between the many short test programs instead of starting for each.
# Wine's own background programs start again behind it with their output on /dev/null: had
# they inherited a test program's output pipe, its reader would wait for them to end.
wineserver -p
wine wineboot >/dev/null 2>&1
"$@"
