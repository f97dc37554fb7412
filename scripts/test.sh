#!/usr/bin/env bash
# Builds and runs every test: Linux natively (Debug, ASan+UBSan; the
# threading tests again with ThreadSanitizer; a short pass of every fuzz
# target), the Windows x64 executables under Wine, all on a private X
# display (the drawing tests need OpenGL: GLX on Linux, WGL under Wine), and
# on Linux the Release bundle in Ardour 7 (tests/daw, with displays of its own).
# Then the releases made from those builds are installed and removed as a
# user would: the Debian package into a root folder of its own, and (with
# both targets, since the factory presets come from the Linux build) the
# Windows installer silently in the Wine prefix.
# Usage: scripts/test.sh [linux|windows|all]
set -uo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
CACHE=${KORVEL_CACHE:-$HOME/.cache/korvel}
TARGETS=${1:-all}
case "$TARGETS" in linux|windows|all) ;; *) echo "usage: $0 [linux|windows|all]" >&2; exit 2;; esac

"$ROOT/scripts/bootstrap.sh" || exit 1
cd "$ROOT"

presets=()
[ "$TARGETS" != windows ] && presets+=(linux-debug linux-tsan linux-fuzz)
[ "$TARGETS" != linux ] && presets+=(windows)

for p in "${presets[@]}"; do
  cmake --preset "$p" >/dev/null || { echo "test: configuring $p failed" >&2; exit 1; }
  cmake --build --preset "$p" || { echo "test: building $p failed" >&2; exit 1; }
  rm -rf "build/$p/test-results"; mkdir -p "build/$p/test-results"
done

# The checks in Ardour use the Release bundle and tools (preset linux).
DAW_TARGETS=(KORVEL korvel-render korvel-snapshot korvel-demo-audio)
if [ "$TARGETS" != windows ]; then
  cmake --preset linux >/dev/null || { echo "test: configuring linux failed" >&2; exit 1; }
  cmake --build --preset linux --target "${DAW_TARGETS[@]}" \
    || { echo "test: building the Release bundle for the checks in Ardour failed" >&2; exit 1; }
  rm -rf build/daw; mkdir -p build/daw/test-results
fi

XVFB_PID=""
cleanup() {
  if [ -n "$XVFB_PID" ]; then
    [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null
    kill "$XVFB_PID" 2>/dev/null; wait "$XVFB_PID" 2>/dev/null
  fi
}
trap cleanup EXIT

start_display() {
  local n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -noreset -screen 0 1920x1080x24 >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  kill -0 "$XVFB_PID" 2>/dev/null || { echo "test: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$n"
}

# Both targets draw with OpenGL in their tests: GLX on Linux, WGL under Wine.
if [[ " ${presets[*]} " == *" windows "* ]]; then
  export WINEPREFIX="${KORVEL_WINEPREFIX:-$CACHE/wineprefix}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # A wineserver left from an earlier run may know another display.
  wineserver -k 2>/dev/null
fi
start_display
if [[ " ${presets[*]} " == *" windows "* ]]; then
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "test: creating the Wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1; wineserver -w
  fi
fi

status=0
for p in "${presets[@]}"; do
  echo "== ctest $p"
  ctest --preset "$p" --output-junit "$ROOT/build/$p/test-results/ctest.xml" || status=1
done

install_parts=()
[ "$TARGETS" != windows ] && install_parts+=(deb)
[ "$TARGETS" = all ] && install_parts+=(windows)
for part in "${install_parts[@]}"; do
  echo "== install checks: $part"
  rm -rf "build/install-$part"
  /usr/bin/python3 tests/install/install_test.py "$part" "build/install-$part" || status=1
done

results=("${presets[@]/#/$ROOT/build/}" "${install_parts[@]/#/$ROOT/build/install-}")
if [ "$TARGETS" != windows ]; then
  echo "== DAW checks (Ardour 7)"
  /usr/bin/python3 tests/daw/run_daw_checks.py build/linux build/daw/work \
    --report build/daw/test-results/ctest.xml || status=1
  results+=("$ROOT/build/daw")
fi

python3 "$ROOT/scripts/test_summary.py" "${results[@]}" || status=1
exit $status
