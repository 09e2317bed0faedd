#!/usr/bin/env bash
# Checks the formatting (scripts/check-format.sh), then builds every configuration and runs
# every test: x86-64 debug, 32-bit x86, ASan+UBSan and
# TSan, plus the optimised build with the benchmarks, and the 32-bit Windows build
# (MovaJob.dll, KORIX.dll, the tools) whose tests run under Wine; then the packages, and the
# example hosts built against the installed files (scripts/packages.sh). Exits non-zero on the
# first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-format.sh

jobs=$(nproc)
for preset in dev x86 asan tsan release mingw-x86; do
    echo "=== build: $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
done

for preset in dev x86 asan tsan; do
    echo "=== test: $preset"
    run=()
    # ThreadSanitizer of GCC 12 cannot map its shadow memory under the high address-space
    # randomisation of newer kernels; it then runs without randomisation.
    if [[ $preset == tsan && $(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 0) -gt 28 ]]; then
        run=(setarch "$(uname -m)" -R)
    fi
    "${run[@]}" ctest --preset "$preset" -j "$jobs"
done
echo "=== test: mingw-x86 (under Wine)"
scripts/with-wine.sh ctest --preset mingw-x86 -j "$jobs"
echo "=== packages and the examples, against the installed files"
scripts/packages.sh
echo "=== all tests passed"
