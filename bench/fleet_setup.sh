# Sourced by the fleet benchmarks after they set BUILD: checks the programs,
# makes the work folder ($WORK, removed at the end with every process in
# $PIDS), starts a local mosquitto on $PORT ($BROKER) and defines cpu_us.
BUILD=$(cd "$BUILD" && pwd)
for tool in "$BUILD/korvexctl" "$BUILD/korvex-sim"; do
  [ -x "$tool" ] || { echo "missing $tool (build first)" >&2; exit 2; }
done
command -v mosquitto >/dev/null || PATH=$PATH:/usr/sbin
command -v mosquitto >/dev/null || { echo "mosquitto is needed" >&2; exit 2; }

WORK=$(mktemp -d)
PIDS=""
cleanup() {
  for p in $PIDS; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT INT TERM
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
printf 'listener %s 127.0.0.1\nallow_anonymous true\n' "$PORT" > "$WORK/mosquitto.conf"
[ "$(id -u)" -eq 0 ] && echo "user root" >> "$WORK/mosquitto.conf"
mosquitto -c "$WORK/mosquitto.conf" > "$WORK/broker.log" 2>&1 &
BROKER=$!
PIDS="$PIDS $BROKER"

# CPU time in microseconds of the given processes, all their threads
# (schedstat counts nanoseconds, unlike the 100 Hz ticks of stat).
cpu_us() { cat /dev/null $(for p in "$@"; do echo /proc/$p/task/*/schedstat; done) 2>/dev/null |
  awk '{ t += $1 } END { printf "%d\n", t / 1000 }'; }

# Starts N simulators on ptys ($SIMS; each prints its terminal in $WORK/simI.out).
start_sims() { # N
  SIMS=""
  i=0
  while [ $i -lt "$1" ]; do
    "$BUILD/korvex-sim" --pty > "$WORK/sim$i.out" 2>&1 &
    SIMS="$SIMS $!"
    i=$((i + 1))
  done
  PIDS="$PIDS $SIMS"
  sleep 2
}
