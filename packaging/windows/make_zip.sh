#!/usr/bin/env bash
# Packs the Windows release for those who copy by hand: the VST3 bundle, the
# factory presets in the standard VST3 preset layout, the licence texts, the
# user guide and an install note.
#
# Usage: make_zip.sh BUNDLE PRESETDIR VERSION OUT.zip [--skip-missing-pictures]
#   BUNDLE     the Windows KORVEL.vst3 folder
#   PRESETDIR  the factory presets (Vendor/Plug-in folders below it: Vantrel/KORVEL/*.vstpreset)
#   --skip-missing-pictures  passed to user_guide.py, for zips made without the demo plots
# The zip holds one folder, KORVEL-VERSION-windows-x64.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
die() { echo "make_zip: $*" >&2; exit 1; }
[ $# -eq 4 ] || [ $# -eq 5 ] || { sed -n '6,10p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
BUNDLE=$1 PRESETS=$2 VERSION=$3 OUT=$4
GUIDE_OPTIONS=(${5:+"$5"})
[ -f "$BUNDLE/Contents/x86_64-win/KORVEL.vst3" ] || die "$BUNDLE is not the Windows KORVEL bundle"
ls "$PRESETS"/Vantrel/KORVEL/*.vstpreset >/dev/null 2>&1 || die "no presets in $PRESETS/Vantrel/KORVEL"
command -v zip >/dev/null || die "zip is not installed (scripts/bootstrap.sh installs it)"

name=KORVEL-$VERSION-windows-x64
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
top=$stage/$name
mkdir -p "$top/VST3 Presets"
cp -r "$BUNDLE" "$top/"
cp -r "$PRESETS/Vantrel" "$top/VST3 Presets/"

"$HERE/licences.sh" "$top/licences"
/usr/bin/python3 "$ROOT/packaging/user_guide.py" "$ROOT/docs/user-guide.md" "$top/User Guide.html" "${GUIDE_OPTIONS[@]}"

cat >"$stage/INSTALL.txt" <<NOTE
KORVEL $VERSION for Windows x64 - stereo two-stage compressor, VST3 effect

The setup program KORVEL-$VERSION-windows-x64-setup.exe does all of the
following for you and adds an uninstaller; this zip is for installing by hand.

Install
1. Quit your host (DAW).
2. Copy the folder KORVEL.vst3 into the standard VST3 folder,
   %COMMONPROGRAMFILES%\\VST3 (normally C:\\Program Files\\Common Files\\VST3).
   Windows asks for administrator rights there.
3. Presets: copy the folder "VST3 Presets\\Vantrel" into
     %USERPROFILE%\\Documents\\VST3 Presets   (for you), or
     %PROGRAMDATA%\\VST3 Presets              (for every user of the computer),
   so that the files end up in ...\\VST3 Presets\\Vantrel\\KORVEL\\.
4. Start the host and let it scan for new plug-ins. KORVEL appears as an
   effect by Vantrel (category Fx|Dynamics); its presets appear in the host's
   preset browser for KORVEL.

Uninstall: delete %COMMONPROGRAMFILES%\\VST3\\KORVEL.vst3 and the
VST3 Presets\\Vantrel\\KORVEL folder.

Factory presets
$(cd "$PRESETS/Vantrel/KORVEL" && ls *.vstpreset | sed 's/\.vstpreset$//; s/^/  - /')

Licences
KORVEL is distributed under the GNU General Public License version 3
(licences\\KORVEL (GPL-3.0).txt); it is built with the Steinberg VST3 SDK used
under the GPL v3. The texts of the third-party parts are in the licences folder.
The user guide is "User Guide.html" beside this note.
NOTE
sed 's/$/\r/' "$stage/INSTALL.txt" >"$top/INSTALL.txt"

mkdir -p "$(dirname "$OUT")"
OUT_ABS=$(cd "$(dirname "$OUT")" && pwd)/$(basename "$OUT")
rm -f "$OUT_ABS"
(cd "$stage" && zip -q -X -r "$OUT_ABS" "$name")
echo "$OUT"
