#!/bin/sh
# Soak: one `korvexctl watch --csv --mqtt` left alone while everything around
# it fails on a schedule:
#   every 20 s  the simulated laser is killed and started again on the same
#               path (korvex-sim --link);
#   every 30 s  it is re-created on a new pty and the stable link is pointed
#               there (as udev does after a re-enumeration);
#   every 45 s  the broker is restarted (persistent, so a subscriber with a
#               session of its own misses nothing).
#   bench/watch_soak.sh [BUILD_DIR] [SECONDS] [INTERVAL_MS]   (default build 180 500)
# Reports: CSV rows against poll slots (every slot exactly one row, a sample or
# a lost row; gaps and doubles counted), samples that reached the broker
# (missing, twice, out of order), the watch's stderr lines (port gone/back,
# broker lost/connected), and its CPU time and memory every 10 s. Exits 1 when
# a slot has no row or two, a row never reached the broker, or the watch did not
# end with 0 (a sample twice is reported only: QoS 1 may repeat one across a
# broker restart).
set -eu
BUILD=${1:-build}
SECS=${2:-180}
MS=${3:-500}
BUILD=$(cd "$BUILD" && pwd)
for tool in "$BUILD/korvexctl" "$BUILD/korvex-sim"; do
  [ -x "$tool" ] || { echo "missing $tool (build first)" >&2; exit 2; }
done
command -v mosquitto >/dev/null || PATH=$PATH:/usr/sbin
command -v mosquitto >/dev/null && command -v mosquitto_sub >/dev/null || { echo "mosquitto and mosquitto-clients are needed" >&2; exit 2; }

WORK=$(mktemp -d)
SIM="" BROKER="" WATCH="" SUB=""
cleanup() {
  for p in $WATCH $SUB $SIM $BROKER; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -n "${KEEP:-}" ] && echo "kept $WORK" || rm -rf "$WORK"
}
trap cleanup EXIT INT TERM
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence true\npersistence_location %s/\n' "$PORT" "$WORK" > "$WORK/mosquitto.conf"
[ "$(id -u)" -eq 0 ] && echo "user root" >> "$WORK/mosquitto.conf"
LINK="$WORK/laser"

start_broker() {
  mosquitto -c "$WORK/mosquitto.conf" >> "$WORK/broker.log" 2>&1 &
  BROKER=$!
  i=0; while ! python3 -c "import socket; socket.create_connection(('127.0.0.1',$PORT),1)" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i+1)); done
}
stop_broker() { kill "$BROKER"; wait "$BROKER" 2>/dev/null || true; }
# A simulator on the stable link (made by itself, or by us on a new pty).
start_sim_on_link() {
  "$BUILD/korvex-sim" --pty --link "$LINK" > /dev/null 2>&1 &
  SIM=$!
  i=0; while [ ! -e "$LINK" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i+1)); done
}
SIMS=0
recreate_behind_link() {
  old=$SIM
  SIMS=$((SIMS + 1))
  out="$WORK/sim-$SIMS.out"
  "$BUILD/korvex-sim" --pty > "$out" 2>/dev/null &
  SIM=$!
  i=0; while [ ! -s "$out" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i+1)); done
  kill -9 "$old" 2>/dev/null || true; wait "$old" 2>/dev/null || true
  pty=$(head -n 1 "$out")
  [ -n "$pty" ] && ln -sfn "$pty" "$LINK" || echo "soak: korvex-sim printed no terminal at $t s"
}
kill_and_restart_sim() {
  kill -9 "$SIM" 2>/dev/null || true; wait "$SIM" 2>/dev/null || true
  rm -f "$LINK"
  start_sim_on_link
}

start_broker
# A subscriber with a session of its own (QoS 1, not clean): what is published
# while it reconnects after a broker restart is kept for it.
mosquitto_sub -h 127.0.0.1 -p "$PORT" -i soak-sub -c -q 1 -t 'korvex/SOAK/status' > "$WORK/sub.txt" 2>"$WORK/sub.err" &
SUB=$!
sleep 1
start_sim_on_link
"$BUILD/korvexctl" --port "$LINK" watch --interval "$MS" --csv "$WORK/soak.csv" \
  --mqtt "127.0.0.1:$PORT" --mqtt-id SOAK > /dev/null 2> "$WORK/watch.err" &
WATCH=$!

echo "soak: $SECS s, poll every $MS ms, work dir $WORK"
: > "$WORK/usage.txt"
t=0
while [ $t -lt "$SECS" ]; do
  sleep 1
  t=$((t + 1))
  kill -0 "$WATCH" 2>/dev/null || { echo "soak: the watch ended at $t s"; break; }
  if [ $((t % 30)) -eq 0 ]; then recreate_behind_link
  elif [ $((t % 20)) -eq 0 ]; then kill_and_restart_sim
  fi
  if [ $((t % 45)) -eq 0 ]; then stop_broker; sleep 1; start_broker; fi
  # CPU ticks (user+system, all threads) and resident memory every 10 s.
  if [ $((t % 10)) -eq 0 ]; then
    awk -v t=$t '{ print t, $14 + $15 }' "/proc/$WATCH/stat" | tr '\n' ' ' >> "$WORK/usage.txt"
    awk '/^VmRSS/ { print $2 }' "/proc/$WATCH/status" >> "$WORK/usage.txt"
  fi
done
kill -INT "$WATCH"
wait "$WATCH" && RC=0 || RC=$?
WATCH=""
sleep 3
kill "$SUB" 2>/dev/null || true; wait "$SUB" 2>/dev/null || true
SUB=""

echo "soak: watch exit code $RC"
python3 - "$WORK" "$MS" "$(getconf CLK_TCK)" "$RC" <<'PY'
import csv, datetime, json, sys
work, ms, hz, rc = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
rows = list(csv.reader(open(f"{work}/soak.csv")))
header, rows = rows[0], rows[1:]
headers = sum(1 for r in rows if r == header)
times = [datetime.datetime.fromisoformat(r[0]) for r in rows]
lost = sum(1 for r in rows if not any(r[1:]))
gaps = [(b - a).total_seconds() * 1000 for a, b in zip(times, times[1:])]
span = (times[-1] - times[0]).total_seconds() * 1000
print(f"rows: {len(rows)} ({len(rows) - lost} samples, {lost} lost rows) for {span / ms + 1:.0f} poll slots; "
      f"extra headers {headers}")
print(f"  gaps > 1.5 intervals: {sum(1 for g in gaps if g > 1.5 * ms)} (largest {max(gaps):.0f} ms); "
      f"rows < 0.5 interval apart: {sum(1 for g in gaps if g < 0.5 * ms)}")
sent = [r[0] for r in rows]
got = []
for line in open(f"{work}/sub.txt"):
    try:
        got.append(json.loads(line)["time"])
    except Exception:
        pass
seen, twice = set(), 0
for t in got:
    twice += t in seen
    seen.add(t)
missing = [t for t in sent if t not in seen]
order = [t for t in got if t in set(sent)]
dedup = list(dict.fromkeys(order))
print(f"broker: {len(seen)} of {len(sent)} rows arrived, {len(missing)} missing, {twice} twice "
      f"(a broker restart may redeliver to the subscriber), in order: {dedup == [t for t in sent if t in seen]}")
if missing:
    print(f"  first missing: {missing[:5]}")
err = open(f"{work}/watch.err").read().splitlines()
count = lambda s: sum(1 for l in err if s in l)
print(f"watch stderr: {len(err)} lines; port gone {count('is gone')}, back {count('is back')}; "
      f"broker lost {count('lost;')}, connected {count('connected;')}, other {len(err) - count('is gone') - count('is back') - count('lost;') - count('connected;')}")
usage = [l.split() for l in open(f"{work}/usage.txt") if len(l.split()) == 3]
if len(usage) >= 2:
    print("t/s  cpu%  rss/kB")
    prev = None
    for t, ticks, rss in usage:
        t, ticks = int(t), int(ticks)
        if prev:
            print(f"{t:4d} {100.0 * (ticks - prev[1]) / hz / (t - prev[0]):5.1f} {rss:>7}")
        prev = (t, ticks)
bad = [why for why, failed in [
    ("a poll slot without a row", any(g > 1.5 * ms for g in gaps)),
    ("two rows in one slot", any(g < 0.5 * ms for g in gaps) or headers > 0),
    ("rows missing at the broker", bool(missing)),
    ("the watch did not end with 0", rc != 0)] if failed]
print("soak: " + ("FAILED: " + ", ".join(bad) if bad else "passed"))
sys.exit(1 if bad else 0)
PY
