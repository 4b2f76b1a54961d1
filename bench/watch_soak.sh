#!/bin/sh
# Soak: one `korvexctl watch --csv --mqtt` left alone while everything around
# it fails on a schedule:
#   every 20 s  the simulated laser is killed and started again on the same
#               path (korvex-sim --link);
#   every 30 s  it is re-created on a new pty and the stable link is pointed
#               there (as udev does after a re-enumeration);
#   every 45 s  the broker is restarted (persistent, so a subscriber with a
#               session of its own misses nothing).
# Beside the watch runs the main window (bench/korvex-soak-window, offscreen)
# with "断线自动重连" on. Two programs cannot hold one serial port (the second
# is refused by the first one's lock file), so the window has a simulator of
# its own on a stable link of its own, killed, restarted and re-created on the
# same schedule and at the same moments as the watch's: both see the same
# losses, each on its own port.
#   bench/watch_soak.sh [BUILD_DIR] [SECONDS] [INTERVAL_MS]   (default build 180 500)
# Reports: CSV rows against poll slots (every slot exactly one row, a sample or
# a lost row; gaps and doubles counted), samples that reached the broker
# (missing, twice, out of order), the watch's stderr lines (port gone/back,
# broker lost/connected), and its CPU time and memory every 10 s; for the
# window, the losses caused, its "lost" and "back" log lines, and its CPU time
# and memory. Exits 1 when a slot has no row or two, a row never reached the
# broker, the watch did not end with 0 (a sample twice is reported only: QoS 1
# may repeat one across a broker restart), or the window did not log each loss
# and come back after it (the last loss may still be pending when it was caused
# in the last 5 s).
set -eu
BUILD=${1:-build}
SECS=${2:-180}
MS=${3:-500}
BUILD=$(cd "$BUILD" && pwd)
for tool in "$BUILD/korvexctl" "$BUILD/korvex-sim" "$BUILD/bench/korvex-soak-window"; do
  [ -x "$tool" ] || { echo "missing $tool (build first)" >&2; exit 2; }
done
command -v mosquitto >/dev/null || PATH=$PATH:/usr/sbin
command -v mosquitto >/dev/null && command -v mosquitto_sub >/dev/null || { echo "mosquitto and mosquitto-clients are needed" >&2; exit 2; }

WORK=$(mktemp -d)
SIM="" WSIM="" BROKER="" WATCH="" WINDOW="" SUB=""
cleanup() {
  for p in $WATCH $WINDOW $SUB $SIM $WSIM $BROKER; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -n "${KEEP:-}" ] && echo "kept $WORK" || rm -rf "$WORK"
}
trap cleanup EXIT INT TERM
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence true\npersistence_location %s/\n' "$PORT" "$WORK" > "$WORK/mosquitto.conf"
[ "$(id -u)" -eq 0 ] && echo "user root" >> "$WORK/mosquitto.conf"
LINK="$WORK/laser"
WLINK="$WORK/window-laser"

start_broker() {
  mosquitto -c "$WORK/mosquitto.conf" >> "$WORK/broker.log" 2>&1 &
  BROKER=$!
  i=0; while ! python3 -c "import socket; socket.create_connection(('127.0.0.1',$PORT),1)" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i+1)); done
}
stop_broker() { kill "$BROKER"; wait "$BROKER" 2>/dev/null || true; }
# A simulator on a stable link $1 (made by itself, or by us on a new pty);
# each sets NEW to the new simulator's process.
start_sim_on_link() {
  "$BUILD/korvex-sim" --pty --link "$1" > /dev/null 2>&1 &
  NEW=$!
  i=0; while [ ! -e "$1" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i+1)); done
}
SIMS=0
recreate_behind_link() { # OLD-PID LINK
  SIMS=$((SIMS + 1))
  out="$WORK/sim-$SIMS.out"
  "$BUILD/korvex-sim" --pty > "$out" 2>/dev/null &
  NEW=$!
  i=0; while [ ! -s "$out" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i+1)); done
  kill -9 "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true
  pty=$(head -n 1 "$out")
  [ -n "$pty" ] && ln -sfn "$pty" "$2" || echo "soak: korvex-sim printed no terminal at $t s"
}
kill_and_restart_sim() { # OLD-PID LINK
  kill -9 "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true
  rm -f "$2"
  start_sim_on_link "$2"
}
# CPU ticks (user+system, all threads) and resident memory of process $1.
usage_of() {
  awk -v t=$t '{ print t, $14 + $15 }' "/proc/$1/stat" | tr '\n' ' '
  awk '/^VmRSS/ { print $2 }' "/proc/$1/status"
}

start_broker
# A subscriber with a session of its own (QoS 1, not clean): what is published
# while it reconnects after a broker restart is kept for it.
mosquitto_sub -h 127.0.0.1 -p "$PORT" -i soak-sub -c -q 1 -t 'korvex/SOAK/status' > "$WORK/sub.txt" 2>"$WORK/sub.err" &
SUB=$!
sleep 1
start_sim_on_link "$LINK"; SIM=$NEW
start_sim_on_link "$WLINK"; WSIM=$NEW
# Its own settings file: the soak neither reads nor changes the operator's.
XDG_CONFIG_HOME="$WORK/config" "$BUILD/bench/korvex-soak-window" "$WLINK" > "$WORK/window.log" 2> "$WORK/window.err" &
WINDOW=$!
"$BUILD/korvexctl" --port "$LINK" watch --interval "$MS" --csv "$WORK/soak.csv" \
  --mqtt "127.0.0.1:$PORT" --mqtt-id SOAK > /dev/null 2> "$WORK/watch.err" &
WATCH=$!

echo "soak: $SECS s, poll every $MS ms, work dir $WORK"
: > "$WORK/usage.txt"
: > "$WORK/window-usage.txt"
t=0 LOSSES=0 LAST_LOSS=0
while [ $t -lt "$SECS" ]; do
  sleep 1
  t=$((t + 1))
  kill -0 "$WATCH" 2>/dev/null || { echo "soak: the watch ended at $t s"; break; }
  kill -0 "$WINDOW" 2>/dev/null || { echo "soak: the window ended at $t s"; break; }
  if [ $((t % 30)) -eq 0 ]; then
    recreate_behind_link "$SIM" "$LINK"; SIM=$NEW
    recreate_behind_link "$WSIM" "$WLINK"; WSIM=$NEW
  elif [ $((t % 20)) -eq 0 ]; then
    kill_and_restart_sim "$SIM" "$LINK"; SIM=$NEW
    kill_and_restart_sim "$WSIM" "$WLINK"; WSIM=$NEW
  fi
  if [ $((t % 20)) -eq 0 ] || [ $((t % 30)) -eq 0 ]; then LOSSES=$((LOSSES + 1)) LAST_LOSS=$t; fi
  # No broker restart in the last 15 s: the watch must have time to hand
  # over what it queued while the broker was away before it is stopped.
  if [ $((t % 45)) -eq 0 ] && [ $((SECS - t)) -ge 15 ]; then stop_broker; sleep 1; start_broker; fi
  # CPU ticks (user+system, all threads) and resident memory every 10 s.
  if [ $((t % 10)) -eq 0 ]; then
    usage_of "$WATCH" >> "$WORK/usage.txt"
    usage_of "$WINDOW" >> "$WORK/window-usage.txt"
  fi
done
kill -INT "$WATCH"
wait "$WATCH" && RC=0 || RC=$?
WATCH=""
sleep 3
kill "$SUB" 2>/dev/null || true; wait "$SUB" 2>/dev/null || true
SUB=""
# The window had the same 3 s to come back after the last loss.
kill -TERM "$WINDOW"; wait "$WINDOW" 2>/dev/null || true
WINDOW=""

echo "soak: watch exit code $RC"
python3 - "$WORK" "$MS" "$(getconf CLK_TCK)" "$RC" "$LOSSES" "$((t - LAST_LOSS))" <<'PY'
import csv, datetime, json, sys
work, ms, hz, rc = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
losses, since_last_loss = int(sys.argv[5]), int(sys.argv[6])
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
def print_usage(name):
    usage = [l.split() for l in open(f"{work}/{name}") if len(l.split()) == 3]
    if len(usage) < 2:
        return
    print("t/s  cpu%  rss/kB")
    prev = None
    for t, ticks, rss in usage:
        t, ticks = int(t), int(ticks)
        if prev:
            print(f"{t:4d} {100.0 * (ticks - prev[1]) / hz / (t - prev[0]):5.1f} {rss:>7}")
        prev = (t, ticks)
print_usage("usage.txt")
log = open(f"{work}/window.log", encoding="utf-8").read().splitlines()
gone = sum(1 for l in log if l.endswith("设备丢失，串口已关闭，等待重新连接"))
back = sum(1 for l in log if l.endswith("设备已恢复，串口已重新打开"))
# The last loss may still be waited for when it was caused in the last 5 s.
pending = 1 if since_last_loss <= 5 else 0
window_ok = gone >= losses - pending and back >= losses - pending and gone <= losses and back <= gone
print(f"window: {losses} losses caused, {gone} lost lines, {back} back lines, {len(log)} log lines "
      f"in all (last loss {since_last_loss} s before the end)")
# How long each loss was waited for: a "lost" line to the "back" line after it.
waits, lost_at = [], None
for l in log:
    at = datetime.datetime.fromisoformat(l.split("\t")[0])
    if l.endswith("等待重新连接"):
        lost_at = at
    elif l.endswith("已重新打开") and lost_at:
        waits.append((at - lost_at).total_seconds() * 1000)
        lost_at = None
if waits:
    print(f"  lost to back: {min(waits):.0f}-{max(waits):.0f} ms, median {sorted(waits)[len(waits) // 2]:.0f} ms")
print_usage("window-usage.txt")
bad = [why for why, failed in [
    ("a poll slot without a row", any(g > 1.5 * ms for g in gaps)),
    ("two rows in one slot", any(g < 0.5 * ms for g in gaps) or headers > 0),
    ("rows missing at the broker", bool(missing)),
    ("the watch did not end with 0", rc != 0),
    ("the window did not log each loss and come back after it", not window_ok)] if failed]
print("soak: " + ("FAILED: " + ", ".join(bad) if bad else "passed"))
sys.exit(1 if bad else 0)
PY
