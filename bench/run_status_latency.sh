#!/bin/sh
# Start-to-exit time of `korvexctl status` against korvex-sim on a pty.
#   bench/run_status_latency.sh [BUILD_DIR] [RUNS]
# Runs the command RUNS times (default 20) and prints the times in ms,
# sorted, then the median. The aim is well under 150 ms.
set -eu
BUILD=${1:-build}
RUNS=${2:-20}
BUILD=$(cd "$BUILD" && pwd)
for tool in "$BUILD/korvexctl" "$BUILD/korvex-sim"; do
  [ -x "$tool" ] || { echo "missing $tool (build first)" >&2; exit 2; }
done
WORK=$(mktemp -d)
"$BUILD/korvex-sim" --pty > "$WORK/sim.out" 2>&1 &
SIM=$!
trap 'kill $SIM 2>/dev/null; rm -rf "$WORK"' EXIT
i=0; while [ ! -s "$WORK/sim.out" ] && [ $i -lt 100 ]; do sleep 0.05; i=$((i+1)); done
PORT=$(head -n 1 "$WORK/sim.out")
i=0
while [ $i -lt "$RUNS" ]; do
  start=$(date +%s%N)
  "$BUILD/korvexctl" --port "$PORT" status > /dev/null
  end=$(date +%s%N)
  echo $(( (end - start) / 1000000 ))
  i=$((i + 1))
done | sort -n > "$WORK/times"
echo "korvexctl status, start to exit (ms): $(tr '\n' ' ' < "$WORK/times")"
echo "median: $(sed -n "$(( (RUNS + 1) / 2 ))p" "$WORK/times") ms"
