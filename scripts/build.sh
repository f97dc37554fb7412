#!/usr/bin/env bash
# Builds KORVEL for Linux x86_64 and Windows x64 (MinGW-w64), collects both
# VST3 bundles and the editor preview in dist/, and runs the main job: the demo
# renders of a real drum loop through the plug-in, into dist/demo/, after the
# SDK validator has checked the Linux release bundle.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/bootstrap.sh"
cd "$ROOT"

for p in linux windows; do
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p"
done

rm -rf dist/linux dist/windows
mkdir -p dist/linux dist/windows
cp -r build/linux/KORVEL.vst3 dist/linux/
cp -r build/windows/KORVEL.vst3 dist/windows/
/usr/bin/python3 plugin/resources/make_preview.py dist >/dev/null
echo "== bundles: dist/linux/KORVEL.vst3, dist/windows/KORVEL.vst3; editor preview: dist/preview@1x.png, dist/preview@2x.png"

bin=build/linux/bin/Release
echo "== Steinberg validator, extensive, on dist/linux/KORVEL.vst3 (the Windows bundle is validated by scripts/test.sh)"
"$bin/validator" -e dist/linux/KORVEL.vst3 | grep -E '^Result:' || { echo "build: the validator rejected the Linux bundle" >&2; exit 1; }

echo "== demo renders (dist/demo)"
tools/demo/make_demo.sh dist/demo "$bin/korvel-render" build/linux/KORVEL.vst3
