#!/usr/bin/env bash
# Runs a test program from a folder its user cannot write to, as an installed program is run.
# As root, permissions would not stop it, so it runs as "nobody". Arguments: the program and
# its own arguments.
set -euo pipefail
program="$1"
shift
dir=$(mktemp -d)
trap 'chmod u+w "$dir"; rm -rf "$dir"' EXIT
cp "$program" "$dir/"
chmod 555 "$dir"
run=("$dir/$(basename "$program")" "$@")
export VELLOMAR_READONLY_PROGRAM=1
unset XDG_RUNTIME_DIR
if [ "$(id -u)" -eq 0 ]; then
    setpriv --reuid=nobody --regid=nogroup --clear-groups -- "${run[@]}"
else
    "${run[@]}"
fi
