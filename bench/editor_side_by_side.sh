#!/usr/bin/env bash
# KORVEL's editor next to ZamCompX2's (Debian zam-plugins), each loaded through
# its factory by korvel-editor-bench and attached to an X window on a private
# Xvfb display (Mesa's software OpenGL) with a host run loop. Interleaved
# rounds, a fresh process for every measurement; medians of the rounds.
#
#   openings   the first opening in a process, and the median of 5 later
#              openings in the same process, at content scale 1 and 2: from
#              the call of attached() until the first frame's glXSwapBuffers
#              has returned (the bench counts both plug-ins' swaps the same way)
#   CPU        the whole process's CPU (% of one core) over CPU_SECONDS while
#              the host processes audio at real-time pace (none, silence, a
#              steady tone, a tone whose level swings so the meters move), with
#              the editor open and closed, and the frames presented per second
#   meter frames  korvel-gfx-bench: CPU per frame in which only the meters move
#              (copying the whole frame to the window, or only the meters)
#              against a frame that draws nothing but still presents (whole);
#              the ratio is that of the meters-only copy
#   memory     resident set: closed, open at scale 1 and 2, after 100 openings
#
# Usage: bench/editor_side_by_side.sh [BIN_DIR] [ROUNDS]
#   BIN_DIR  holds korvel-editor-bench and korvel-gfx-bench (default: the Linux
#            Release build, build/linux/bin/Release)
#   ROUNDS   interleaved rounds (default 5)
# Environment: KORVEL_BUNDLE (default build/linux/KORVEL.vst3), KORVEL_BEFORE
# (another KORVEL bundle, e.g. an older build, measured in the same rounds as a
# third column), ZAMCOMPX2
# (default /usr/lib/vst3/ZamCompX2.vst3), CPU_SECONDS (default 10),
# CPU_ROUNDS (default 3), EDITOR_BENCH_DISPLAY (default :67), PARTS (default
# "open cpu frames memory").
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=${1:-$ROOT/build/linux/bin/Release}
ROUNDS=${2:-5}
KORVEL=${KORVEL_BUNDLE:-$ROOT/build/linux/KORVEL.vst3}
ZAM=${ZAMCOMPX2:-/usr/lib/vst3/ZamCompX2.vst3}
CPU_SECONDS=${CPU_SECONDS:-10}
CPU_ROUNDS=${CPU_ROUNDS:-3}
PARTS=${PARTS:-open cpu frames memory}
DISPLAY_NUMBER=${EDITOR_BENCH_DISPLAY:-:67}
BENCH=$BIN/korvel-editor-bench
GFXBENCH=$BIN/korvel-gfx-bench

die() { echo "editor_side_by_side: $*" >&2; exit 1; }
[ -x "$BENCH" ] || die "$BENCH is missing: cmake --preset linux && cmake --build --preset linux"
[ -d "$KORVEL" ] || die "$KORVEL is missing: cmake --build --preset linux"
[ -d "$ZAM" ] || die "$ZAM is missing: apt-get install zam-plugins"
[[ "$ROUNDS" =~ ^[1-9][0-9]*$ ]] || die "ROUNDS must be a positive number"
command -v Xvfb >/dev/null || die "Xvfb is missing: apt-get install xvfb"

WORK=$(mktemp -d)
Xvfb "$DISPLAY_NUMBER" -screen 0 2560x1600x24 -noreset -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
XVFB=$!
trap 'kill $XVFB 2>/dev/null || true; rm -rf "$WORK"' EXIT
export DISPLAY=$DISPLAY_NUMBER
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || die "Xvfb did not start on $DISPLAY_NUMBER"

declare -A BUNDLE=([zam]=$ZAM [korvel]=$KORVEL)
declare -A TITLE=([zam]=ZamCompX2 [korvel]=KORVEL [before]="KORVEL before")
PLUGINS=(zam korvel)
if [ -n "${KORVEL_BEFORE:-}" ]; then
  [ -d "$KORVEL_BEFORE" ] || die "$KORVEL_BEFORE is missing"
  BUNDLE[before]=$KORVEL_BEFORE
  PLUGINS+=(before)
fi
# header TITLE...: the first column's width, then one column per plug-in and its ratio to ZamCompX2.
header() {
  printf '%-34s' "$1"
  for p in "${PLUGINS[@]}"; do
    printf ' %13s' "${TITLE[$p]}"
    [ "$p" != zam ] && printf ' %7s' "x Zam"
  done
  echo
}
# row LABEL KEY: the median of KEY for each plug-in, with the ratios.
row() {
  local z v
  z=$(median "zam.$2")
  printf '%-34s' "$1"
  for p in "${PLUGINS[@]}"; do
    v=$(median "$p.$2")
    printf ' %13.2f' "$v"
    [ "$p" != zam ] && printf ' %7s' "$(ratio "$v" "$z")"
  done
  echo
}

# record KEY VALUE: one more sample of a figure.
record() { echo "$2" >>"$WORK/$1"; }
median() {
  [ -s "$WORK/$1" ] || { echo nan; return; }
  sort -g "$WORK/$1" | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
field() { awk -v k="$2" '{ for (i = 1; i < NF; ++i) if ($i == k) print $(i + 1) }' <<<"$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b + 0 == 0) print "-"; else printf "%.2f", a / b }'; }

run_openings() {
  local p=$1 scale=$2 out
  out=$("$BENCH" open --plugin "${BUNDLE[$p]}" --scale "$scale" --reopen 5) || die "open $p scale $scale failed"
  record "$p.first.$scale" "$(grep '^first ' <<<"$out" | awk '{ print $5 }')"
  record "$p.first_attached.$scale" "$(grep '^first ' <<<"$out" | awk '{ print $3 }')"
  record "$p.first_cpu.$scale" "$(grep '^first ' <<<"$out" | awk '{ print $7 }')"
  local reopen
  reopen=$(grep '^reopen ' <<<"$out" | awk '{ print $5 }' | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
  record "$p.reopen.$scale" "$reopen"
  reopen=$(grep '^reopen ' <<<"$out" | awk '{ print $7 }' | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
  record "$p.reopen_cpu.$scale" "$reopen"
}

CPU_CASES=("none editor" "silence editor" "silence closed" "steady editor" "steady closed" "moving editor" "moving closed")
run_cpu() {
  local p=$1 audio=$2 editor=$3 out args=()
  [ "$editor" = editor ] && args+=(--editor)
  out=$("$BENCH" cpu --plugin "${BUNDLE[$p]}" --audio "$audio" --seconds "$CPU_SECONDS" "${args[@]}") ||
    die "cpu $p $audio $editor failed"
  record "$p.cpu.$audio.$editor" "$(field "$out" cpu_pct)"
  record "$p.fps.$audio.$editor" "$(field "$out" frames_per_s)"
}

if [[ " $PARTS " == *" open "* ]]; then
  for ((round = 1; round <= ROUNDS; round++)); do
    for scale in 1 2; do
      for p in "${PLUGINS[@]}"; do run_openings "$p" "$scale"; done
    done
  done
  echo "Opening the editor: ms from attached() until the first frame is presented"
  echo "(median of $ROUNDS interleaved rounds, each a fresh process; later = median of 5 reopenings per process)"
  header ""
  for scale in 1 2; do
    row "first opening, scale $scale" "first.$scale"
    row "later openings, scale $scale" "reopen.$scale"
    row "  in attached(), first" "first_attached.$scale"
    row "  process CPU ms, first" "first_cpu.$scale"
    row "  process CPU ms, later" "reopen_cpu.$scale"
  done
  echo
fi

if [[ " $PARTS " == *" cpu "* ]]; then
  for ((round = 1; round <= CPU_ROUNDS; round++)); do
    for c in "${CPU_CASES[@]}"; do
      for p in "${PLUGINS[@]}"; do run_cpu "$p" $c; done
    done
  done
  echo "Process CPU, % of one core over $CPU_SECONDS s (median of $CPU_ROUNDS interleaved rounds); fps: frames presented per second"
  header ""
  for c in "${CPU_CASES[@]}"; do
    read -r audio editor <<<"$c"
    row "$audio, editor ${editor/editor/open}" "cpu.$audio.$editor"
    [ "$editor" = editor ] && row "  fps" "fps.$audio.$editor"
  done
  for p in "${PLUGINS[@]}"; do
    [ "$p" = zam ] && continue
    for audio in silence steady moving; do
      printf '%-14s open with %-8s x its processing alone: %s\n' "${TITLE[$p]}" "$audio" \
        "$(ratio "$(median "$p.cpu.$audio.editor")" "$(median "$p.cpu.$audio.closed")")"
    done
  done
  # What a frame costs while the meters move: the editor's extra CPU over the frames it presented.
  for p in "${PLUGINS[@]}"; do
    awk -v name="${TITLE[$p]}" -v open="$(median "$p.cpu.moving.editor")" -v shut="$(median "$p.cpu.moving.closed")" \
      -v fps="$(median "$p.fps.moving.editor")" \
      'BEGIN { if (fps > 0) printf "%-14s CPU per presented frame while the meters move: %.2f ms\n", name, (open - shut) * 10 / fps }'
  done
  echo
fi

if [[ " $PARTS " == *" frames "* ]] && [ -x "$GFXBENCH" ]; then
  echo "Meter frames (korvel-gfx-bench, KORVEL's panel on llvmpipe, process CPU ms per frame)"
  "$GFXBENCH" --benchmark_filter='MetersOnly|PresentOnly' --benchmark_repetitions="$ROUNDS" \
    --benchmark_format=json >"$WORK/frames.json" 2>/dev/null || die "korvel-gfx-bench failed"
  python3 - "$WORK/frames.json" <<'PY'
import json, statistics, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
def cpu(name):
    values = [r["cpu_ms"] for r in runs if r.get("run_type") == "iteration" and r["run_name"] == name]
    return statistics.median(values) if values else float("nan")
print("%-8s %20s %20s %14s %9s" % ("scale", "meters, whole copy", "meters, only them", "present only", "ratio"))
for scale in (1, 2):
    w, m = cpu("MetersOnly/%d/0/real_time" % scale), cpu("MetersOnly/%d/1/real_time" % scale)
    e = cpu("PresentOnly/%d/real_time" % scale)
    print("%-8d %20.2f %20.2f %14.2f %9.2f" % (scale, w, m, e, m / e))
PY
  echo
fi

if [[ " $PARTS " == *" memory "* ]]; then
  echo "Resident set, MiB (a process per plug-in and scale; 100 openings of 0.1 s each at scale 1)"
  printf '%-14s %9s %14s %14s %20s\n' "" "closed" "open, scale 1" "open, scale 2" "after 100 openings"
  for p in "${PLUGINS[@]}"; do
    one=$("$BENCH" open --plugin "${BUNDLE[$p]}" --scale 1 --reopen 99) || die "memory $p failed"
    two=$("$BENCH" open --plugin "${BUNDLE[$p]}" --scale 2) || die "memory $p failed"
    awk -v name="${TITLE[$p]}" -v c="$(field "$one" rss_closed_kib)" -v o="$(field "$one" rss_open_kib)" \
      -v t="$(field "$two" rss_open_kib)" -v a="$(field "$one" rss_after_kib)" \
      'BEGIN { printf "%-14s %9.1f %14.1f %14.1f %20.1f\n", name, c / 1024, o / 1024, t / 1024, a / 1024 }'
  done
fi
