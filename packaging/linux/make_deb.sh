#!/usr/bin/env bash
# Builds the Debian package of the Linux plug-in with dpkg-deb:
#   /usr/lib/vst3/KORVEL.vst3                      the bundle, where hosts look for system-wide plug-ins
#   /usr/share/vst3/presets/Vantrel/KORVEL         the factory presets, the shared VST3 preset folder
#   /usr/share/doc/korvel                          copyright (licences), changelog, the user guide
#
# Usage: make_deb.sh BUNDLE PRESETDIR VERSION OUT.deb [--skip-missing-pictures]
#   BUNDLE     the Linux KORVEL.vst3 folder (with its snapshots)
#   PRESETDIR  the folder of the factory presets (*.vstpreset)
#   --skip-missing-pictures  passed to user_guide.py, for test packages made without the demo plots
# The package's dependencies are what dpkg-shlibdeps finds for the module.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
DEPS=${KORVEL_CACHE:-$HOME/.cache/korvel}/deps
die() { echo "make_deb: $*" >&2; exit 1; }
[ $# -eq 4 ] || [ $# -eq 5 ] || { sed -n '7,10p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
BUNDLE=$1 PRESETS=$2 VERSION=$3 OUT=$4
GUIDE_OPTIONS=(${5:+"$5"})
[ -f "$BUNDLE/Contents/x86_64-linux/KORVEL.so" ] || die "$BUNDLE is not the Linux KORVEL bundle"
ls "$PRESETS"/*.vstpreset >/dev/null 2>&1 || die "no presets in $PRESETS"

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
root=$stage/korvel
doc=$root/usr/share/doc/korvel
mkdir -p "$root/DEBIAN" "$root/usr/lib/vst3" "$root/usr/share/vst3/presets/Vantrel/KORVEL" "$doc"
cp -r "$BUNDLE" "$root/usr/lib/vst3/"
cp "$PRESETS"/*.vstpreset "$root/usr/share/vst3/presets/Vantrel/KORVEL/"
# Debian's file modes and a module without its symbol tables, as dh_strip and dh_fixperms leave them.
find "$root/usr" -type d -exec chmod 755 {} +
find "$root/usr" -type f -exec chmod 644 {} +
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$root/usr/lib/vst3/KORVEL.vst3/Contents/x86_64-linux/KORVEL.so"

/usr/bin/python3 "$ROOT/packaging/user_guide.py" "$ROOT/docs/user-guide.md" "$doc/user-guide.html" "${GUIDE_OPTIONS[@]}"
chmod 644 "$doc"/user-guide.html "$doc"/pictures/*
VERSION=$VERSION DEPS=$DEPS /usr/bin/python3 "$HERE/copyright.py" >"$doc/copyright"
cat >"$stage/changelog" <<LOG
korvel ($VERSION) stable; urgency=medium

  * KORVEL $VERSION: the stereo two-stage compressor as a VST3 plug-in.

 -- Vantrel <support@vantrel.com>  $(date -R -d "@$(stat -c %Y "$ROOT/VERSION")")
LOG
gzip -9n <"$stage/changelog" >"$doc/changelog.gz"

# dpkg-shlibdeps reads the package names from a debian/control of its own.
mkdir -p "$stage/src/debian"
printf 'Source: korvel\n\nPackage: korvel\nArchitecture: amd64\n' >"$stage/src/debian/control"
depends=$(cd "$stage/src" && dpkg-shlibdeps -O "$root/usr/lib/vst3/KORVEL.vst3/Contents/x86_64-linux/KORVEL.so" \
  | sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || die "dpkg-shlibdeps found no dependencies"

cat >"$root/DEBIAN/control" <<CONTROL
Package: korvel
Version: $VERSION
Architecture: amd64
Maintainer: Vantrel <support@vantrel.com>
Installed-Size: $(du -sk --apparent-size "$root/usr" | cut -f1)
Depends: $depends
Section: sound
Priority: optional
Homepage: https://www.vantrel.com
Description: stereo two-stage compressor (VST3 plug-in)
 KORVEL is a stereo dynamics compressor for VST3 hosts: an Int stage and an
 Int/Ext stage (own signal or external side-chain), each with VCA, FET and
 Opto characters that combine freely, followed by a sine-shaped output
 saturator with optional 2x oversampling. Its editor is drawn with OpenGL.
 .
 The package installs the plug-in into /usr/lib/vst3, where VST3 hosts look
 for plug-ins, and the factory presets into /usr/share/vst3/presets.
CONTROL
(cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
chmod 644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"

mkdir -p "$(dirname "$OUT")"
dpkg-deb --root-owner-group -Zxz --build "$root" "$OUT" >/dev/null
echo "$OUT"
