#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need, where any is missing.
# Runs apt-get as root, through sudo when we are not root already.
#
# The Windows build needs the MinGW-w64 cross compiler, and its tests run under Wine, whose
# 32-bit half (wine32) is an i386 package: that architecture is enabled first.
set -euo pipefail

# RE2 (movatrace --grep) for both Linux builds, the 32-bit one included; it has the native
# architecture named so that the query does not see both at once. CLI11 and clang's libFuzzer
# serve the DP master's programs and parser fuzzing; clang also checks that the public headers
# compile with it; pkgconf builds the pkg-config example; dpkg-dev gives cpack the
# dpkg-shlibdeps it finds the Debian packages' dependencies with. The Debian packages are built
# with debhelper (dpkg-buildpackage) and checked with lintian; help2man makes the programs'
# manual pages from their help, man-db shows them; systemd gives systemd-analyze, which checks
# the DP master's unit.
packages=(cmake make g++ g++-multilib googletest libbenchmark-dev nlohmann-json3-dev
          libcli11-dev clang clang-format libclang-rt-14-dev pkgconf dpkg-dev
          build-essential debhelper lintian help2man man-db systemd
          g++-mingw-w64-i686 "libre2-dev:$(dpkg --print-architecture)" libre2-dev:i386)
# Wine comes with what it recommends: its X11 driver loads several of those libraries.
wine_packages=(wine wine32:i386 xvfb)

as_root=()
if [[ $(id -u) -ne 0 ]]; then
    as_root=(sudo)
fi
need_root() {
    if [[ ${#as_root[@]} -gt 0 ]] && ! command -v sudo >/dev/null; then
        echo "need root (or sudo) to install: $*" >&2
        exit 1
    fi
}

not_installed() {
    local package status
    for package in "$@"; do
        status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
        [[ "$status" == "install ok installed" ]] || echo "$package"
    done
}
mapfile -t missing < <(not_installed "${packages[@]}")
mapfile -t missing_wine < <(not_installed "${wine_packages[@]}")
[[ ${#missing[@]} -eq 0 && ${#missing_wine[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]} ${missing_wine[*]}"
need_root "${missing[*]} ${missing_wine[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${as_root[@]}" dpkg --add-architecture i386
fi
apt_get=("${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -y -qq)
"${apt_get[@]}" update
if [[ ${#missing[@]} -gt 0 ]]; then
    "${apt_get[@]}" install --no-install-recommends "${missing[@]}"
fi
if [[ ${#missing_wine[@]} -gt 0 ]]; then
    "${apt_get[@]}" install "${missing_wine[@]}"
fi
