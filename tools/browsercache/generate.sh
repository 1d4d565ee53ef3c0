#!/usr/bin/env bash
# Makes the Chromium and Firefox caches the tests use, with the real browsers: a loopback server
# serves a small site of media made here (some bodies gzip- or brotli-encoded, a redirect and a
# 404 among them), headless Chromium (twice: its Simple Cache, and its blockfile cache) and
# headless Firefox load its page, and the caches they wrote are copied out, each with the list
# of what the server sent (expected.tsv, see expected.py) and the port it listened on.
#   generate.sh [OUT]     (OUT defaults to tests/data; writes OUT/chromium-simple,
#                          OUT/chromium-blockfile, OUT/firefox-cache2 and the site's files in
#                          OUT/browsercache-site). KEEPWORK=1 keeps its scratch folder (the
#                          strace logs, the served log, the profiles) for a look.
# Needs chromium, firefox-esr, imagemagick, ffmpeg, python3 and libbrotli1 (Debian 12), and
# strace to prove that neither browser reached any address but loopback (the run fails if one
# did). None is installed by scripts/setup: the result is committed, only remaking it needs them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../../tests/data}
work=$(mktemp -d)
trap 'kill ${server:-0} 2>/dev/null || true; [ -n "${KEEPWORK:-}" ] || rm -rf "$work"' EXIT
export PYTHONPATH=$here PYTHONDONTWRITEBYTECODE=1

python3 "$here/makesite.py" "$work/site"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
python3 "$here/serve.py" "$work/site" "$port" 2>"$work/served.log" &
server=$!
for _ in $(seq 1 50); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
    sleep 0.1
done
page="http://127.0.0.1:$port/index.html"

# Runs a browser under strace; fails when it reached anywhere but loopback (netcheck.py).
traced() {
    local name=$1
    shift
    strace -f -qq -yy -e trace=connect,sendto,sendmsg,sendmmsg,write -e signal=none \
        -o "$work/$name.trace" "$@"
    if ! python3 "$here/netcheck.py" "$work/$name.trace" >"$work/$name.outside"; then
        echo "$name reached beyond loopback:" >&2
        head -n 20 "$work/$name.outside" >&2
        exit 1
    fi
}

# Chromium: every address but the loopback one resolves to nothing and goes to a dead proxy,
# and its background services are off. --dump-dom returns once the page's virtual time has run
# out, which waits for the fetches; the browser then shuts down, writing its index.
chromium_cache() {
    local name=$1
    shift
    mkdir -p "$work/$name"
    traced "$name" timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic \
        --no-first-run --no-default-browser-check --disable-background-networking \
        --disable-component-update --disable-sync --disable-default-apps --disable-extensions \
        --disable-breakpad --metrics-recording-only --no-pings --disable-domain-reliability \
        --proxy-server=http://127.0.0.1:9 --host-resolver-rules="MAP * ~NOTFOUND, EXCLUDE 127.0.0.1" \
        --user-data-dir="$work/$name/profile" "$@" --virtual-time-budget=15000 --dump-dom "$page" \
        >"$work/$name/dom.html" 2>"$work/$name/chromium.log"
    grep -q '<title>done</title>' "$work/$name/dom.html" ||
        { echo "$name: the page did not finish its fetches" >&2; exit 1; }
    local cache=$work/$name/profile/Default/Cache/Cache_Data
    [ -d "$cache" ] || { echo "$name: no Cache_Data written" >&2; exit 1; }
    keep "$name" "$cache" Cache_Data
}

# Copies a cache out beside the list of what the server sent.
keep() {
    local name=$1 cache=$2 as=$3
    rm -rf "${out:?}/$name"
    mkdir -p "$out/$name"
    cp -r "$cache" "$out/$name/$as"
    echo "$port" >"$out/$name/port"
    python3 "$here/expected.py" "$work/site" "http://127.0.0.1:$port" "$out/$name/$as" \
        >"$out/$name/expected.tsv"
}

chromium_cache chromium-simple
# The blockfile backend is Chromium's own on Windows; on Linux it is chosen by a field trial's
# feature (net/base/features.cc). A 1 MB cache keeps its index at the smallest table.
chromium_cache chromium-blockfile --enable-features=DiskCacheBackendExperiment:backend/blockfile \
    --disk-cache-size=1048576
[ -e "$out/chromium-blockfile/Cache_Data/data_1" ] ||
    { echo "chromium-blockfile: not a blockfile cache" >&2; exit 1; }

# Firefox: a fresh profile with user.js, caching in the profile's cache2. The page fetches, waits
# for the cache's index to be built, uses the cache again, and closes its window; the last window
# closed, Firefox quits and writes its index's journal (a run takes about a minute).
# Remote settings heed their server preference only with MOZ_REMOTE_SETTINGS_DEVTOOLS.
profile=$work/firefox
mkdir -p "$profile"
cp "$here/user.js" "$profile/user.js"
echo "user_pref(\"browser.cache.disk.parent_directory\", \"$profile\");" >>"$profile/user.js"
MOZ_REMOTE_SETTINGS_DEVTOOLS=1 traced firefox timeout 180 firefox-esr --headless --no-remote \
    --profile "$profile" "$page#close=58000" >"$work/firefox.log" 2>&1
[ -n "$(ls -A "$profile/cache2/entries" 2>/dev/null)" ] || { echo "firefox: no cache2 entries" >&2; exit 1; }
[ -e "$profile/cache2/index" ] || echo "firefox: wrote no cache2/index (kept without)" >&2
keep firefox-cache2 "$profile/cache2" cache2

# The site's own files, for tests that compare what a reader digs with what was served.
rm -rf "${out:?}/browsercache-site"
cp -r "$work/site" "$out/browsercache-site"

echo "caches written below $out; the server was asked for:"
sort "$work/served.log" | uniq -c
find "$out/chromium-simple" "$out/chromium-blockfile" "$out/firefox-cache2" -type f | sort
