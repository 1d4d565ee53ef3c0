#!/usr/bin/env bash
# Makes the user registry hive the tests use (tests/data/ntuser/NTUSER.DAT): a fresh Wine
# prefix's user, whose shell folders Wine's reg.exe exports, written into a hive by Samba's
# hive writer (Wine keeps its registry as text; its RegSaveKey writes that text, not a hive).
# Needs wine (wine64), gcc, registry-tools (Samba's libregistry) and libhivex-bin (not installed
# by scripts/setup: the result is committed, and only regenerating it needs them).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../../tests/data/ntuser}
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

samba=/usr/lib/x86_64-linux-gnu/samba
gcc -O2 -o "$work/writehive" "$here/writehive.c" "$samba/libregistry-samba4.so.0" \
    -Wl,-rpath,"$samba"

export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1 || true
explorer='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer'
for key in 'User Shell Folders' 'Shell Folders'; do
    wine reg export "$explorer\\$key" "$work/$key.reg" /y >/dev/null
done
wineserver -w

{
    python3 "$here/reglines.py" "$work/User Shell Folders.reg"
    python3 "$here/reglines.py" "$work/Shell Folders.reg"
} >"$work/lines"
mkdir -p "$out"
rm -f "$out/NTUSER.DAT"
# Samba's libraries ask for a configuration that a machine without Samba lacks: say so plainly.
"$work/writehive" "$out/NTUSER.DAT" <"$work/lines" 2> >(grep -v smb.conf >&2)
# Read back with the reader the program uses.
cache=$(printf 'cd \\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders\nlsval Cache\n' |
    hivexsh "$out/NTUSER.DAT")
echo "hive written to $out/NTUSER.DAT; User Shell Folders\\Cache = $cache"
