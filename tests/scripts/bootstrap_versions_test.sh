#!/usr/bin/env bash
# The version handling of scripts/bootstrap.sh on a fake source folder: the
# pinned version wins when its files are there; otherwise the highest
# complete version the archive delivered is taken, with a warning naming
# both; an incomplete version is never taken; no version at all is an error;
# and the unpacked tree follows the version taken.
set -uo pipefail

BOOTSTRAP="$(cd "$(dirname "$0")/../.." && pwd)/scripts/bootstrap.sh"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failures=0
check() { # description, then a command that must succeed
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

# A fresh cache with the given files (non-empty, as apt leaves them).
fake_cache() {
  rm -rf "$WORK/cache"; mkdir -p "$WORK/cache/src"
  local f
  for f in "$@"; do echo "fake" > "$WORK/cache/src/$f"; done
}

vst3sdk_files() { # version
  local suffix
  for suffix in .orig.tar.gz .orig-base.tar.gz .orig-cmake.tar.gz .orig-pluginterfaces.tar.gz \
                .orig-public-sdk.tar.gz .orig-vstgui4.tar.gz; do
    echo "vst3sdk_$1$suffix"
  done
}

# Runs pick_version in a subshell with the fake cache; stdout to $WORK/out, stderr to $WORK/err.
pick() { # name, pinned, suffixes...
  (KORVEL_CACHE="$WORK/cache" source "$BOOTSTRAP" && pick_version "$@") >"$WORK/out" 2>"$WORK/err"
}
out() { cat "$WORK/out"; }
warned() { grep -q "WARNING" "$WORK/err"; }
warned_with() { grep -qF -- "$1" "$WORK/err" && grep -qF -- "$2" "$WORK/err"; }

PIN="0.0~git20241219.ea6a6ac"
NEWER="0.0~git20250601.0123abc"

fake_cache "nanosvg_$PIN.orig.tar.xz" "nanosvg_$NEWER.orig.tar.xz"
check "the pinned version is taken when it is there" pick nanosvg "$PIN" .orig.tar.xz
check "  ... even with a newer one beside it" test "$(out)" = "$PIN"
check "  ... without a warning" bash -c "! grep -q WARNING '$WORK/err'"

fake_cache "nanosvg_$NEWER.orig.tar.xz"
check "a newer version is taken when the pinned one is gone" pick nanosvg "$PIN" .orig.tar.xz
check "  ... and it is the one delivered" test "$(out)" = "$NEWER"
check "  ... with a warning that names both versions" warned_with "$PIN" "$NEWER"

# Debian's ordering: ~ sorts before everything, 1.0 after any 0.0~ version.
fake_cache "nanosvg_0.0~git20240101.aaaaaaa.orig.tar.xz" "nanosvg_1.0.orig.tar.xz" "nanosvg_$NEWER.orig.tar.xz"
check "of several delivered versions the highest is taken" pick nanosvg "$PIN" .orig.tar.xz
check "  ... by Debian's version ordering" test "$(out)" = "1.0"

VPIN="3.7.10.14+~4.13.3"
VNEW="3.7.12.20+~4.14.1"
fake_cache $(vst3sdk_files "$VNEW") $(vst3sdk_files "3.7.13.1+~4.14.2" | grep -v vstgui4)
check "a version with a component tarball missing is passed over" \
  pick vst3sdk "$VPIN" .orig.tar.gz .orig-base.tar.gz .orig-cmake.tar.gz .orig-pluginterfaces.tar.gz \
       .orig-public-sdk.tar.gz .orig-vstgui4.tar.gz
check "  ... for the complete one" test "$(out)" = "$VNEW"
check "  ... with the warning" warned_with "$VPIN" "$VNEW"

fake_cache $(vst3sdk_files "$VNEW" | grep -v base)
check "no complete version at all is an error" bash -c "! (KORVEL_CACHE='$WORK/cache' source '$BOOTSTRAP' && \
  pick_version vst3sdk '$VPIN' .orig.tar.gz .orig-base.tar.gz) 2>'$WORK/err'"
check "  ... that names the pinned version" grep -qF "$VPIN" "$WORK/err"

# The tree unpacked follows the version taken, and changes with it.
fake_cache
for v in "$PIN" "$NEWER"; do
  mkdir -p "$WORK/tree/nanosvg-$v/src"; echo "$v" > "$WORK/tree/nanosvg-$v/src/version.txt"
  tar -cJf "$WORK/cache/src/nanosvg_$v.orig.tar.xz" -C "$WORK/tree" "nanosvg-$v"
done
unpack_run() {
  (KORVEL_CACHE="$WORK/cache" source "$BOOTSTRAP" && DEPS="$WORK/cache/deps" && mkdir -p "$DEPS" &&
   v=$(pick_version nanosvg "$PIN" .orig.tar.xz) &&
   { unpack nanosvg "$v" tar -xJf "$WORK/cache/src/nanosvg_$v.orig.tar.xz" -C "$DEPS/nanosvg" --strip-components=1 || true; }
  ) 2>/dev/null
}
unpack_run
check "the pinned version is unpacked" test "$(cat "$WORK/cache/deps/nanosvg/src/version.txt")" = "$PIN"
rm "$WORK/cache/src/nanosvg_$PIN.orig.tar.xz"
unpack_run
check "a replaced version replaces the unpacked tree" test "$(cat "$WORK/cache/deps/nanosvg/src/version.txt")" = "$NEWER"
check "  ... and its stamp" test "$(cat "$WORK/cache/deps/nanosvg.version")" = "$NEWER"

echo "bootstrap version handling: $failures failed"
[ $failures -eq 0 ]
