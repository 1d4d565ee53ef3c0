#!/usr/bin/env bash
# Runs scripts/package from a fresh clone of the checkout, offline, and checks that the .deb
# holds every file the install rules name. Arguments: the source folder, a scratch folder (kept
# between runs so that the compiler cache sees the same paths).
set -euo pipefail
src="$1"
scratch="$2"
if ! git -C "$src" rev-parse --git-dir >/dev/null 2>&1; then
    echo "SKIP: $src is no git checkout"
    exit 77
fi
[ -d "$src/node_modules/@ruffle-rs/ruffle" ] || { echo "no node_modules in $src: run scripts/setup"; exit 1; }
clone="$scratch/clone"
rm -rf "$clone" "$scratch/stage" "$scratch/unpacked"
mkdir -p "$scratch"
git clone --quiet "$src" "$clone"
# A clone has no node_modules; the checkout's are the ones its lock pins, which setup's offline
# check confirms.
ln -s "$(readlink -f "$src/node_modules")" "$clone/node_modules"

start=$(date +%s)
deb=$(VELLOMAR_OFFLINE=1 "$clone/scripts/package" | tail -n 1)
echo "scripts/package took $(($(date +%s) - start)) s: $deb"
[ -f "$deb" ] || { echo "scripts/package named no package"; exit 1; }
case "$deb" in "$clone"/build-package/vellomar_*.deb) ;; *) echo "unexpected path $deb"; exit 1 ;; esac

# What the install rules name, staged from the same build; the package holds exactly that.
cmake --install "$clone/build-package" --prefix "$scratch/stage/usr" >/dev/null
(cd "$scratch/stage" && find . ! -type d | sort) >"$scratch/staged"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort >"$scratch/packaged"
if ! diff -u "$scratch/staged" "$scratch/packaged"; then
    echo "the package does not hold what the install rules name"
    exit 1
fi
for f in ./usr/bin/vellomar ./usr/bin/vellomar-dig ./usr/libexec/vellomar/vellomar-index \
         ./usr/share/vellomar/ruffle/ruffle.js ./usr/share/man/man1/vellomar-dig.1; do
    grep -qxF "$f" "$scratch/packaged" || { echo "the package lacks $f"; exit 1; }
done
# The program as packaged runs: its command answers from the package's own tree.
dpkg-deb -x "$deb" "$scratch/unpacked"
"$scratch/unpacked/usr/bin/vellomar-dig" --help >/dev/null
dpkg-deb -f "$deb" Package Version Depends
echo "1 passed, 0 failed"
