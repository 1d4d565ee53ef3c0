#!/usr/bin/env bash
# Runs a test of the sanitizer build, and runs it again when LeakSanitizer's own tracer
# crashed at exit (a known fault of the runtime, seen now and then, never a leak report).
# Any other failure, a leak among them, is the test's outcome as it is.
set -uo pipefail
attempts=3
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for ((i = 1; i <= attempts; i++)); do
    "$@" 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    [ "$status" -eq 0 ] && exit 0
    if grep -q '^Tracer caught signal' "$log" &&
       grep -q 'LeakSanitizer has encountered a fatal error' "$log" &&
       ! grep -q 'ERROR: LeakSanitizer: detected memory leaks' "$log" &&
       ! grep -qE '^(FAIL!|QFATAL)' "$log"; then
        echo "lsan_retry: LeakSanitizer's tracer crashed at exit (run $i of $attempts); running the test again" >&2
        continue
    fi
    exit "$status"
done
exit "$status"
