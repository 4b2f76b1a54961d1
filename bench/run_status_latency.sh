#!/bin/sh
# Start-to-exit time of `korvexctl status` against korvex-sim on a pty, beside
# a setter's (`korvexctl power N`) in the same run, so that the two can be
# compared on a machine whatever its load.
#   bench/run_status_latency.sh [BUILD_DIR] [RUNS] [SIM_OPTION ...]
# Runs each command RUNS times (default 20), alternating, and prints the times
# in ms, sorted, their medians and the ratio status / setter. The aim: status
# within 1.5 times a setter (its reply is taken as soon as its known length
# has arrived, not after a quiet wait). Extra arguments go to the simulator,
# e.g. --trailing 1 or --chatter 20 for a noisy line.
set -eu
BUILD=${1:-build}
RUNS=${2:-20}
[ $# -ge 2 ] && shift 2 || shift $#
BUILD=$(cd "$BUILD" && pwd)
for tool in "$BUILD/korvexctl" "$BUILD/korvex-sim"; do
  [ -x "$tool" ] || { echo "missing $tool (build first)" >&2; exit 2; }
done
WORK=$(mktemp -d)
"$BUILD/korvex-sim" --pty "$@" > "$WORK/sim.out" 2>&1 &
SIM=$!
trap 'kill $SIM 2>/dev/null; rm -rf "$WORK"' EXIT
i=0; while [ ! -s "$WORK/sim.out" ] && [ $i -lt 100 ]; do sleep 0.05; i=$((i+1)); done
PORT=$(head -n 1 "$WORK/sim.out")
ms() { echo $(( ($2 - $1) / 1000000 )); }
: > "$WORK/status"; : > "$WORK/setter"
i=0
while [ $i -lt "$RUNS" ]; do
  start=$(date +%s%N)
  "$BUILD/korvexctl" --port "$PORT" status > /dev/null || echo "status failed" >&2
  end=$(date +%s%N)
  ms "$start" "$end" >> "$WORK/status"
  start=$(date +%s%N)
  "$BUILD/korvexctl" --port "$PORT" power $((100 + i)) > /dev/null || echo "power failed" >&2
  end=$(date +%s%N)
  ms "$start" "$end" >> "$WORK/setter"
  i=$((i + 1))
done
median() { sort -n "$1" | sed -n "$(( (RUNS + 1) / 2 ))p"; }
for what in status setter; do
  echo "korvexctl $what, start to exit (ms): $(sort -n "$WORK/$what" | tr '\n' ' ')"
done
S=$(median "$WORK/status"); P=$(median "$WORK/setter")
echo "median: status $S ms, setter $P ms, ratio $(awk -v s="$S" -v p="$P" 'BEGIN { printf "%.2f", p ? s / p : 0 }')"
