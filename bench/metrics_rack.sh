#!/bin/sh
# A rack in one watch against a watch per unit: N simulated lasers
# (korvex-sim on ptys) polled every MS ms with --metrics and --mqtt (one
# local mosquitto), first by one `korvexctl --port A --port B ... watch`,
# then by N watches of one port each.
#   bench/metrics_rack.sh [BUILD_DIR] [N] [INTERVAL_MS] [SECONDS]   (default build 32 500 20)
# Reports for each way: the CPU time of the korvexctl processes as a share of
# one core, their memory (the sum of their resident sets), the samples per
# second they took, and the time a scrape of /metrics takes (curl, the mean
# and the largest of 20 scrapes; with a watch per unit, of each endpoint).
# RACK_OPTIONS: more options of the rack watch (default --mqtt-id 'laser-{port}':
# the simulators share one serial number, so each unit is named by its port).
set -eu
BUILD=${1:-build}
N=${2:-32}
MS=${3:-500}
SECS=${4:-20}
. "$(dirname "$0")/fleet_setup.sh"
command -v curl >/dev/null || { echo "curl is needed" >&2; exit 2; }
# Resident memory in KiB, summed.
rss_kib() { for p in "$@"; do grep VmRSS /proc/$p/status 2>/dev/null; done | awk '{ t += $2 } END { print t + 0 }'; }
# The metrics endpoint a watch announced on stderr.
endpoint() { # stderr file
  for _ in $(seq 50); do
    url=$(grep -o 'http://127.0.0.1:[0-9]*/metrics' "$1" | head -n 1 || true)
    [ -n "$url" ] && { echo "$url"; return; }
    sleep 0.1
  done
}
# curl's times of repeated scrapes: "mean max" in ms.
scrape_ms() { # url count
  for _ in $(seq "$2"); do curl -s -o /dev/null -w '%{time_total}\n' "$1"; done |
    awk '{ t += $1; if ($1 > m) m = $1 } END { printf "%.2f %.2f\n", 1000 * t / NR, 1000 * m }'
}

start_sims "$N"
PTYS=""
i=0
while [ $i -lt "$N" ]; do PTYS="$PTYS $(head -n 1 "$WORK/sim$i.out")"; i=$((i + 1)); done

# The polls all endpoints have counted so far.
polls() { for u in "$@"; do curl -s "$u"; done | awk '/^korvex_polls_total/ { t += $2 } END { print t + 0 }'; }

report() { # label, pids, scrape "mean max", urls...
  label=$1; pids=$2; scrape=$3; shift 3
  c0=$(cpu_us $pids); p0=$(polls "$@"); t0=$(date +%s.%N)
  sleep "$SECS"
  c1=$(cpu_us $pids); p1=$(polls "$@"); t1=$(date +%s.%N)
  kib=$(rss_kib $pids)
  awk -v l="$label" -v n="$N" -v ms="$MS" -v t0="$t0" -v t1="$t1" -v c=$((c1 - c0)) -v p=$((p1 - p0)) -v kib="$kib" -v s="$scrape" 'BEGIN {
    split(s, x, " "); d = t1 - t0;
    printf "%-16s %2d lasers at %d ms: %5.1f polls/s (%d planned), korvexctl CPU %5.1f%% of a core, memory %6.1f MiB;\n",
           l, n, ms, p / d, n * 1000 / ms, 100 * c / 1000000 / d, kib / 1024;
    printf "%-16s one scrape %s ms mean, %s ms at most\n", "", x[1], x[2] }'
}

# One watch for the whole rack.
set --
for p in $PTYS; do set -- "$@" --port "$p"; done
# shellcheck disable=SC2086
"$BUILD/korvexctl" "$@" watch --interval "$MS" --metrics 127.0.0.1:0 --mqtt "127.0.0.1:$PORT" ${RACK_OPTIONS:---mqtt-id laser-{port}} \
  > /dev/null 2> "$WORK/rack.err" &
RACK=$!
PIDS="$PIDS $RACK"
URL=$(endpoint "$WORK/rack.err")
sleep 3
if [ -z "$URL" ] || ! kill -0 "$RACK" 2>/dev/null; then
  echo "one watch for the rack: not available"; sed -n 1,5p "$WORK/rack.err"
else
  up=$(curl -s "$URL" | grep -c '^korvex_up{.*} 1$' || true)
  SCRAPE=$(scrape_ms "$URL" 20)
  report "one watch ($up up)" "$RACK" "$SCRAPE" "$URL"
  kill -INT "$RACK" 2>/dev/null || true
  wait "$RACK" 2>/dev/null || true
fi

# A watch per unit; the simulators share one serial number, so each gets its MQTT ID.
CTLS=""
i=0
for p in $PTYS; do
  "$BUILD/korvexctl" --port "$p" watch --interval "$MS" --metrics 127.0.0.1:0 --mqtt "127.0.0.1:$PORT" \
    --mqtt-id "laser$i" > /dev/null 2> "$WORK/ctl$i.err" &
  CTLS="$CTLS $!"
  i=$((i + 1))
done
PIDS="$PIDS $CTLS"
sleep 3
: > "$WORK/scrapes"
URLS=""
i=0
while [ $i -lt "$N" ]; do
  URL=$(endpoint "$WORK/ctl$i.err")
  [ -n "$URL" ] && { URLS="$URLS $URL"; curl -s -o /dev/null -w '%{time_total}\n' "$URL" >> "$WORK/scrapes"; }
  i=$((i + 1))
done
SCRAPE=$(awk '{ t += $1; if ($1 > m) m = $1 } END { printf "%.2f %.2f\n", 1000 * t / NR, 1000 * m }' "$WORK/scrapes")
# shellcheck disable=SC2086
report "$N watches" "$CTLS" "$SCRAPE" $URLS
for p in $CTLS; do kill -INT "$p" 2>/dev/null || true; done
for p in $CTLS; do wait "$p" 2>/dev/null || true; done
