#!/bin/sh
# Throughput of korvex-ymodem against lrzsz on a paced line.
#   bench/run_throughput.sh [BUILD_DIR] [BAUD ...]
# For each baud rate (default 115200 921600) one 256 KiB file goes
#   sb -k -> rb (lrzsz on both ends, the reference),
#   korvex-ymodem send -> rb, sb -k -> korvex-ymodem receive,
#   korvex-ymodem send -> korvex-ymodem receive
# through korvex-pacer (10 bits per byte; an idle line banks no time). Each
# run is reported as payload bytes/s, its share of the line limit (baud/10)
# and its ratio to sb -> rb. The time is the whole transfer, handshake and
# end included. The goal for korvex-ymodem: at least 95 % of the line at
# 115200 baud and 90 % at 921600, in both directions. rb itself does not keep
# up at high rates, so the sending side is judged by send -> receive.
set -eu
BUILD=${1:-build}
[ $# -gt 0 ] && shift
BAUDS=${*:-115200 921600}
BUILD=$(cd "$BUILD" && pwd)
PACER=$BUILD/bench/korvex-pacer
YM=$BUILD/korvex-ymodem
for tool in "$PACER" "$YM"; do
  [ -x "$tool" ] || { echo "missing $tool (build first)" >&2; exit 2; }
done
command -v sb >/dev/null && command -v rb >/dev/null || { echo "lrzsz (sb, rb) is needed" >&2; exit 2; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
SIZE=262144
mkdir -p "$WORK/src"
head -c $SIZE /dev/urandom > "$WORK/src/payload.bin"

now() { date +%s.%N; }
wait_for() { i=0; while [ ! -e "$1" ] && [ $i -lt 100 ]; do sleep 0.05; i=$((i+1)); done; }
check() { cmp -s "$WORK/src/payload.bin" "$1/payload.bin" || { echo "MISMATCH in $1" >&2; exit 1; }; }
report() { # name seconds baud reference-seconds
  awk -v n="$1" -v s="$2" -v b="$3" -v r="$4" -v size=$SIZE 'BEGIN {
    rate = size / s; limit = b / 10;
    line = sprintf("%-30s %7d baud %8.2f s %9.0f B/s %5.1f%% of line", n, b, s, rate, 100 * rate / limit);
    if (r > 0) line = line sprintf("  x%.2f of sb->rb", r / s);
    print line }'
}

for BAUD in $BAUDS; do
  # Reference: lrzsz on both ends.
  rm -rf "$WORK/ref" && mkdir "$WORK/ref"
  t0=$(now)
  "$PACER" --baud "$BAUD" "exec:cd '$WORK/src' && sb --ymodem -k -q payload.bin" \
           "exec:cd '$WORK/ref' && rb --ymodem -q" || true
  t1=$(now)
  check "$WORK/ref"
  REF=$(echo "$t1 - $t0" | bc -l)

  # korvex-ymodem send -> rb
  rm -rf "$WORK/rb" && mkdir "$WORK/rb"
  "$PACER" --baud "$BAUD" "pty:$WORK/port1" "exec:cd '$WORK/rb' && rb --ymodem -q" &
  PID=$!
  wait_for "$WORK/port1"
  t0=$(now)
  "$YM" send --port "$WORK/port1" --baud "$BAUD" "$WORK/src/payload.bin" 2>/dev/null
  t1=$(now)
  wait $PID || true
  check "$WORK/rb"
  SEND=$(echo "$t1 - $t0" | bc -l)

  # sb -> korvex-ymodem receive
  rm -rf "$WORK/rx" && mkdir "$WORK/rx"
  "$PACER" --baud "$BAUD" "pty:$WORK/port2" "exec:sleep 0.3; cd '$WORK/src' && sb --ymodem -k -q payload.bin" &
  PID=$!
  wait_for "$WORK/port2"
  t0=$(now)
  "$YM" receive --port "$WORK/port2" --baud "$BAUD" "$WORK/rx" 2>/dev/null
  t1=$(now)
  wait $PID || true
  check "$WORK/rx"
  RECV=$(echo "$t1 - $t0 - 0.3" | bc -l)

  # korvex-ymodem send -> korvex-ymodem receive
  rm -rf "$WORK/kk" && mkdir "$WORK/kk"
  "$PACER" --baud "$BAUD" "pty:$WORK/port3" "pty:$WORK/port4" &
  PID=$!
  wait_for "$WORK/port3"
  wait_for "$WORK/port4"
  # The sender listens first (it drops what came before it opened the port),
  # the time runs from the receiver's first "C" to the sender's end.
  "$YM" send --port "$WORK/port3" --baud "$BAUD" "$WORK/src/payload.bin" 2>/dev/null &
  SPID=$!
  sleep 0.3
  t0=$(now)
  "$YM" receive --port "$WORK/port4" --baud "$BAUD" "$WORK/kk" 2>/dev/null &
  RPID=$!
  wait $SPID || true
  t1=$(now)
  wait $RPID || true
  kill $PID 2>/dev/null || true
  wait $PID 2>/dev/null || true
  check "$WORK/kk"
  BOTH=$(echo "$t1 - $t0" | bc -l)

  report "sb -k -> rb (reference)" "$REF" "$BAUD" 0
  report "korvex-ymodem send -> rb" "$SEND" "$BAUD" "$REF"
  report "sb -k -> korvex-ymodem receive" "$RECV" "$BAUD" "$REF"
  report "korvex-ymodem send -> receive" "$BOTH" "$BAUD" "$REF"
done
