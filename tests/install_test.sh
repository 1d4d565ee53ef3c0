#!/usr/bin/env bash
# Installs into a temporary prefix, checks the layout and the desktop files, and starts the
# installed program offscreen on a cache whose first row is an SWF, which must play from the
# installed player files. Arguments: the build folder, the sample cache tool, the slow client.
set -euo pipefail
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu
build="$1"
samplecache="$2"
trickle="$3"
work=$(mktemp -d)
# A folder another user may run the slow client from.
tools=$(mktemp -d)
trap 'kill $pid ${slow[@]} 2>/dev/null || true; rm -rf "$work" "$tools"' EXIT
pid=
slow=()
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
cp "$work/cache/Content.IE5/AAAAAAAA/movie[1].swf" "$work/original.swf"

unset VELLOMAR_RUFFLE
log="$work/log"
# The web engine's debugging endpoint names the player page, token included, to this test.
debugport=
for p in $(shuf -i 20000-32000 -n 20); do
    (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { debugport=$p; break; }
done
[ -n "$debugport" ]
QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="vellomar.flash.debug=true" \
    QTWEBENGINE_REMOTE_DEBUGGING="127.0.0.1:$debugport" \
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

# What a stranger may cost the running program. A flood of 100 MB of header lines is cut off
# after a few KB: the program grows by less than 20 MB and the server closes the connection.
kb() { sed -n "s/^$1:[[:space:]]*\([0-9]*\) kB$/\1/p" "/proc/$pid/status"; }
ms() { echo $(($(date +%s%N) / 1000000)); }
rss=$(kb VmRSS)
hwm=$(kb VmHWM)
line="X-Flood: $(head -c 7990 /dev/zero | tr '\0' a)"
(
    trap '' PIPE
    exec 3<>"/dev/tcp/127.0.0.1/$port"
    { printf 'GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n'; yes "$line" | head -n 12500 | sed 's/$/\r/'; } 2>/dev/null |
        timeout 20 dd bs=64k iflag=fullblock 2>"$work/flood" >&3 || true
    # The server ends it (with a 431 answer or a reset) long before the timeout.
    rc=0
    timeout 5 cat <&3 >/dev/null 2>&1 || rc=$?
    [ $rc = 124 ] || echo closed >"$work/closed"
)
sent=$(sed -n 's/^\([0-9]*\) bytes.*/\1/p' "$work/flood")
echo "header flood: $sent bytes taken; VmRSS $rss -> $(kb VmRSS) kB, VmHWM $hwm -> $(kb VmHWM) kB"
[ "${sent:-0}" -lt $((8 * 1024 * 1024)) ] || { echo "the header flood was not cut off"; exit 1; }
[ -e "$work/closed" ] || { echo "the flood's connection was left open"; exit 1; }
[ $(($(kb VmRSS) - rss)) -le 20480 ] && [ $(($(kb VmHWM) - hwm)) -le 20480 ] ||
    { echo "the header flood grew the program"; exit 1; }

page=$(curl -s --max-time 5 "http://127.0.0.1:$debugport/json/list" |
       sed -n 's|.*"url": "\(http://127\.0\.0\.1:'"$port"'/[0-9a-f]*/player\.html\)".*|\1|p' | head -n 1)
[ -n "$page" ] || { echo "no player page among the web engine's pages"; exit 1; }
# The movie shown is the one the listener serves; its serial is small.
movie=
for n in 1 2 3 4 5 6 7 8; do
    [ "$(probe "${page%player.html}movie.swf?n=$n")" = 200 ] && { movie="${page%player.html}movie.swf?n=$n"; break; }
done
[ -n "$movie" ] || { echo "the movie shown is not served"; exit 1; }

# Another user trickling a byte every 0.5 s on 100 connections from three addresses is refused
# at accept: the page and the movie are answered at once meanwhile.
if [ "$(id -u)" -eq 0 ]; then
    cp "$trickle" "$tools/"
    chmod 755 "$tools" "$tools/$(basename "$trickle")"
    setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$tools/$(basename "$trickle")" \
        "$port" 8 500 127.0.0.2:34 127.0.0.3:33 127.0.0.4:33 >"$work/stranger" &
    stranger=$!
    slow+=($stranger)
    sleep 2
    worst=0
    for _ in 1 2 3 4 5; do
        for url in "$page" "$movie"; do
            answer=$(curl -s -o /dev/null -w '%{http_code} %{time_total}' --max-time 2 "$url" || true)
            [ "${answer%% *}" = 200 ] || { echo "$url answered ${answer:-nothing} beside another user's slow clients"; exit 1; }
            took=$(awk -v t="${answer#* }" 'BEGIN { printf "%d", t * 1000 }')
            [ "$took" -gt "$worst" ] && worst=$took
        done
        sleep 0.5
    done
    wait $stranger
    echo "page and movie beside another user's 100 slow clients: at most $worst ms; theirs: $(cat "$work/stranger")"
    [ "$worst" -le 100 ] || { echo "not answered within 100 ms"; exit 1; }
    read -r _ _ _ _ _ closed _ longest _ open _ oldest <"$work/stranger"
    [ "$closed" -ge 100 ] && [ "$longest" -lt 1000 ] && [ "$oldest" -lt 1000 ] ||
        { echo "another user's connections were not refused at once"; exit 1; }
else
    echo "not root: another user's slow clients are not tried"
fi
# This user's own client trickling is dropped 3 s after it connected, though never idle.
"$trickle" "$port" 6 500 127.0.0.5:2 >"$work/own"
echo "this user's slow clients: $(cat "$work/own")"
read -r _ _ _ _ _ closed _ longest _ open _ oldest <"$work/own"
[ "$closed" -ge 2 ] && [ "$longest" -ge 2500 ] && [ "$longest" -le 4500 ] && [ "$oldest" -le 4500 ] ||
    { echo "this user's slow clients were not dropped at their deadline"; exit 1; }

# The listed folder swapped for a link to one holding a secret of the same name: the movie
# served is still the file opened when its row was chosen.
mkdir "$work/outside"
printf 'SECRET OUTSIDE THE CACHE' >"$work/outside/movie[1].swf"
mv "$work/cache/Content.IE5/AAAAAAAA" "$work/cache/Content.IE5/AAAAAAAA.real"
ln -s "$work/outside" "$work/cache/Content.IE5/AAAAAAAA"
code=$(curl -s -o "$work/fetched" -w '%{http_code}' --max-time 10 "$movie" || true)
[ "$code" = 200 ] || { echo "the movie shown answered $code after the swap"; exit 1; }
cmp -s "$work/fetched" "$work/original.swf" ||
    { echo "the listener sent another file than the movie shown: $(head -c 40 "$work/fetched")"; exit 1; }

# Eight clients sending a byte every 3 s hold no one up, and the program still ends at once
# when its window closes (SIGTERM closes it) while they are connected.
for _ in 1 2 3 4 5 6 7 8; do
    (
        exec 3<>"/dev/tcp/127.0.0.1/$port"
        for c in G E T ' ' / ' ' H T T P; do printf %s "$c" >&3; sleep 3; done
    ) 2>/dev/null &
    slow+=($!)
done
sleep 0.5
answer=$(curl -s -o /dev/null -w '%{http_code} %{time_total}' --max-time 1 "$page" || true)
echo "player page with 8 slow clients connected: $answer s"
[ "${answer%% *}" = 200 ] || { echo "the player page was not answered within 1 s"; exit 1; }
( sleep 2; kill -KILL $pid 2>/dev/null ) &
watchdog=$!
start=$(ms)
kill -TERM $pid
status=0
wait $pid || status=$?
took=$(($(ms) - start))
kill $watchdog 2>/dev/null || true
echo "ended $took ms after SIGTERM, status $status"
[ $took -le 2000 ] || { echo "the program did not end within 2 s"; exit 1; }
[ $status = 0 ] || { echo "SIGTERM did not close the window: status $status"; exit 1; }

# Installed under a folder the user can write to, the program's folder is the default; the
# settings file is still untouched.
[ ! -e "$work/config/Vellomar/Vellomar.ini" ]
echo "1 passed, 0 failed"
