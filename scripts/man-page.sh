#!/usr/bin/env bash
# Makes the manual page of one program from its own help, at build time (cmake/ManPages.cmake):
# help2man turns the program's --help into the page, and a COMMANDS section adds the help of
# each of its commands word for word. Then checks that the page is complete: every option that
# any of those helps names must be on the page; otherwise the page is not written.
#
#   scripts/man-page.sh PROGRAM NAME SUMMARY VERSION OUTPUT
set -euo pipefail
program=$1 name=$2 summary=$3 version=$4 output=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$program" --help >"$work/help"
# The commands are listed under "Subcommands:" or a group of that purpose ("Commands:"), one per
# line, indented by two blanks.
awk '/^(Subcommands|Commands):/ { listing = 1; next }
     /^[^ ]/ { listing = 0 }
     listing && /^  [a-z][a-z0-9-]*( |$)/ { print $1 }' "$work/help" >"$work/commands"

# Text as roff shows it as it is: backslashes and minus signs escaped, and no line taken for a
# request.
as_roff() { sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"; }

{
    if [[ -s $work/commands ]]; then
        echo "[COMMANDS]"
        while IFS= read -r command; do
            echo ".SS \"$name $command\""
            echo ".nf"
            "$program" "$command" --help | tee -a "$work/help" | as_roff
            echo ".fi"
        done <"$work/commands"
    fi
    echo "[SEE ALSO]"
    echo "The documents in"
    echo ".I /usr/share/doc/movajob\\-tools/"
    echo "(the commands' pages and the board's description), and"
    echo ".BR movactl (1),"
    echo ".BR movatrace (1),"
    echo ".BR korixsim (1),"
    echo ".BR tracedemo (1),"
    echo ".BR korix\\-dpmaster (1),"
    echo ".BR korix\\-dpslave (1)."
} >"$work/include"

help2man --no-info --no-discard-stderr --name="$summary" --version-string="$version" \
    --include="$work/include" --output="$work/page" "$program"

# Complete: every option of every help is on the page.
sed -e 's/\\-/-/g' "$work/page" >"$work/page-text"
missing=()
while IFS= read -r option; do
    grep -qF -- "$option" "$work/page-text" || missing+=("$option")
done < <(grep -oE -- '--[a-z][a-z0-9-]*' "$work/help" | sort -u)
if [[ ${#missing[@]} -gt 0 ]]; then
    echo "man-page: the page of $name lacks ${missing[*]}" >&2
    exit 1
fi
mv "$work/page" "$output"
