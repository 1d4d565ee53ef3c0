#!/usr/bin/env bash
# Packs files of a cache folder into one fuzz input (see fuzz/fuzzinput.h):
#   tools/fuzzseed.sh CACHEFOLDER OUT FILE...   (FILE paths relative to CACHEFOLDER)
set -euo pipefail
folder=$1 out=$2
shift 2
: > "$out"
for f in "$@"; do
    printf '%s\n%s\n' "$f" "$(stat -c %s "$folder/$f")" >> "$out"
    cat "$folder/$f" >> "$out"
done
