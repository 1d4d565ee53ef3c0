#!/usr/bin/env bash
# Installs into a temporary prefix, checks the layout and the desktop files, and starts the
# installed program offscreen on a cache whose first row is an SWF, which must play from the
# installed player files. Arguments: the build folder, the sample cache tool.
set -euo pipefail
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu
build="$1"
samplecache="$2"
work=$(mktemp -d)
trap 'kill $pid 2>/dev/null || true; rm -rf "$work"' EXIT
pid=
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

app=io.github.vellomar.Vellomar
for f in bin/vellomar share/vellomar/ruffle/ruffle.js share/applications/$app.desktop \
         share/icons/hicolor/scalable/apps/$app.svg share/metainfo/$app.metainfo.xml; do
    [ -e "$prefix/$f" ] || { echo "missing $f"; exit 1; }
done
ls "$prefix"/share/vellomar/ruffle/*.wasm >/dev/null
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix/share/applications/$app.desktop"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$prefix/share/metainfo/$app.metainfo.xml" >/dev/null
fi

mkdir -p "$work/cache/Content.IE5/AAAAAAAA"
"$samplecache" --swf "$work/cache/Content.IE5/AAAAAAAA/movie[1].swf"
truncate -s 12K "$work/cache/Content.IE5/AAAAAAAA/movie[1].swf"

unset VELLOMAR_RUFFLE
log="$work/log"
QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="vellomar.flash.debug=true" \
    VELLOMAR_CACHE="$work/cache" XDG_CONFIG_HOME="$work/config" HOME="$work/home" \
    "$prefix/bin/vellomar" >"$log" 2>&1 &
pid=$!
for _ in $(seq 1 120); do
    grep -q "movie .*: playing" "$log" && break
    kill -0 $pid 2>/dev/null || break
    sleep 0.5
done
if ! grep -q "player files from \"$prefix/share/vellomar/ruffle\"" "$log" ||
   ! grep -q "movie .*: playing" "$log"; then
    echo "the installed program did not play the movie:"; cat "$log"; exit 1
fi
# Probes of the running program's listener from another process: without the token nothing
# is served, whatever the path or method.
port=$(sed -n 's/.*on 127.0.0.1 port \([0-9]*\).*/\1/p' "$log" | head -n 1)
[ -n "$port" ]
probe() { curl -s -o /dev/null -w '%{http_code}' --max-time 10 "$@" || true; }
for path in /player.html /ruffle.js /movie.swf?n=1 /../../etc/passwd /%2e%2e/%2e%2e/etc/passwd \
            /etc/passwd /0123456789abcdef0123456789abcdef/player.html; do
    code=$(probe --path-as-is "http://127.0.0.1:$port$path")
    [ "$code" = 404 ] || { echo "GET $path answered $code"; exit 1; }
done
for method in POST PUT DELETE OPTIONS; do
    code=$(probe -X "$method" "http://127.0.0.1:$port/player.html")
    [ "$code" != 200 ] || { echo "$method answered 200"; exit 1; }
done
code=$(probe -H "X-Long: $(head -c 20000 /dev/zero | tr '\0' a)" "http://127.0.0.1:$port/player.html")
[ "$code" != 200 ] || { echo "a long request was served"; exit 1; }
head -c 100000 /dev/zero | tr '\0' a > "$work/body"
code=$(probe -X POST --data-binary @"$work/body" "http://127.0.0.1:$port/player.html")
[ "$code" != 200 ] || { echo "a long body was served"; exit 1; }
# Only the loopback address listens.
! curl -s --max-time 3 "http://$(hostname -I 2>/dev/null | awk '{print $1}'):$port/" >/dev/null 2>&1 || [ -z "$(hostname -I 2>/dev/null)" ]

# Installed under a folder the user can write to, the program's folder is the default; the
# settings file is still untouched.
[ ! -e "$work/config/Vellomar/Vellomar.ini" ]
echo "1 passed, 0 failed"
