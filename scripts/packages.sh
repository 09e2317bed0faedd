#!/usr/bin/env bash
# Builds the packages and uses them as an integrator would, outside the source tree
# (scripts/test.sh runs it after the builds; build/release must be there):
#
#   1. The Debian packages, made the Debian way from debian/ (dpkg-buildpackage -us -uc -b, a
#      release build of the library and the tools without the tests, from a copy of the
#      tree): libmovajob1, libkorix1, libmovajob-dev, movajob-tools. lintian finds no error
#      and no warning (its notes, "I:", are shown), apt
#      accepts them (a simulated install), and dpkg installs them into a throw-away root:
#      no run path or build-tree path in any file, a manual page for every program, the
#      systemd unit verified, pkg-config giving plain paths, both examples as the -dev package
#      ships them built against the root only, movactl demo run from the root with the
#      library path pointing only into it; dpkg then removes them all, leaving nothing.
#   2. The release build installed into a scratch prefix (cmake --install): each public header
#      compiles alone as C99, C11, C++11 and C++20 with GCC and Clang, 64- and 32-bit;
#      examples/host-c is built through find_package and examples/host-cpp through
#      pkg-config, against that prefix only, and both run on a simulated board of their own.
#   3. The Windows SDK: a release build of the mingw-x86-sdk preset (no tests) packed by
#      cpack -G ZIP, stripped; no file in it names the build tree, only release files of the
#      CMake package are in it, its size is checked. Its headers compile alone with MinGW-w64,
#      examples/host-c is built with the SDK's own toolchain file through find_package and
#      runs under Wine.
#
# Long steps show their progress condensed (each target as it is done, each packaging step);
# the whole output of each is in build/packages/*.log. Everything goes to build/packages/
# (the .deb and .zip files stay there).
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

# Runs a long step with its whole output in a log, showing only its progress: the lines that
# match the pattern, indented. On a failure the log's end is shown.
run_condensed() {
    local log=$1 pattern=$2 status=0
    shift 2
    "$@" > >(tee "$log" | grep --line-buffered -E "$pattern" | sed -u 's/^/    /') 2>&1 ||
        status=$?
    # The filter's last lines: bash may or may not give the process substitution's pid.
    if [[ -n ${!-} ]]; then
        wait "$!" 2>/dev/null || true
    fi
    if [[ $status -ne 0 ]]; then
        tail -n 60 "$log" >&2
        fail "failed ($status): $* (whole output: $log)"
    fi
}
build_progress='^\[ *[0-9]+%\] Built target |^   dh_[a-z_]+|^dpkg-buildpackage: info: |^CPack: '

# No installed file may carry a run path or point into the build tree (the debug information
# of a program may name the folder it was compiled in: that is not looked at). A prefix that
# itself lies in the build tree may be named (movajob.pc names the prefix it is installed in).
check_no_build_paths() {
    local dir=$1 prefix=${2:-} file
    while IFS= read -r -d '' file; do
        if readelf -h "$file" >/dev/null 2>&1; then
            if readelf -d "$file" | grep -qE 'RPATH|RUNPATH'; then
                fail "$file has a run path: $(readelf -d "$file" | grep -E 'RPATH|RUNPATH')"
            fi
            if readelf -p .dynstr -p .rodata "$file" 2>/dev/null | grep -qF "$root/build"; then
                fail "$file names the build tree"
            fi
        elif sed -e "s|${prefix:-^$}||g" "$file" | grep -qF "$root/build"; then
            fail "$file names the build tree"
        fi
    done < <(find "$dir" -type f -print0)
}

echo "=== packages: Debian packages"
echo "Building the release configuration of the library and the tools with the manual pages"
echo "(debian/rules), from a copy of the tree, as dpkg-buildpackage -us -uc -b does it:"
version=$(dpkg-parsechangelog -l debian/changelog -S Version)
src=$out/deb/movajob-$version
mkdir -p "$src"
tar -c --exclude=./build --exclude=./.git . | tar -x -C "$src"
run_condensed "$out/dpkg-buildpackage.log" "$build_progress" \
    bash -c "cd '$src' && dpkg-buildpackage -us -uc -b -j$(nproc)"
changes=$(ls "$out"/deb/movajob_"$version"_*.changes)
debs=()
for package in libmovajob1 libkorix1 libmovajob-dev movajob-tools; do
    debs+=("$(ls "$out"/deb/"$package"_"$version"_*.deb)") || fail "no package $package"
done
for deb in "${debs[@]}"; do
    echo "$(dpkg-deb -f "$deb" Package) $(dpkg-deb -f "$deb" Version):" \
         "Depends: $(dpkg-deb -f "$deb" Depends)"
done

echo "--- lintian"
lintian --fail-on error,warning --display-info --info "$changes" >"$out/lintian.log" 2>&1 ||
    { cat "$out/lintian.log" >&2; fail "lintian finds fault with the packages"; }
grep -E '^[EWI]: ' "$out/lintian.log" | sed 's/^/    /' || true
echo "lintian: no error, no warning"

# apt resolves the packages' dependencies as a fresh install would (without installing).
apt-get install --simulate --no-install-recommends "${debs[@]}" >"$out/apt-simulate.log" 2>&1 ||
    { cat "$out/apt-simulate.log" >&2; fail "apt does not accept the packages"; }

echo "--- installed with dpkg into a throw-away root"
# A dpkg database of its own; the system's libraries the packages need are not in the root, and
# the maintainer scripts run outside it (with DPKG_ROOT set), as a bootstrap does.
debroot=$out/deb-root
mkdir -p "$debroot/var/lib/dpkg/info" "$debroot/var/lib/dpkg/updates"
touch "$debroot/var/lib/dpkg/status" "$debroot/var/lib/dpkg/available"
dpkg_root=(dpkg --root="$debroot" --force-depends --force-script-chrootless --log=/dev/null)
"${dpkg_root[@]}" --install "${debs[@]}" >"$out/dpkg-install.log" 2>&1 ||
    { cat "$out/dpkg-install.log" >&2; fail "dpkg cannot install the packages"; }
check_no_build_paths "$debroot/usr"
libdir=$debroot/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
[[ -e $libdir/libmovajob.so.1 && -e $libdir/libkorix.so.1 ]] ||
    fail "libmovajob1 or libkorix1 lacks its library"

# Every program has its manual page, and man shows it without a complaint.
for program in "$debroot"/usr/bin/*; do
    page=$debroot/usr/share/man/man1/$(basename "$program").1.gz
    [[ -e $page ]] || fail "$(basename "$program") has no manual page"
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [[ -z $warnings ]] || fail "the manual page of $(basename "$program"): $warnings"
done
echo "manual pages: $(cd "$debroot/usr/share/man/man1" && echo *)"

# The unit as installed: systemd finds nothing wrong with board 1's instance, run from the
# root (its programs there; the manual pages it names were checked above).
unit=$debroot/lib/systemd/system/korix-dpmaster@.service
[[ -e $unit ]] || fail "movajob-tools lacks korix-dpmaster@.service"
mkdir -p "$out/units"
sed "s|/usr/bin/|$debroot/usr/bin/|g" "$unit" >"$out/units/korix-dpmaster@1.service"
systemd-analyze verify --man=no "$out/units/korix-dpmaster@1.service" \
    >"$out/systemd-analyze.log" 2>&1 ||
    { cat "$out/systemd-analyze.log" >&2; fail "systemd-analyze verify finds fault with the unit"; }
echo "systemd-analyze verify korix-dpmaster@1.service: no fault"

# pkg-config gives plain paths (no /usr/lib/pkgconfig/../../include).
pcdir=$libdir/pkgconfig
cflags=$(PKG_CONFIG_LIBDIR=$pcdir pkg-config --cflags movajob | sed "s/ *$//")
[[ $cflags == "-I/usr/include/movajob" ]] || fail "pkg-config --cflags movajob gives '$cflags'"
libs=$(PKG_CONFIG_LIBDIR=$pcdir pkg-config --libs movajob | sed "s/ *$//")
[[ $libs == "-lmovajob" ]] || fail "pkg-config --libs movajob gives '$libs'"
echo "pkg-config: $cflags $libs"

# The examples as libmovajob-dev ships them, built against the root alone: host-c through
# find_package, host-cpp through pkg-config with the root as its sysroot.
examples=$out/deb-examples
cp -r "$debroot/usr/share/doc/libmovajob-dev/examples" "$examples"
cmake -S "$examples/host-c" -B "$examples/host-c/build" -DCMAKE_PREFIX_PATH="$debroot/usr" \
      -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$out/deb-host-c.log" 2>&1 &&
    cmake --build "$examples/host-c/build" >>"$out/deb-host-c.log" 2>&1 ||
    { cat "$out/deb-host-c.log" >&2; fail "host-c does not build against the packages"; }
# The linker finds libkorix.so.1 (which libmovajob.so.1 needs) in the root, not in /usr.
PKG_CONFIG_LIBDIR=$pcdir PKG_CONFIG_SYSROOT_DIR=$debroot LDFLAGS="-L$libdir -Wl,-rpath-link,$libdir" \
    make -s -C "$examples/host-cpp" >"$out/deb-host-cpp.log" 2>&1 ||
    { cat "$out/deb-host-cpp.log" >&2; fail "host-cpp does not build against the packages"; }
for host in host-c/build/host-c host-cpp/host-cpp; do
    LD_LIBRARY_PATH=$libdir "$examples/$host" "$board" >"$out/deb-$(basename "$host").run" 2>&1 ||
        { cat "$out/deb-$(basename "$host").run" >&2; fail "$host (packages) failed"; }
done
echo "host-c and host-cpp as shipped: built against the root and run"

LD_LIBRARY_PATH=$libdir "$debroot/usr/bin/movactl" demo --board "$board" >"$out/deb-demo.log" 2>&1 ||
    { cat "$out/deb-demo.log" >&2; fail "movactl demo from the packages failed"; }
echo "movactl demo from the packages: $(tail -n 1 "$out/deb-demo.log")"

# Removing (as apt remove does, without purging) leaves nothing behind: no package half-removed
# or with its configuration left, no file of ours.
"${dpkg_root[@]}" --remove movajob-tools libmovajob-dev libmovajob1 libkorix1 \
    >"$out/dpkg-remove.log" 2>&1 ||
    { cat "$out/dpkg-remove.log" >&2; fail "dpkg cannot remove the packages"; }
left=$(dpkg-query --admindir="$debroot/var/lib/dpkg" -W -f='${db:Status-Abbrev} ${Package}\n' \
       2>/dev/null | grep -v '^un ' || true)
[[ -z $left ]] || fail "after removal dpkg still lists: $left"
files=$(find "$debroot" -path "$debroot/var/lib/dpkg" -prune -o -type f -print)
[[ -z $files ]] || fail "after removal these files are left: $files"
echo "dpkg --remove: every package gone, no file left"

echo "=== packages: scratch prefix"
prefix=$out/prefix
cmake --install build/release --prefix "$prefix" >/dev/null
check_no_build_paths "$prefix" "$prefix"

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
echo "Building the release configuration for Windows without the tests (preset mingw-x86-sdk):"
cmake --preset mingw-x86-sdk >"$out/sdk-configure.log" 2>&1 ||
    { cat "$out/sdk-configure.log" >&2; fail "the mingw-x86-sdk preset does not configure"; }
run_condensed "$out/sdk-build.log" "$build_progress" \
    cmake --build --preset mingw-x86-sdk -j "$(nproc)"
run_condensed "$out/sdk-cpack.log" "$build_progress" \
    bash -c "cd build/mingw-x86-sdk && cpack -G ZIP -B '$out/zip'"
zip=$(ls "$out"/zip/movajob-*-win32-sdk.zip)
sdk=$out/sdk
mkdir -p "$sdk"
(cd "$sdk" && cmake -E tar xf "$zip")
sdk=$(find "$sdk" -mindepth 1 -maxdepth 1 -type d)
for file in bin/MovaJob.dll lib/MovaJob.dll.a lib/MovaJob.def include/movajob/MovaJob.h \
            bin/movactl.exe bin/korixsim.exe bin/movatrace.exe bin/korix-dpmaster.exe \
            bin/korix-dpslave.exe bin/korix-gsd.exe examples/dp/bus.json \
            docs/windows.md docs/movactl.md docs/dp-master.md \
            docs/api/PutJob.md examples/host-c/host.c examples/host-c/CMakeLists.txt \
            examples/host-cpp/host.cpp mingw-x86-sdk.cmake lib/pkgconfig/movajob.pc \
            lib/cmake/MovaJob/MovaJobTargets-release.cmake \
            korix-simulated/KORIX.dll korix-simulated/KORIX-simulated.txt; do
    [[ -e $sdk/$file ]] || fail "the SDK lacks $file"
done
[[ ! -e $sdk/bin/KORIX.dll ]] || fail "the SDK puts the simulated KORIX.dll beside the tools"
others=$(find "$sdk/lib/cmake/MovaJob" -name 'MovaJobTargets-*.cmake' ! -name '*-release.cmake')
[[ -z $others ]] || fail "the SDK holds the CMake files of other builds: $others"
# A release build, stripped: no file names the tree it was built in, and it stays small (the
# debug build was 73 MB, movactl.exe alone 32 MB).
named=$(grep -rlF "$root" "$sdk" || true)
[[ -z $named ]] || fail "these SDK files name the build tree: $named"
sdk_kb=$(du -sk "$sdk" | cut -f1)
movactl_kb=$(( $(stat -c %s "$sdk/bin/movactl.exe") / 1024 ))
[[ $sdk_kb -lt 20000 && $movactl_kb -lt 6000 ]] ||
    fail "the SDK is $sdk_kb KB unpacked, movactl.exe $movactl_kb KB: not a stripped release build"
echo "SDK: $sdk_kb KB unpacked, movactl.exe $movactl_kb KB, no build-tree path"
check_headers "$sdk/include/movajob" c i686-w64-mingw32-gcc -std=c99
check_headers "$sdk/include/movajob" cpp i686-w64-mingw32-g++ -std=c++11
echo "headers compile alone with MinGW-w64: C99, C++11"

# The example as the SDK ships it, built with the SDK's own toolchain file: find_package finds
# the SDK without MovaJob_DIR or CMAKE_PREFIX_PATH.
wexample=$out/examples-windows/host-c
mkdir -p "$(dirname "$wexample")"
cp -r "$sdk/examples/host-c" "$wexample"
cmake -S "$wexample" -B "$wexample/build" -DCMAKE_TOOLCHAIN_FILE="$sdk/mingw-x86-sdk.cmake" \
      -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >/dev/null
cmake --build "$wexample/build" >/dev/null
# On a machine without a board the simulated KORIX.dll goes beside the program.
cp "$sdk/bin/MovaJob.dll" "$sdk/korix-simulated/KORIX.dll" "$wexample/build/"
echo "--- host-c.exe (Wine)"
MOVAJOB_WINEPREFIX=$out/wineprefix scripts/with-wine.sh \
    scripts/wine-run.sh "$wexample/build/host-c.exe" "$board" | tr -d '\r' | grep -v '^=== Wine prefix' ||
    fail "host-c.exe failed under Wine"
echo "=== packages: all passed"
