#!/usr/bin/env bash
# The library at work on the simulated board: movactl, a host program, opens board 1 through
# the library, tests the slaves, reads and writes them, queues and withdraws batches; a trace
# window (movatrace) collects what the library traces meanwhile.
#
#   scripts/demo.sh             libmovajob.so on Linux
#   scripts/demo.sh --windows   MovaJob.dll and the Windows tools, under Wine
#   scripts/demo.sh --dp        board 1 served by korix-dpmaster over a pseudo-terminal
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-}" in
    "") platform=linux ;;
    --windows) platform=windows ;;
    --dp) platform=dp ;;
    -h|--help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "usage: scripts/demo.sh [--windows|--dp]" >&2; exit 2 ;;
esac

scripts/install-deps.sh
preset=release
[[ $platform == windows ]] && preset=mingw-x86
echo "Building ($preset preset)..."
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)" \
    --target movajob korix korixsim movactl movatrace >/dev/null

if [[ $platform == windows ]]; then
    exec scripts/with-wine.sh scripts/demo-steps.sh windows
fi
if [[ $platform == dp ]]; then
    cmake --build --preset "$preset" -j "$(nproc)" --target korix-dpmaster korix-dpslave >/dev/null
    exec scripts/demo-dp-steps.sh
fi
exec scripts/demo-steps.sh linux
