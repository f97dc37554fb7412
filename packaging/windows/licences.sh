#!/usr/bin/env bash
# Writes the licence texts that go with the Windows release (zip and
# installer) into a folder, with Windows line ends: KORVEL's own, and those of
# every third-party part compiled into the bundle.
#
# Usage: licences.sh OUTDIR
set -euo pipefail

die() { echo "licences: $*" >&2; exit 1; }
[ $# -eq 1 ] || { sed -n '6p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
OUT=$1
DEPS=${KORVEL_CACHE:-$HOME/.cache/korvel}/deps
mkdir -p "$OUT"

licence() {
  local source=$1 target=$2
  [ -f "$source" ] || die "licence text $source is missing"
  sed 's/\r$//; s/$/\r/' "$source" >"$OUT/$target"
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
