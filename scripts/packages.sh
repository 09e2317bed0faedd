#!/usr/bin/env bash
# Builds the packages from the release and mingw-x86 builds and uses them as an integrator
# would, outside the source tree (scripts/test.sh runs it after the builds; both builds must
# be there):
#
#   1. cpack -G DEB: movajob, movajob-dev, movajob-tools. apt accepts them (a simulated
#      install against this machine's package lists), and unpacked into a scratch root they
#      hold no run path and no build-tree path, and movactl demo runs from them.
#   2. The release build installed into a scratch prefix: each public header compiles alone
#      as C99, C11, C++11 and C++20 with GCC and Clang, 64- and 32-bit; examples/host-c is
#      built through find_package and examples/host-cpp through pkg-config, against that
#      prefix only, and both run on a simulated board of their own.
#   3. cpack -G ZIP on the mingw-x86 build: the Windows SDK. Its headers compile alone with
#      MinGW-w64, examples/host-c is built with it through find_package and runs under Wine.
#
# Everything goes to build/packages/ (the .deb and .zip files stay there).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build/packages
rm -rf "$out"
mkdir -p "$out"
# A board of our own on the simulated board, removed at the end. The trace sessions are named
# after the board number ("MovaJob" and the number) and are the machine's: a number apart from
# the board 1 that demos and tests use keeps others' trace levels and windows off our runs.
export KORIXSIM_PREFIX="packages$$"
board=$((100 + $$ % 150))
cleanup() { rm -f /dev/shm/"$KORIXSIM_PREFIX".* 2>/dev/null || true; }
trap cleanup EXIT

fail() { echo "packages: $*" >&2; exit 1; }

# No installed file may carry a run path or point into the build tree (the debug information
# of a program may name the folder it was compiled in: that is not looked at).
check_no_build_paths() {
    local dir=$1 file
    while IFS= read -r -d '' file; do
        if readelf -h "$file" >/dev/null 2>&1; then
            if readelf -d "$file" | grep -qE 'RPATH|RUNPATH'; then
                fail "$file has a run path: $(readelf -d "$file" | grep -E 'RPATH|RUNPATH')"
            fi
            if readelf -p .dynstr -p .rodata "$file" 2>/dev/null | grep -qF "$root/build"; then
                fail "$file names the build tree"
            fi
        elif grep -qF "$root/build" "$file"; then
            fail "$file names the build tree"
        fi
    done < <(find "$dir" -type f -print0)
}

echo "=== packages: Debian packages"
(cd build/release && cpack -G DEB -B "$out/deb" >/dev/null)
debs=("$out"/deb/movajob*.deb)
[[ ${#debs[@]} -eq 3 ]] || fail "expected 3 .deb files, got: ${debs[*]}"
for deb in "${debs[@]}"; do
    echo "$(dpkg-deb -f "$deb" Package) $(dpkg-deb -f "$deb" Version):" \
         "Depends: $(dpkg-deb -f "$deb" Depends)"
done
# apt resolves the packages' dependencies as a fresh install would (without installing).
apt-get install --simulate --no-install-recommends "${debs[@]}" >"$out/apt-simulate.log" 2>&1 ||
    { cat "$out/apt-simulate.log" >&2; fail "apt does not accept the packages"; }
debroot=$out/deb-root
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$debroot"; done
check_no_build_paths "$debroot"
debprefix=$debroot/usr
[[ -e $debprefix/lib/libmovajob.so.1 && -e $debprefix/lib/libkorix.so.1 ]] ||
    fail "the library package lacks libmovajob.so.1 or libkorix.so.1"
LD_LIBRARY_PATH=$debprefix/lib "$debprefix/bin/movactl" demo --board "$board" >"$out/deb-demo.log" 2>&1 ||
    { cat "$out/deb-demo.log" >&2; fail "movactl demo from the packages failed"; }
echo "movactl demo from the packages: $(tail -n 1 "$out/deb-demo.log")"

echo "=== packages: scratch prefix"
prefix=$out/prefix
cmake --install build/release --prefix "$prefix" >/dev/null
check_no_build_paths "$prefix"

check_headers() {
    local include=$1 lang=$2
    shift 2
    local header source
    for header in "$include"/*.h; do
        source=$out/header-check.$lang
        echo "#include <$(basename "$header")>" >"$source"
        "$@" -I"$include" -Wall -Wextra -pedantic -Werror -c "$source" -o /dev/null ||
            fail "$(basename "$header") does not compile alone with: $*"
    done
}
for bits in -m64 -m32; do
    for cc in gcc clang; do
        for std in c99 c11; do check_headers "$prefix/include/movajob" c $cc -std=$std $bits; done
    done
    for cxx in g++ clang++; do
        for std in c++11 c++20; do
            check_headers "$prefix/include/movajob" cpp $cxx -std=$std $bits
        done
    done
done
echo "headers compile alone: C99, C11, C++11, C++20; GCC, Clang; 64- and 32-bit"

# The examples are copied out of the tree, so that nothing but the prefix is in reach.
examples=$out/examples
mkdir -p "$examples"
cp -r examples/host-c examples/host-cpp "$examples/"
cmake -S "$examples/host-c" -B "$examples/host-c/build" -DCMAKE_PREFIX_PATH="$prefix" \
      -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >/dev/null
cmake --build "$examples/host-c/build" >/dev/null
PKG_CONFIG_PATH=$prefix/lib/pkgconfig make -s -C "$examples/host-cpp" >/dev/null
for host in host-c/build/host-c host-cpp/host-cpp; do
    echo "--- $host"
    LD_LIBRARY_PATH=$prefix/lib "$examples/$host" "$board" || fail "$host failed"
done

echo "=== packages: Windows SDK"
(cd build/mingw-x86 && cpack -G ZIP -B "$out/zip" >/dev/null)
zip=$(ls "$out"/zip/movajob-*-win32-sdk.zip)
sdk=$out/sdk
mkdir -p "$sdk"
(cd "$sdk" && cmake -E tar xf "$zip")
sdk=$(find "$sdk" -mindepth 1 -maxdepth 1 -type d)
for file in bin/MovaJob.dll lib/MovaJob.dll.a lib/MovaJob.def include/movajob/MovaJob.h \
            bin/movactl.exe bin/korixsim.exe bin/movatrace.exe docs/windows.md \
            korix-simulated/KORIX.dll korix-simulated/KORIX-simulated.txt; do
    [[ -e $sdk/$file ]] || fail "the SDK lacks $file"
done
[[ ! -e $sdk/bin/KORIX.dll ]] || fail "the SDK puts the simulated KORIX.dll beside the tools"
check_headers "$sdk/include/movajob" c i686-w64-mingw32-gcc -std=c99
check_headers "$sdk/include/movajob" cpp i686-w64-mingw32-g++ -std=c++11
echo "headers compile alone with MinGW-w64: C99, C++11"

wexample=$out/examples-windows/host-c
mkdir -p "$(dirname "$wexample")"
cp -r examples/host-c "$wexample"
cmake -S "$wexample" -B "$wexample/build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86.cmake" \
      -DMovaJob_DIR="$sdk/lib/cmake/MovaJob" >/dev/null
cmake --build "$wexample/build" >/dev/null
# On a machine without a board the simulated KORIX.dll goes beside the program.
cp "$sdk/bin/MovaJob.dll" "$sdk/korix-simulated/KORIX.dll" "$wexample/build/"
echo "--- host-c.exe (Wine)"
MOVAJOB_WINEPREFIX=$out/wineprefix scripts/with-wine.sh \
    scripts/wine-run.sh "$wexample/build/host-c.exe" "$board" | tr -d '\r' | grep -v '^=== Wine prefix' ||
    fail "host-c.exe failed under Wine"
echo "=== packages: all passed"
