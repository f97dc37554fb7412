#!/usr/bin/env bash
# Builds KORVEL for Linux x86_64 and Windows x64 (MinGW-w64), collects both
# VST3 bundles with the factory presets beside them and the editor preview in
# dist/, and runs the main job: the demo renders of a real drum loop through
# the plug-in (three settings and every factory preset) with their plots and
# the transfer curves, into dist/demo/, after the SDK validator has checked the
# Linux release bundle. The pictures of the editor, dist/editor@1x.png and
# dist/editor@2x.png, are drawn by the Windows bundle under Wine (on an Xvfb
# display and a Wine prefix of this script's own), and the Linux bundle's
# pictures are checked against them; each bundle gets its own pictures as its
# VST3 snapshots. Then the releases: the Windows installer, the Windows zip
# and the Debian package, all named with the version in the file VERSION.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
CACHE=${KORVEL_CACHE:-$HOME/.cache/korvel}
"$ROOT/scripts/bootstrap.sh"
cd "$ROOT"

for p in linux windows; do
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p"
done

version=$(cat VERSION)
rm -rf dist/linux dist/windows dist/KORVEL-*-windows-x64.zip dist/KORVEL-*-windows-x64-setup.exe dist/korvel_*_amd64.deb
mkdir -p dist/linux/presets "dist/windows/VST3 Presets"
# The presets sit beside each bundle as in the user's VST3 folders:
# ~/.vst3/presets/Vantrel/KORVEL on Linux, Documents\VST3 Presets\Vantrel\KORVEL on Windows.
cp -r build/linux/KORVEL.vst3 dist/linux/
cp -r build/linux/presets/Vantrel dist/linux/presets/
cp -r build/windows/KORVEL.vst3 dist/windows/
cp -r build/linux/presets/Vantrel "dist/windows/VST3 Presets/"
/usr/bin/python3 plugin/resources/make_preview.py dist >/dev/null
echo "== bundles: dist/linux/KORVEL.vst3, dist/windows/KORVEL.vst3; editor preview: dist/preview@1x.png, dist/preview@2x.png"
echo "== factory presets: dist/linux/presets/Vantrel/KORVEL, dist/windows/VST3 Presets/Vantrel/KORVEL"

bin=build/linux/bin/Release
echo "== Steinberg validator, extensive, on dist/linux/KORVEL.vst3 with the factory presets of dist/linux/presets"
echo "   (the Windows bundle is validated by scripts/test.sh)"
KORVEL_PRESET_DIR=dist/linux/presets/Vantrel/KORVEL \
  "$bin/validator" -e -test-component build/linux/KorvelPresetCheck.vst3 dist/linux/KORVEL.vst3 | grep -E '^Result:' \
  || { echo "build: the validator rejected the Linux bundle or a factory preset" >&2; exit 1; }

echo "== demo renders (dist/demo)"
tools/demo/make_demo.sh dist/demo "$bin/korvel-render" build/linux/KORVEL.vst3 build/linux/presets/Vantrel/KORVEL

echo "== plots: a waveform and gain picture per render, transfer curves measured through the bundle (dist/demo/*.png)"
/usr/bin/python3 tools/demo/plot_demo.py dist/demo "$bin/korvel-render" build/linux/KORVEL.vst3 | sed 's/^/   /'

echo "== editor pictures: dist/editor@1x.png, dist/editor@2x.png (the Windows bundle's editor under Wine, OpenGL read back)"
XVFB_PID=""
cleanup() {
  if [ -n "$XVFB_PID" ]; then
    wineserver -k 2>/dev/null || true
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
}
trap cleanup EXIT
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -noreset -screen 0 1920x1080x24 >/dev/null 2>&1 &
XVFB_PID=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
kill -0 "$XVFB_PID" 2>/dev/null || { echo "build: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$n"
export WINEPREFIX="${KORVEL_WINEPREFIX:-$CACHE/wineprefix}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -k 2>/dev/null || true # one left from an earlier run may know another display
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1; wineserver -w
fi
mkdir -p build/linux/snapshots
for scale in 1 2; do
  wine build/windows/bin/korvel-snapshot.exe --plugin "Z:$ROOT/dist/windows/KORVEL.vst3" \
    --out "Z:$ROOT/dist/editor@${scale}x.png" --scale "$scale" | sed 's/^/   /'
  "$bin/korvel-snapshot" --plugin dist/linux/KORVEL.vst3 --out "build/linux/snapshots/editor@${scale}x.png" \
    --scale "$scale" >/dev/null
  echo "   Linux bundle's picture (build/linux/snapshots/editor@${scale}x.png) against the Windows one:"
  /usr/bin/python3 tools/korvel-snapshot/compare_pictures.py "build/linux/snapshots/editor@${scale}x.png" \
    "dist/editor@${scale}x.png" | sed 's/^/   /' \
    || { echo "build: the Linux and Windows editors draw different pictures at scale $scale" >&2; exit 1; }
done
wineserver -w

echo "== VST3 snapshots in both bundles (Contents/Resources/Snapshots, listed in moduleinfo.json): each bundle's own pictures at the defaults"
/usr/bin/python3 packaging/place_snapshots.py dist/windows/KORVEL.vst3 dist/editor@1x.png dist/editor@2x.png \
  build/windows/bin/moduleinfotool.exe
/usr/bin/python3 packaging/place_snapshots.py dist/linux/KORVEL.vst3 build/linux/snapshots/editor@1x.png \
  build/linux/snapshots/editor@2x.png "$bin/moduleinfotool"
wineserver -w

echo "== releases: the Windows installer, the Windows zip and the Debian package"
packaging/windows/make_installer.sh dist/windows/KORVEL.vst3 "dist/windows/VST3 Presets/Vantrel/KORVEL" "$version" \
  "dist/KORVEL-$version-windows-x64-setup.exe" | sed 's/^/   /'
packaging/windows/make_zip.sh dist/windows/KORVEL.vst3 "dist/windows/VST3 Presets" "$version" \
  "dist/KORVEL-$version-windows-x64.zip" | sed 's/^/   /'
packaging/linux/make_deb.sh dist/linux/KORVEL.vst3 dist/linux/presets/Vantrel/KORVEL "$version" \
  "dist/korvel_${version}_amd64.deb" | sed 's/^/   /'
lintian --fail-on error "dist/korvel_${version}_amd64.deb" 2>/dev/null | sed 's/^/   lintian: /' \
  || { echo "build: lintian found errors in dist/korvel_${version}_amd64.deb" >&2; exit 1; }

# --- The Linux bundle's editor in the SDK's editor host, on a private X display.
echo "== the SDK's editor host opens dist/linux/KORVEL.vst3 on a private Xvfb: dist/editor-linux@1x.png"
rm -f dist/editor-linux@1x.png dist/editor-linux@1x.png.rejected.png
[ -x "$bin/editorhost" ] || { echo "build: $bin/editorhost was not built (is libgtkmm-3.0-dev installed?)" >&2; exit 1; }
# The host's picture is held against the bundle's own offscreen snapshot.
/usr/bin/python3 tools/editorhost/editor_picture.py "$bin/editorhost" dist/linux/KORVEL.vst3 dist/editor-linux@1x.png \
  build/linux/snapshots/editor@1x.png | sed 's/^/   /'
