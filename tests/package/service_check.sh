#!/bin/sh
# The korvex-watch@ service as systemd and a technician would see it:
#   - systemd-analyze verify accepts the unit (korvexctl from this build);
#   - the unit's command line, with an instance's file made from the example
#     configuration, runs against korvex-sim on a stable link, twice (a
#     restart): one CSV file, one header, the rows of both runs.
#   service_check.sh SOURCE_DIR BUILD_DIR
set -u
SRC=$1 BUILD=$2
FAILED=0
fail() { echo "service_check: FAIL: $*"; FAILED=1; }
command -v systemd-analyze >/dev/null || { echo "service_check: FAIL: systemd-analyze is missing (scripts/install-deps)"; exit 1; }
UNIT="$SRC/packaging/korvex-watch@.service"
TMP=$(mktemp -d)
SIM_PID=""
trap '[ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null; rm -rf "$TMP"' EXIT

# systemd checks that the program exists: this build's, in the unit's place.
sed "s|/usr/bin/korvexctl|$BUILD/korvexctl|" "$UNIT" > "$TMP/korvex-watch@.service"
systemd-analyze verify --man=no "$TMP/korvex-watch@.service" > "$TMP/verify.txt" 2>&1 || fail "systemd-analyze verify: $(cat "$TMP/verify.txt")"
grep -q '^Restart=on-failure$' "$UNIT" || fail "the unit does not restart on failure"
grep -q '^SupplementaryGroups=dialout$' "$UNIT" || fail "the unit does not run in the group dialout"
grep -q '^EnvironmentFile=/etc/korvex/%i.conf$' "$UNIT" || fail "the unit does not read /etc/korvex/NAME.conf"

# An instance's file: the example with this test's port and a count.
"$BUILD/korvex-sim" --pty --link "$TMP/laser" > /dev/null &
SIM_PID=$!
i=0
while [ ! -e "$TMP/laser" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
[ -e "$TMP/laser" ] || { echo "service_check: FAIL: korvex-sim made no link"; exit 1; }
sed -e "s|^KORVEX_PORT=.*|KORVEX_PORT=$TMP/laser|" \
    -e "s|--mqtt [^ \"]*||; s|--interval [0-9]*|--interval 100 --count 3|" \
    "$SRC/packaging/watch.conf.example" > "$TMP/bench.conf"
grep -q -- '--count 3' "$TMP/bench.conf" || fail "the example has no --interval to shorten"
# What systemd does: the file's variables, then ExecStart with ${X} as one
# word and $X split into words.
EXEC=$(sed -n 's/^ExecStart=//p' "$UNIT" | sed "s|/usr/bin/korvexctl|$BUILD/korvexctl|")
mkdir "$TMP/state"
run_unit() {
  (set -a; . "$TMP/bench.conf"; set +a; cd "$TMP/state" && eval "set -- $EXEC" && "$@")
}
run_unit > "$TMP/run1.txt" 2>&1 || fail "first run exits with $?: $(cat "$TMP/run1.txt")"
run_unit > "$TMP/run2.txt" 2>&1 || fail "second run exits with $?: $(cat "$TMP/run2.txt")"
CSV="$TMP/state/status.csv"
[ -f "$CSV" ] || fail "no status.csv in the working directory"
[ "$(wc -l < "$CSV")" -eq 7 ] || fail "status.csv has $(wc -l < "$CSV") lines, not a header and 6 rows"
[ "$(grep -c '^time,' "$CSV")" -eq 1 ] || fail "status.csv has more than one header"

[ $FAILED -eq 0 ] && echo "service_check: passed"
exit $FAILED
