#!/usr/bin/env bash
# Packs the Windows release: the VST3 bundle, the factory presets in the
# standard VST3 preset layout, the licence texts and an install note.
#
# Usage: make_windows_zip.sh BUNDLE PRESETDIR VERSION OUT.zip
#   BUNDLE     the Windows KORVEL.vst3 folder
#   PRESETDIR  the factory presets (Vendor/Plug-in folders below it: Vantrel/KORVEL/*.vstpreset)
# The zip holds one folder, KORVEL-VERSION-windows-x64.
set -euo pipefail

die() { echo "make_windows_zip: $*" >&2; exit 1; }
[ $# -eq 4 ] || { sed -n '5,8p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
BUNDLE=$1 PRESETS=$2 VERSION=$3 OUT=$4
DEPS=${KORVEL_CACHE:-$HOME/.cache/korvel}/deps
[ -f "$BUNDLE/Contents/x86_64-win/KORVEL.vst3" ] || die "$BUNDLE is not the Windows KORVEL bundle"
ls "$PRESETS"/Vantrel/KORVEL/*.vstpreset >/dev/null 2>&1 || die "no presets in $PRESETS/Vantrel/KORVEL"
command -v zip >/dev/null || die "zip is not installed (scripts/bootstrap.sh installs it)"

name=KORVEL-$VERSION-windows-x64
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
top=$stage/$name
mkdir -p "$top/licences" "$top/VST3 Presets"
cp -r "$BUNDLE" "$top/"
cp -r "$PRESETS/Vantrel" "$top/VST3 Presets/"

# Windows editors want CRLF line ends.
crlf() { sed 's/\r$//; s/$/\r/' "$1" >"$2"; }
licence() {
  local source=$1 target=$2
  [ -f "$source" ] || die "licence text $source is missing"
  crlf "$source" "$top/licences/$target"
}
licence /usr/share/common-licenses/GPL-3 "KORVEL (GPL-3.0).txt"
licence "$DEPS/vst3sdk/LICENSE.txt" "Steinberg VST3 SDK.txt"
licence "$DEPS/nanovg/LICENSE.txt" "NanoVG (zlib).txt"
licence "$DEPS/nanosvg/LICENSE.txt" "nanosvg (zlib).txt"
licence "$DEPS/libspng/LICENSE" "libspng (BSD-2-Clause).txt"
licence /usr/share/doc/libz-mingw-w64-dev/copyright "zlib.txt"
licence /usr/share/doc/libstb-dev/copyright "stb.txt"
licence /usr/share/doc/python3-glad/copyright "glad (generator and generated loader).txt"
licence /usr/share/doc/fonts-roboto-unhinted/copyright "Roboto font.txt"
licence /usr/share/common-licenses/Apache-2.0 "Apache-2.0.txt"
licence /usr/share/doc/gcc-mingw-w64-base/copyright "GCC runtime (libstdc++, libgcc).txt"
licence /usr/share/doc/mingw-w64-x86-64-dev/copyright "MinGW-w64 runtime.txt"

cat >"$stage/INSTALL.txt" <<NOTE
KORVEL $VERSION for Windows x64 - stereo two-stage compressor, VST3 effect

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
The user guide is docs/user-guide.md in KORVEL's source repository.
NOTE
crlf "$stage/INSTALL.txt" "$top/INSTALL.txt"

mkdir -p "$(dirname "$OUT")"
OUT_ABS=$(cd "$(dirname "$OUT")" && pwd)/$(basename "$OUT")
rm -f "$OUT_ABS"
(cd "$stage" && zip -q -X -r "$OUT_ABS" "$name")
echo "$OUT"
