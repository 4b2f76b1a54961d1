#!/bin/sh
# A rack at a test station: N simulated lasers (korvex-sim on ptys, simulated
# time SPEED times faster) tested at once by one `korvexctl test` with the
# example plan, at its 500 ms poll.
#   bench/station_rack.sh [BUILD_DIR] [N] [SPEED] [PLAN]   (default build 16 1 examples/quick-check.yaml)
# The plan's times run on the station's clock: a faster simulator (SPEED > 1)
# makes only its physics faster, so its thermal step's time constant comes
# out SPEED times shorter and fails the example plan's limits; the station's
# cost is the same.
# Reports the station's CPU time as a share of one core over the run, its
# largest resident memory, its wall time and the slowest unit's own test
# time (from its record): the rack costs the difference.
set -eu
BUILD=$(cd "${1:-build}" && pwd)
N=${2:-16}
SPEED=${3:-1}
PLAN=${4:-$(dirname "$0")/../examples/quick-check.yaml}
for tool in "$BUILD/korvexctl" "$BUILD/korvex-sim"; do
  [ -x "$tool" ] || { echo "missing $tool (build first)" >&2; exit 2; }
done
WORK=$(mktemp -d)
SIMS=""
cleanup() {
  for p in $SIMS; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

PORTS=""
i=0
while [ $i -lt "$N" ]; do
  "$BUILD/korvex-sim" --pty --speed "$SPEED" --serial "25001-20261209-$((i + 1))" > "$WORK/sim$i.out" 2>&1 &
  SIMS="$SIMS $!"
  i=$((i + 1))
done
i=0
while [ $i -lt "$N" ]; do
  for _ in $(seq 50); do [ -s "$WORK/sim$i.out" ] && break; sleep 0.1; done
  PORTS="$PORTS --port $(head -n 1 "$WORK/sim$i.out")"
  i=$((i + 1))
done

# The station under getrusage: CPU and peak memory of korvexctl alone.
# shellcheck disable=SC2086
python3 - "$BUILD/korvexctl" "$PLAN" "$WORK/records" $PORTS <<'PY'
import json, resource, subprocess, sys, time
ctl, plan, records, ports = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
start = time.monotonic()
run = subprocess.run([ctl, "test", plan, "--records", records, "--json"] + ports, capture_output=True, text=True)
wall = time.monotonic() - start
use = resource.getrusage(resource.RUSAGE_CHILDREN)
units = [json.loads(l) for l in run.stdout.splitlines() if l.startswith("{") and "port" in l]
slowest = max(u["duration_s"] for u in units) if units else 0
cpu = use.ru_utime + use.ru_stime
outcomes = {}
for u in units:
    outcomes[u["outcome"]] = outcomes.get(u["outcome"], 0) + 1
print(f"units {len(units)}  outcomes {outcomes}  exit {run.returncode}")
print(f"station CPU {cpu:.2f} s over {wall:.1f} s: {100 * cpu / wall:.2f} % of one core")
print(f"station memory (largest resident set) {use.ru_maxrss / 1024:.1f} MiB")
print(f"wall time {wall:.2f} s, slowest unit {slowest:.2f} s: {wall - slowest:+.2f} s")
PY
