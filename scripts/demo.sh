#!/usr/bin/env bash
# The library at work on the simulated board: movactl, a host program, opens board 1 through
# the library, tests the slaves, reads and writes them, queues and withdraws batches; a trace
# window (movatrace) collects what the library traces meanwhile.
#
#   scripts/demo.sh             libmovajob.so on Linux
#   scripts/demo.sh --windows   MovaJob.dll and the Windows tools, under Wine
#   scripts/demo.sh --dp        board 1 served by korix-dpmaster over a pseudo-terminal
#   scripts/demo.sh --windows --dp
#                               korix-dpmaster.exe and MovaJob.dll under Wine, the master on a
#                               COM port mapped to the pseudo-terminal of the Linux slaves
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-} ${2:-}" in
    " ") platform=linux ;;
    "--windows ") platform=windows ;;
    "--dp ") platform=dp ;;
    "--windows --dp" | "--dp --windows") platform=windows-dp ;;
    -h*|--help*) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "usage: scripts/demo.sh [--windows] [--dp]" >&2; exit 2 ;;
esac

scripts/install-deps.sh
preset=release
what="the optimised x86-64 build (preset release, in build/release)"
if [[ $platform == windows || $platform == windows-dp ]]; then
    preset=mingw-x86
    what="the 32-bit Windows build (preset mingw-x86, in build/mingw-x86, run under Wine)"
fi
build_dir=build/$preset
mkdir -p "$build_dir"
build_log=$build_dir/demo-build.log

# The build tool's own lines, condensed: each finished target, every tenth percent with the
# file at hand, and every warning and error. The whole output goes to the log.
condense() {
    awk '
        /Built target/ { print "    " $0; fflush(); next }
        /(error|warning):|\*\*\*/ { print "    " $0; fflush(); next }
        match($0, /^\[ *[0-9]+%\]/) {
            percent = substr($0, 2, RLENGTH - 3) + 0
            if (percent >= shown + 10) { shown = percent - percent % 10; print "    " $0; fflush() }
        }'
}

# Runs the build tool on the targets; on failure shows the end of the log and stops.
build() {
    if ! cmake --build --preset "$preset" -j "$(nproc)" --target "$@" 2>&1 |
        tee -a "$build_log" | condense; then
        echo "The build failed; the last lines of $build_log:" >&2
        tail -n 30 "$build_log" >&2
        exit 1
    fi
}

: >"$build_log"
echo "Building $what."
echo "The demo runs the library (MovaJob), the simulated board (korix) with its control"
echo "korixsim, the host program movactl and the trace window movatrace: only these are built."
echo "A first build compiles all of them (minutes, more on a busy machine); later runs only"
echo "what changed. Progress below; everything in $build_log."
echo "  configuring (compilers and libraries are looked up once) ..."
if ! cmake --preset "$preset" >>"$build_log" 2>&1; then
    echo "Configuring failed; the last lines of $build_log:" >&2
    tail -n 30 "$build_log" >&2
    exit 1
fi
build movajob korix korixsim movactl movatrace

if [[ $platform == windows-dp ]]; then
    echo "Building the DP master for Windows (korix-dpmaster.exe) as well, and the slave"
    echo "simulator for Linux (korix-dpslave, preset release), which serves the slaves on the"
    echo "pseudo-terminal that Wine shows the master as a COM port."
    build korix-dpmaster
    preset=release
    if ! cmake --preset "$preset" >>"$build_log" 2>&1; then
        echo "Configuring $preset failed; the last lines of $build_log:" >&2
        tail -n 30 "$build_log" >&2
        exit 1
    fi
    build korix-dpslave
    echo "Starting Wine (a fresh prefix and a virtual display: half a minute the first time) ..."
    exec scripts/with-wine.sh scripts/demo-dp-steps.sh windows
fi
if [[ $platform == windows ]]; then
    echo "Starting Wine (a fresh prefix and a virtual display: half a minute the first time) ..."
    exec scripts/with-wine.sh scripts/demo-steps.sh windows
fi
if [[ $platform == dp ]]; then
    echo "Building the DP master and slave programs (korix-dpmaster, korix-dpslave) as well: the"
    echo "board is served by our own DP master over a pseudo-terminal."
    build korix-dpmaster korix-dpslave
    exec scripts/demo-dp-steps.sh
fi
exec scripts/demo-steps.sh linux
