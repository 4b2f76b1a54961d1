#!/bin/sh
# Builds the Debian package with scripts/package in its own folder and
# checks it as a technician's machine would see it:
#   - dpkg-deb -c lists every program, the desktop entry, the icons and the
#     manual pages;
#   - lintian reports no errors (its warnings are printed);
#   - desktop-file-validate accepts the desktop entry;
#   - extracted into a temporary root (dpkg-deb -x), the programs print the
#     project's version, korvex-sim --help works and korvexctl status reads
#     the extracted korvex-sim on a pseudo-terminal.
#   package_check.sh SOURCE_DIR BUILD_DIR VERSION "PROGRAMS" "MANPAGES"
set -u
SRC=$1 BUILD=$2 VERSION=$3 PROGRAMS=$4 MANPAGES=$5
FAILED=0
fail() { echo "package_check: FAIL: $*"; FAILED=1; }
for tool in dpkg-deb lintian desktop-file-validate help2man; do
  command -v "$tool" >/dev/null || { echo "package_check: FAIL: $tool is missing (scripts/install-deps)"; exit 1; }
done

"$SRC/scripts/package" --build-dir "$BUILD" > "$BUILD.log" 2>&1 ||
  { tail -n 40 "$BUILD.log"; echo "package_check: FAIL: scripts/package failed (log: $BUILD.log)"; exit 1; }
DEB=$(tail -n 1 "$BUILD.log")
[ -f "$DEB" ] || { echo "package_check: FAIL: no package ($DEB)"; exit 1; }
echo "package_check: $DEB, $(stat -c %s "$DEB") bytes"
dpkg-deb -f "$DEB" Package Version Architecture Depends Recommends Installed-Size

case "$(basename "$DEB")" in
  "korvex_${VERSION}_$(dpkg --print-architecture).deb") ;;
  *) fail "package named $(basename "$DEB"), not korvex_${VERSION}_$(dpkg --print-architecture).deb" ;;
esac

# Contents.
LIST=$(dpkg-deb -c "$DEB" | awk '{ print $NF }')
expect() { echo "$LIST" | grep -qx "\./$1" || fail "the package lacks /$1"; }
for p in $PROGRAMS; do expect "usr/bin/$p"; done
for m in $MANPAGES; do expect "usr/share/man/man1/$m.1.gz"; done
expect usr/share/applications/korvex.desktop
for size in 16 22 24 32 48 64 128 256 512; do
  expect "usr/share/icons/hicolor/${size}x${size}/apps/korvex.png"
done
expect usr/share/doc/korvex/copyright
expect usr/share/doc/korvex/changelog.gz
expect "usr/lib/systemd/system/korvex-watch@.service"
expect usr/share/doc/korvex/examples/korvex-alerts.yml

# Lintian: errors fail, warnings are listed.
echo "package_check: lintian:"
lintian --tag-display-limit 0 --display-info "$DEB" > "$BUILD/lintian.txt" 2>&1
cat "$BUILD/lintian.txt"
grep -q '^E: ' "$BUILD/lintian.txt" && fail "lintian reports errors"

# The package's files, extracted.
ROOT=$(mktemp -d)
SIM_PID=""
trap '[ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null; rm -rf "$ROOT"' EXIT
dpkg-deb -x "$DEB" "$ROOT"
desktop-file-validate "$ROOT/usr/share/applications/korvex.desktop" || fail "desktop-file-validate"

# Manual pages: made from each program's --help (korvex's by hand).
for m in $MANPAGES; do
  page="$ROOT/usr/share/man/man1/$m.1.gz"
  [ -f "$page" ] || continue
  zcat "$page" | grep -q "^\.TH \"\?$(echo "$m" | tr a-z A-Z)" || fail "$m.1 has no title"
  if [ "$m" = korvex ]; then
    zcat "$page" | grep -q dialout || fail "korvex.1 does not say how to get the serial port (dialout)"
  else
    zcat "$page" | grep -q -- '\\-\\-help' || fail "$m.1 does not show the options of $m --help"
  fi
done

# The same install rules into any prefix.
cmake --install "$BUILD" --prefix "$ROOT/prefix" > /dev/null || fail "cmake --install --prefix"
for p in $PROGRAMS; do [ -x "$ROOT/prefix/bin/$p" ] || fail "cmake --install put no bin/$p"; done
[ -f "$ROOT/prefix/share/applications/korvex.desktop" ] || fail "cmake --install put no desktop entry"

for p in $PROGRAMS; do
  [ "$p" = korvex ] && continue # the window program reads no option
  out=$(QT_QPA_PLATFORM=offscreen "$ROOT/usr/bin/$p" --version 2>&1) || fail "$p --version exits with $?"
  echo "$out" | grep -q "$VERSION" || fail "$p --version printed '$out', not $VERSION"
done
"$ROOT/usr/bin/korvex-sim" --help | grep -q -- "--pty" || fail "korvex-sim --help"

# korvexctl against the extracted simulator.
if echo " $PROGRAMS " | grep -q " korvexctl "; then
  "$ROOT/usr/bin/korvex-sim" --pty > "$ROOT/sim.out" &
  SIM_PID=$!
  i=0
  while [ ! -s "$ROOT/sim.out" ] && [ "$i" -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  PTY=$(head -n 1 "$ROOT/sim.out")
  if [ -c "$PTY" ]; then
    status=$("$ROOT/usr/bin/korvexctl" --port "$PTY" status 2>&1) || fail "korvexctl status exits with $?: $status"
    echo "$status"
    echo "$status" | grep -q "1\.5" || fail "korvexctl status shows no firmware 1.5"
  else
    fail "the extracted korvex-sim announced no terminal"
  fi
  kill "$SIM_PID"; wait "$SIM_PID" 2>/dev/null; SIM_PID=""
fi

[ "$FAILED" -eq 0 ] && echo "package_check: PASS"
exit "$FAILED"
