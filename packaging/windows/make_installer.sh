#!/usr/bin/env bash
# Builds the Windows installer with NSIS: the VST3 bundle, the factory
# presets, the licence texts and the user guide, an uninstaller registered in
# Apps & Features (see korvel.nsi for where each goes).
#
# Usage: make_installer.sh BUNDLE PRESETDIR VERSION OUT.exe [--skip-missing-pictures]
#   BUNDLE     the Windows KORVEL.vst3 folder (with its snapshots, icon and desktop.ini)
#   PRESETDIR  the folder of the factory presets (*.vstpreset)
#   --skip-missing-pictures  passed to user_guide.py, for test installers made without the demo plots
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
die() { echo "make_installer: $*" >&2; exit 1; }
[ $# -eq 4 ] || [ $# -eq 5 ] || { sed -n '6,9p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
BUNDLE=$1 PRESETS=$2 VERSION=$3 OUT=$4
GUIDE_OPTIONS=(${5:+"$5"})
[ -f "$BUNDLE/Contents/x86_64-win/KORVEL.vst3" ] || die "$BUNDLE is not the Windows KORVEL bundle"
[ -f "$BUNDLE/PlugIn.ico" ] && [ -f "$BUNDLE/desktop.ini" ] || die "$BUNDLE has no folder icon (PlugIn.ico, desktop.ini)"
ls "$PRESETS"/*.vstpreset >/dev/null 2>&1 || die "no presets in $PRESETS"
command -v makensis >/dev/null || die "makensis is not installed (Debian nsis; scripts/bootstrap.sh installs it)"

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/bundle" "$stage/presets" "$stage/docs"
cp -r "$BUNDLE" "$stage/bundle/"
cp "$PRESETS"/*.vstpreset "$stage/presets/"
"$HERE/licences.sh" "$stage/docs/licences"
/usr/bin/python3 "$ROOT/packaging/user_guide.py" "$ROOT/docs/user-guide.md" "$stage/docs/User Guide.html" "${GUIDE_OPTIONS[@]}"
/usr/bin/python3 "$HERE/nsis_lists.py" "$stage"
size_kb=$(du -sk --apparent-size "$stage/bundle" "$stage/presets" "$stage/docs" | awk '{ kb += $1 } END { print kb }')

mkdir -p "$(dirname "$OUT")"
OUT_ABS=$(cd "$(dirname "$OUT")" && pwd)/$(basename "$OUT")
makensis -V2 -NOCD "-DVERSION=$VERSION" "-DSTAGE=$stage" "-DOUTFILE=$OUT_ABS" "-DINSTALLED_KB=$size_kb" \
  "$HERE/korvel.nsi" >&2 || die "makensis failed"
echo "$OUT"
