#!/usr/bin/env bash
# Writes KORVEL's factory presets (factory-presets.txt beside this script) as
# .vstpreset files, each saved by korvel-render from the plug-in itself.
#
# Usage: make_presets.sh OUTDIR RENDER_EXE BUNDLE
set -euo pipefail

die() { echo "make_presets: $*" >&2; exit 1; }
[ $# -eq 3 ] || { sed -n '5p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
OUT=$1 RENDER=$2 BUNDLE=$3
LIST="$(dirname "$0")/factory-presets.txt"
[ -x "$RENDER" ] || die "$RENDER is not an executable"

rm -rf "$OUT"
mkdir -p "$OUT"
while IFS='|' read -r name settings; do
  name=$(echo "$name" | sed 's/^ *//; s/ *$//')
  case $name in ''|'#'*) continue ;; esac
  args=()
  for setting in $settings; do args+=(--param "$setting"); done
  "$RENDER" --plugin "$BUNDLE" "${args[@]}" --save-preset "$OUT/$name.vstpreset" || die "cannot write '$name'"
done <"$LIST"
