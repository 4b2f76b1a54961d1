#!/bin/sh
# Runs crash_probe (a Qt Test program that starts korvex-sim and then
# segfaults) the way CTest runs a test, with its output on a pipe, and checks
# that a crashing test tells its story and lets the suite go on:
#   - the program ends with a failure, soon (no hang until CTest's timeout);
#   - the output pipe reaches its end (no child holds it open);
#   - the log holds a backtrace that names the crashing function;
#   - the simulator the test started is gone.
#   crash_report.sh PROGRAM [SECONDS]
set -u
PROGRAM=$1
LIMIT=${2:-90}
OUT=$(mktemp)
trap 'rm -f "$OUT"' EXIT

fail() { echo "crash_report: FAIL: $*"; exit 1; }

command -v gdb >/dev/null || fail "gdb is not installed (scripts/install-deps installs it); Qt Test prints no backtrace without it"

start=$(date +%s)
# The pipeline ends only when every holder of the pipe has closed it.
timeout -k 5 "$LIMIT" sh -c '{ "$1" crashWithSimulatorRunning 2>&1; echo "crash_report: exit status $?"; } | cat' sh "$PROGRAM" > "$OUT"
waited=$?
elapsed=$(($(date +%s) - start))
cat "$OUT"
echo "crash_report: output ended after ${elapsed} s"

[ "$waited" -eq 0 ] || fail "the crashed test or a child of it was still running after ${LIMIT} s"
status=$(sed -n 's/^crash_report: exit status \([0-9]*\)$/\1/p' "$OUT")
[ -n "$status" ] || fail "no exit status"
[ "$status" -ne 0 ] || fail "the crashing test exited with 0"
# Qt Test's crash handler reports it (AddressSanitizer's, if it got there first).
grep -Eq "Received signal 11|AddressSanitizer: SEGV" "$OUT" || fail "the crash was not reported"
grep -Eq '#[0-9]+ .*crashInsideTest' "$OUT" || fail "no backtrace frame names the crashing function"

pid=$(sed -n 's/^simulator pid \([0-9]*\) .*/\1/p' "$OUT")
[ -n "$pid" ] || fail "the probe did not start the simulator"
i=0
while [ -e "/proc/$pid" ] && ! grep -q '^State:.*Z' "/proc/$pid/status" 2>/dev/null; do
  i=$((i + 1))
  [ "$i" -le 50 ] || fail "the simulator (pid $pid) outlived the crashed test"
  sleep 0.1
done
echo "crash_report: PASS (exit status $status, backtrace present, simulator gone)"
