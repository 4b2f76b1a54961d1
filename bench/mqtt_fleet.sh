#!/bin/sh
# MQTT fleet: N simulated lasers (korvex-sim on ptys), each watched by its own
# `korvexctl watch --interval MS --mqtt` on this machine, publishing to one
# local mosquitto; one mosquitto_sub counts what the broker delivers.
#   bench/mqtt_fleet.sh [BUILD_DIR] [N] [INTERVAL_MS] [SECONDS]   (default build 20 100 20)
# Reports samples/s arriving at the subscriber (against N*1000/MS polled),
# and the CPU time of the korvexctl processes, of the simulators and of the
# broker, as a share of one core; then the same fleet without --mqtt, so that
# the difference is what publishing costs.
set -eu
BUILD=${1:-build}
N=${2:-20}
MS=${3:-100}
SECS=${4:-20}
. "$(dirname "$0")/fleet_setup.sh"
command -v mosquitto_sub >/dev/null || { echo "mosquitto-clients is needed" >&2; exit 2; }

start_sims "$N"

run_fleet() { # label, 1 to publish
  label=$1
  mqtt=$2
  CTLS=""
  i=0
  for s in $SIMS; do
    pty=$(head -n 1 "$WORK/sim$i.out")
    : > "$WORK/rows$i.jsonl"
    if [ "$mqtt" = 1 ]; then
      # Each laser's ID is given: the simulators share one serial number.
      set -- --mqtt "127.0.0.1:$PORT" --mqtt-id "laser$i"
    else
      set --
    fi
    "$BUILD/korvexctl" --port "$pty" watch --interval "$MS" --jsonl "$WORK/rows$i.jsonl" "$@" > /dev/null 2>> "$WORK/ctl.err" &
    CTLS="$CTLS $!"
    i=$((i + 1))
  done
  PIDS="$PIDS $CTLS"
  sleep 3 # all started and connected
  : > "$WORK/sub.out"
  mosquitto_sub -p "$PORT" -t 'korvex/+/status' -q 1 > "$WORK/sub.out" &
  SUB=$!
  PIDS="$PIDS $SUB"
  sleep 1
  c0=$(cpu_us $CTLS); s0=$(cpu_us $SIMS); b0=$(cpu_us $BROKER); m0=$(wc -l < "$WORK/sub.out"); t0=$(date +%s.%N)
  p0=$(cat "$WORK"/rows*.jsonl | wc -l)
  sleep "$SECS"
  c1=$(cpu_us $CTLS); s1=$(cpu_us $SIMS); b1=$(cpu_us $BROKER); m1=$(wc -l < "$WORK/sub.out"); t1=$(date +%s.%N)
  p1=$(cat "$WORK"/rows*.jsonl | wc -l)
  kill $SUB 2>/dev/null || true
  for p in $CTLS; do kill -INT "$p" 2>/dev/null || true; done
  for p in $CTLS; do wait "$p" 2>/dev/null || true; done
  awk -v l="$label" -v n="$N" -v ms="$MS" -v t0="$t0" -v t1="$t1" -v m=$((m1 - m0)) -v p=$((p1 - p0)) \
      -v c=$((c1 - c0)) -v s=$((s1 - s0)) -v b=$((b1 - b0)) -v hz=1000000 'BEGIN {
    d = t1 - t0;
    printf "%-12s %2d lasers at %d ms: %7.1f samples/s polled (%d planned), %7.1f samples/s at a subscriber\n", l, n, ms, p / d, n * 1000 / ms, m / d;
    printf "%-12s CPU: korvexctl %5.1f%% of a core (%.2f%% each), korvex-sim %5.1f%%, mosquitto %5.1f%%\n",
           "", 100 * c / hz / d, 100 * c / hz / d / n, 100 * s / hz / d, 100 * b / hz / d }'
}

run_fleet "with --mqtt" 1
run_fleet "without" 0
if [ -s "$WORK/ctl.err" ]; then
  echo "korvexctl said:"; sort "$WORK/ctl.err" | uniq -c | head -20
fi
