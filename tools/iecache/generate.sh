#!/usr/bin/env bash
# Makes the small Internet Explorer cache the tests use (tests/data/iecache) with Wine's own
# wininet: a loopback server serves a few files, a tiny Windows program fetches them into the
# cache of a fresh Wine prefix, and the cache (its index.dat and files) is copied out.
#   generate.sh [OUT [LOCALE PATH...]]
# With a LOCALE (zh_CN.UTF-8, zh_TW.UTF-8, ...), Wine runs under it, so that its ANSI code page
# is that locale's (936, 950, ...) as on a Windows of that language, and only the PATHs given
# (below the site, names in any script; each a small picture made for it) are fetched.
# Needs wine (wine64) and gcc-mingw-w64-x86-64 (not installed by scripts/setup: the result is
# committed, and only regenerating it needs them).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../../tests/data/iecache}
locale=${2:-}
shift $(($# > 2 ? 2 : $#))
work=$(mktemp -d)
trap 'kill ${server:-0} 2>/dev/null || true; wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

x86_64-w64-mingw32-gcc -municode -O2 -o "$work/fetch.exe" "$here/fetch.c" -lwininet

# What the server serves: small real media, with the types and dates a web server gives.
python3 "$here/makesite.py" "$work/site" "$@"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
(cd "$work/site" && exec python3 "$here/serve.py" "$port") &
server=$!
for _ in $(seq 1 50); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
    sleep 0.1
done

export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1 || true
base="http://127.0.0.1:$port"
if [ -n "$locale" ]; then
    # Wine takes its Windows locale from the Unix one, which must exist: made here when the
    # system has not got it.
    if ! LC_ALL=$locale locale charmap >/dev/null 2>&1 ||
        [ "$(LC_ALL=$locale locale charmap 2>/dev/null)" != UTF-8 ]; then
        mkdir -p "$work/locale"
        localedef -i "${locale%%.*}" -f UTF-8 "$work/locale/$locale"
        export LOCPATH="$work/locale"
    fi
    addresses=()
    for p in "$@"; do addresses+=("$base/$p"); done
    LANG=$locale LC_ALL=$locale wine "$work/fetch.exe" --ansi "${addresses[@]}"
    LANG=$locale LC_ALL=$locale wineserver -w
else
    wine "$work/fetch.exe" \
        "$base/img/banner.jpg" "$base/img/logo.gif" "$base/img/photo.png" \
        "$base/media/game.swf" "$base/media/song.mp3" "$base/index.html" \
        "$base/img/banner.jpg?v=2" "$base/img/gone.jpg"
    wineserver -w
fi

cache=$(find "$WINEPREFIX/drive_c/users" -type d -name Content.IE5 | head -n 1)
[ -n "$cache" ] || { echo "no Content.IE5 made" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$out"
cp -r "$cache" "$out/"
# The record of gone.jpg stays; its file goes, as when a cache is cleaned by hand.
find "$out" -name 'gone*' -delete
# The port the server happened to listen on is part of every address; keep it for the tests.
echo "$port" > "$out/port"
echo "cache written to $out"
find "$out" -type f | sort
