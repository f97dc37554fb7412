#!/usr/bin/env bash
# Times KORVEL's configurations next to ZamCompX2 (Debian zam-plugins,
# threshold -24 dB, ratio 4) on the same 60 s stereo 48 kHz music-like file,
# in one run: korvel-render --time measures the CPU time spent in process;
# several interleaved rounds, the fastest of each (the machine may be shared,
# and the fastest round is the one least disturbed). Prints each time, its
# ratio to ZamCompX2 and the real-time factor, then, for every KORVEL
# configuration, a file of silence after a loud one-second burst against
# digital silence (a denormal penalty would show there).
#
# Usage: bench/side_by_side.sh [BUILD_BIN_DIR] [ROUNDS]
#   BUILD_BIN_DIR  holds korvel-render and korvel-bench-audio (default: the
#                  Linux Release build, build/linux/bin/Release)
#   ROUNDS         interleaved rounds (default 5)
# The ZamCompX2 bundle is $ZAMCOMPX2 (default /usr/lib/vst3/ZamCompX2.vst3).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=${1:-$ROOT/build/linux/bin/Release}
ROUNDS=${2:-5}
ZAM=${ZAMCOMPX2:-/usr/lib/vst3/ZamCompX2.vst3}
RENDER=$BIN/korvel-render
AUDIO=$BIN/korvel-bench-audio

die() { echo "side_by_side: $*" >&2; exit 1; }
[ -x "$RENDER" ] || die "$RENDER is missing: cmake --preset linux && cmake --build --preset linux"
[ -x "$AUDIO" ] || die "$AUDIO is missing: cmake --build --preset linux"
[ -d "$ZAM" ] || die "$ZAM is missing: apt-get install zam-plugins"
[[ "$ROUNDS" =~ ^[1-9][0-9]*$ ]] || die "ROUNDS must be a positive number"

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
"$AUDIO" music "$WORK/music.wav" 60
"$AUDIO" burst "$WORK/burst.wav" 60
"$AUDIO" silence "$WORK/silence.wav" 60

# name | plug-in (empty: KORVEL) | side-chain (the same file) | korvel-render
# options. KORVEL's stage threshold -24 dB is the knob at -4.4 dB (the knob's
# -20..10 dB maps to -50..0 dB in the stage).
CONFIGS=(
  "ZamCompX2 thr -24 dB, ratio 4|$ZAM||--param 7=-24 --param 6=4"
  "KORVEL defaults|||"
  "KORVEL Int VCA, thr -24 dB|||--param 16=1 --param 0=-4.4"
  "KORVEL both stages, all modes, ext SC, 2x OS||sc|--param 16=1 --param 17=1 --param 18=1 --param 19=1 --param 20=1 --param 21=1 --param 15=1 --param 24=1 --param 0=-4.4 --param 1=-4.4"
)

# cpu_seconds INPUT PLUGIN SIDECHAIN OPTIONS...
cpu_seconds() {
  local input=$1 plugin=$2 sidechain=$3; shift 3
  local args=(--in "$WORK/$input.wav" --out "$WORK/out.wav" --time)
  [ -n "$sidechain" ] && args+=(--sidechain "$WORK/$input.wav")
  [ -n "$plugin" ] && args+=(--plugin "$plugin")
  "$RENDER" "${args[@]}" "$@" 2>&1 | sed -n 's/^process: \([0-9.]*\) s CPU.*/\1/p'
}

declare -A best
for ((round = 1; round <= ROUNDS; round++)); do
  for input in music burst silence; do
    for i in "${!CONFIGS[@]}"; do
      IFS='|' read -r name plugin sidechain options <<<"${CONFIGS[$i]}"
      [ "$input" != music ] && [ "$i" -eq 0 ] && continue
      # shellcheck disable=SC2086
      t=$(cpu_seconds "$input" "$plugin" "$sidechain" $options)
      [ -n "$t" ] || die "no time from korvel-render for $name on $input"
      key="$i/$input"
      if [ -z "${best[$key]:-}" ] || awk -v a="$t" -v b="${best[$key]}" 'BEGIN { exit !(a < b) }'; then
        best[$key]=$t
      fi
    done
  done
done

zam=${best[0/music]}
echo "60 s stereo 48 kHz music-like file, blocks of 512, 32-bit host buffers; fastest of $ROUNDS interleaved rounds"
printf '%-48s %10s %10s %12s\n' "configuration" "CPU s" "x ZamCompX2" "x real time"
for i in "${!CONFIGS[@]}"; do
  IFS='|' read -r name _ _ _ <<<"${CONFIGS[$i]}"
  t=${best[$i/music]}
  awk -v n="$name" -v t="$t" -v z="$zam" 'BEGIN { printf "%-48s %10.4f %10.2f %12.0f\n", n, t, t / z, 60 / t }'
done
echo
echo "silence after a 1 s burst against 60 s of digital silence (KORVEL)"
printf '%-48s %10s %10s %10s\n' "configuration" "burst s" "silence s" "ratio"
for i in "${!CONFIGS[@]}"; do
  [ "$i" -eq 0 ] && continue
  IFS='|' read -r name _ _ _ <<<"${CONFIGS[$i]}"
  awk -v n="$name" -v a="${best[$i/burst]}" -v b="${best[$i/silence]}" \
    'BEGIN { printf "%-48s %10.4f %10.4f %10.3f\n", n, a, b, a / b }'
done
