#!/usr/bin/env bash
# Fails when a C or C++ file of the tree differs from what clang-format (with .clang-format)
# makes of it, and names the files. `clang-format -i FILE` mends one.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
if ! clang-format --dry-run -Werror "${files[@]}" 2>/tmp/check-format.$$; then
    grep -o '^[^: ]*\.[ch]p*:' /tmp/check-format.$$ | sort -u | sed 's/:$//; s/^/not formatted: /' >&2
    rm -f /tmp/check-format.$$
    exit 1
fi
rm -f /tmp/check-format.$$
echo "every C and C++ file is formatted"
