#!/usr/bin/env bash
# Makes tests/data/deepcache: an Internet Explorer cache, written by Wine's own wininet, holding
# one file whose address has 32,000 path segments (64 KB), as a hostile page can make a browser
# keep. Needs wine (wine64) and gcc-mingw-w64-x86-64, as generate.sh does.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../../tests/data/deepcache}
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

x86_64-w64-mingw32-gcc -municode -O2 -o "$work/commit.exe" "$here/commit.c" -lwininet
python3 -c "print('http://deep.example/' + 'a/' * 32000 + 'deep.jpg')" > "$work/address"
convert -size 16x16 xc:#336699 "$work/deep.jpg"

export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1 || true
wine "$work/commit.exe" "$(winepath -w "$work/address")" "$(winepath -w "$work/deep.jpg")" \
    jpg image/jpeg
wineserver -w

cache=$(find "$WINEPREFIX/drive_c/users" -type d -name Content.IE5 | head -n 1)
[ -n "$cache" ] || { echo "no Content.IE5 made" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$out"
cp -r "$cache" "$out/"
echo "cache written to $out"
find "$out" -type f | sort
