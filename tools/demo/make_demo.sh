#!/usr/bin/env bash
# Renders a real drum loop through a VST3 compressor with three settings (and
# with each preset of PRESETDIR) and prints one line per render: input and
# output peak/RMS and the largest gain reduction of each stage.
#
# Usage: make_demo.sh OUTDIR RENDER_EXE BUNDLE [PRESETDIR]
#   OUTDIR      receives drums.wav, kick.wav and per render NAME.wav and NAME.meters.csv
#   RENDER_EXE  the korvel-render executable; korvel-demo-audio is expected next to it
#               (or named by KORVEL_DEMO_AUDIO)
#   BUNDLE      KORVEL.vst3, or ZamCompX2.vst3 to try the plumbing with a third-party compressor
#   PRESETDIR   .vstpreset files, each rendered as preset-NAME (name in lower case, dashes
#               for blanks) with the kick as side-chain
# The kit is Debian's hydrogen-drumkits ColomboAcousticDrumkit (KORVEL_DEMO_KIT overrides).
set -euo pipefail

die() { echo "make_demo: $*" >&2; exit 1; }
[ $# -eq 3 ] || [ $# -eq 4 ] || { sed -n '6,14p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
OUT=$1 RENDER=$2 BUNDLE=$3 PRESETS=${4:-}
HELPER=${KORVEL_DEMO_AUDIO:-$(dirname "$RENDER")/korvel-demo-audio}
KIT=${KORVEL_DEMO_KIT:-/usr/share/hydrogen/data/drumkits/ColomboAcousticDrumkit}

[ -x "$RENDER" ] || die "$RENDER is not an executable"
[ -x "$HELPER" ] || die "$HELPER is not an executable (set KORVEL_DEMO_AUDIO)"
[ -d "$KIT" ] || die "$KIT is missing: install hydrogen-drumkits"
mkdir -p "$OUT"

"$HELPER" loop "$KIT" "$OUT/drums.wav" "$OUT/kick.wav"

params=$("$RENDER" --plugin "$BUNDLE" --list-params) || exit 1
if grep -q 'Threshold Int/Ext' <<<"$params"; then
  plugin=korvel
elif grep -q 'ZamCompX2' <<<"$params"; then
  plugin=zam
else
  die "$BUNDLE is neither KORVEL nor ZamCompX2; add its settings to $0"
fi

# render NAME DESCRIPTION [korvel-render options...]
render() {
  local name=$1 description=$2; shift 2
  local meters meter_kind labels
  if [ $plugin = korvel ]; then
    meters=25,26 meter_kind=squared-gain labels=Int,Int/Ext
  else
    meters=12 meter_kind=db labels=
  fi
  echo "== $name: $description"
  "$RENDER" --plugin "$BUNDLE" --in "$OUT/drums.wav" --out "$OUT/$name.wav" \
    --meters "$OUT/$name.meters.csv" --meter-ids $meters --time "$@"
  "$HELPER" summary "$name" "$OUT/drums.wav" "$OUT/$name.wav" "$OUT/$name.meters.csv" $meter_kind "$labels"
}

if [ $plugin = korvel ]; then
  # Parameter IDs are KORVEL's parameter indexes. The Int stage's threshold
  # knob runs from -20 to +10 dB and maps to -50 to 0 dB inside the stage.
  # The meters are smoothed over 300 ms: they show less reduction than the
  # peak of each hit receives. Bus: about 3 dB, the level kept by the make-up.
  render vca-bus "gentle VCA bus compression (Int stage)" \
    --param 16=1 --param 0=-8 --param 2=2 --param 4=10 --param 6=0.3 --param 8=2
  # Fast and deep, about 9 dB; the make-up stops short of the transients
  # reaching 0 dBFS.
  render fet-opto-2x "FET+Opto with oversampling (Int stage)" \
    --param 17=1 --param 18=1 --param 24=1 --param 0=-12 --param 2=4 --param 4=1 --param 6=0.15 --param 8=3
  # The loop drops by about 10 dB just after each kick and gets most of it
  # back before the next one.
  render kick-duck "side-chain ducking from the kick (Int/Ext stage, External Sidechain)" \
    --sidechain "$OUT/kick.wav" --param 15=1 --param 19=1 --param 1=-15 --param 3=10 --param 5=1 --param 7=0.25
else
  # ZamCompX2: 3 attack ms, 4 release ms, 6 ratio, 7 threshold dB, 8 make-up dB,
  # 11 side-chain switch; 12 is its gain-reduction meter in dB.
  render vca-bus "gentle bus compression" \
    --param 7=-18 --param 6=2 --param 3=10 --param 4=300 --param 8=2
  render fet-opto-2x "fast, hard compression (ZamCompX2 has no FET/Opto modes or oversampling)" \
    --param 7=-26 --param 6=6 --param 3=1 --param 4=150 --param 8=5
  # ZamCompX2's VST3 build reads its side-chain bus as silence, so this render
  # shows no reduction; the plumbing (bus arrangement and activation) is the same.
  render kick-duck "side-chain ducking from the kick" \
    --sidechain "$OUT/kick.wav" --param 11=1 --param 7=-30 --param 6=10 --param 3=1 --param 4=250
fi

if [ -n "$PRESETS" ]; then
  [ -d "$PRESETS" ] || die "$PRESETS is not a folder"
  found=0
  for preset in "$PRESETS"/*.vstpreset; do
    [ -f "$preset" ] || continue
    found=1
    title=$(basename "$preset" .vstpreset)
    slug=$(tr 'A-Z ' 'a-z-' <<<"$title")
    render "preset-$slug" "factory preset \"$title\"" --preset "$preset" --sidechain "$OUT/kick.wav"
  done
  [ $found = 1 ] || die "no .vstpreset files in $PRESETS"
fi
