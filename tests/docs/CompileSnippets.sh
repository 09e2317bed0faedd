#!/usr/bin/env bash
# Compiles every C and C++ snippet of the host's documentation (docs/api/*.md) as a host author
# would paste it: C as C99 with -pedantic, C++ as C++11 with -pedantic, the flags the pages
# recommend, plus -Wall -Wextra -Werror. A snippet that does not compile, or warns, fails.
#
#   CompileSnippets.sh SOURCE_DIR CC CXX [WINDOWS_CC]
#
# A snippet is a fragment of a host: its statements are compiled as the body of a function,
# its definitions (functions, classes, structs, typedefs, #include lines) before that function,
# and the names that the pages take from the surrounding host (pJob, comm, sink, ...) are
# given by a prelude. Fragments are not whole programs, so a variable or function that the
# fragment defines and does not use is not counted against it; an unused parameter is.
# Snippets that call Windows (LoadLibraryExA, ...) are compiled with WINDOWS_CC for 32-bit
# Windows; without it they are skipped, and said so.
#
# A block after a line <!-- snippet: shown --> shows a declaration of the header itself: it is
# compiled on its own, without the header. Not compiled: the Synopsis blocks, which show each
# slot in the reader's notation (IMovaJob::PutJob) and are the header's own declarations, and
# blocks in other languages.
set -uo pipefail
source_dir=$1
cc=$2
cxx=$3
windows_cc=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

common_warnings=(-Wall -Wextra -Werror -Wno-unused-function -Wno-unused-variable
    -Wno-unused-but-set-variable)
c_flags=(-std=c99 -pedantic "${common_warnings[@]}" -I"$source_dir/include")
cxx_flags=(-std=c++11 -pedantic "${common_warnings[@]}" -I"$source_dir/include")

c_prelude='#include <MovaJob.h>
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>
/* What the pages take from the surrounding host. */
IMovaJob* pJob;
SCommParams comm;
SProtoParams proto;
SJobParam record;
unsigned char abyIn[255];
uint32_t i;
uint32_t dwCount;
SJobParam* pBuf;
struct SHostSink { IJobNotify iface; } sink;
'
cxx_prelude='#include <MovaJob.h>
#include <dlfcn.h>
#include <atomic>
#include <cstdio>
#include <cstring>
IMovaJob* pJob;
SCommParams comm;
void Wake(uint32_t dwContext);
'
windows_prelude='#include <windows.h>
#include <MovaJob.h>
'

# Cuts the pages into one file per block: NAME.c / NAME.cpp with a line "//@ page:line" first.
# Lines that begin a definition go to NAME.top, the rest to NAME.body.
awk -v work="$work" '
    function flush_line(line) {
        if (in_def) {
            print line > top
            if (line ~ /^}/) in_def = 0
            return
        }
        if (line ~ /^#include/ || line ~ /^typedef .*;[ \t]*(\/\*.*\*\/)?$/) { print line > top; return }
        if (line ~ /^(class|struct|typedef) / || (line ~ /^static .*\(/ && line !~ /;[ \t]*(\/\*.*\*\/)?$/)) {
            in_def = 1
            print line > top
            if (line ~ /^}/) in_def = 0
            return
        }
        print line > body
    }
    FNR == 1 { section = ""; shown = 0 }
    /^## / { section = $0 }
    /^<!-- snippet: shown -->/ { shown = 1; next }
    /^```/ {
        if (inside) { inside = 0; close(top); close(body); next }
        lang = substr($0, 4)
        if ((lang == "c" || lang == "cpp") && section != "## Synopsis") {
            ++n
            base = work "/" n
            top = base ".top"; body = base ".body"
            printf "%s\n", lang > (base ".lang")
            printf "%s:%d\n", FILENAME, FNR > (base ".where")
            close(base ".lang"); close(base ".where")
            printf "" > top; printf "" > body
            if (shown) { printf "" > (base ".shown"); close(base ".shown") }
            inside = 1; in_def = 0; raw = shown
        }
        else inside = 0
        shown = 0
        next
    }
    inside && raw { print > body; next }
    inside { flush_line($0) }
' "$source_dir"/docs/api/*.md

failed=0
compiled=0
for where_file in "$work"/*.where; do
    base=${where_file%.where}
    where=$(cat "$where_file")
    where=${where#"$source_dir/"}
    lang=$(cat "$base.lang")
    if grep -qE 'LoadLibrary|SetDllDirectory|HMODULE' "$base.body" "$base.top"; then
        if [[ -z $windows_cc ]]; then
            echo "skipped (no Windows compiler): $where"
            continue
        fi
        compiler=("$windows_cc" "${c_flags[@]}")
        prelude=$windows_prelude
        suffix=c
    elif [[ $lang == c ]]; then
        compiler=("$cc" "${c_flags[@]}")
        prelude=$c_prelude
        suffix=c
    else
        compiler=("$cxx" "${cxx_flags[@]}")
        prelude=$cxx_prelude
        suffix=cpp
    fi
    unit=$base.unit.$suffix
    if [[ -f $base.shown ]]; then
        prelude=
        { printf '#line 1 "%s"\n' "$where"; cat "$base.body"; } >"$unit"
    else {
        printf '%s' "$prelude"
        printf '#line 1 "%s (definitions)"\n' "$where"
        cat "$base.top"
        printf 'int Snippet(void);\nint Snippet(void)\n{\n'
        printf '#line 1 "%s"\n' "$where"
        cat "$base.body"
        printf '\n    return 0;\n}\n'
    } >"$unit"
    fi
    if ! output=$("${compiler[@]}" -c -o "$base.o" "$unit" 2>&1); then
        echo "FAILED: $where (${compiler[*]})"
        echo "$output"
        echo "--- as compiled:"
        cat -n "$unit" | tail -n +"$(($(printf '%s' "$prelude" | wc -l) + 1))"
        failed=1
    else
        echo "compiled: $where"
    fi
    compiled=$((compiled + 1))
done
if [[ $compiled -eq 0 ]]; then
    echo "FAILED: no snippet found in $source_dir/docs/api"
    exit 1
fi
exit "$failed"
