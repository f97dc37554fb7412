#!/usr/bin/env bash
# Installs the build's Debian packages and prepares the third-party sources
# (VST3 SDK, NanoVG, nanosvg, libspng, glad loader) in a cache outside the repository.
# Idempotent: a second run reuses what is already there.
#
# The four Debian 13 source packages are pinned to the versions the build
# was made with. Debian keeps only the current version of a source package,
# so once one of them is updated the pinned files no longer arrive: then the
# version the archive offers is taken, with a warning that names both, and
# the MinGW patches and the tests decide whether it still fits.
set -euo pipefail

CACHE=${KORVEL_CACHE:-$HOME/.cache/korvel}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
DEPS="$CACHE/deps"

VST3SDK_PINNED="3.7.10.14+~4.13.3"
NANOVG_PINNED="0.0~git20230826.f93799c+dfsg1"
NANOSVG_PINNED="0.0~git20241219.ea6a6ac"
LIBSPNG_PINNED="0.7.4"
# The files each source package comes as, after NAME_VERSION.
VST3SDK_FILES=(.orig.tar.gz .orig-base.tar.gz .orig-cmake.tar.gz .orig-pluginterfaces.tar.gz .orig-public-sdk.tar.gz
               .orig-vstgui4.tar.gz)
NANOVG_FILES=(.orig.tar.xz)
NANOSVG_FILES=(.orig.tar.xz)
LIBSPNG_FILES=(.orig.tar.gz)

PACKAGES=(
  cmake ninja-build g++ python3 python3-cairo libtsan2 clang-14 libclang-rt-14-dev libfuzzer-14-dev
  g++-mingw-w64-x86-64-posix wine wine64 xvfb x11-utils libgl1-mesa-dri mesa-utils xdotool
  python3-glad libstb-dev fonts-roboto-unhinted libgl-dev libglx-dev libglx-mesa0 libx11-dev
  googletest libgtest-dev libbenchmark-dev libsndfile1-dev hydrogen-drumkits zam-plugins
  python3-matplotlib zip libgtkmm-3.0-dev python3-numpy nsis lintian icoutils python3-markdown dpkg-dev zlib1g-dev libz-mingw-w64-dev
)
# The checks in a real DAW (tests/daw): Ardour 7 with a small window manager.
# Best effort: where they cannot be installed those checks are skipped.
DAW_PACKAGES=(ardour openbox wmctrl python3-soundfile libxdamage1)

die() { echo "bootstrap: $*" >&2; exit 1; }

missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

APT_UPDATED=false
apt_install() {
  local sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  if ! $APT_UPDATED; then
    $sudo apt-get update -qq || return 1
    APT_UPDATED=true
  fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

install_packages() {
  local missing
  missing=($(missing_packages "${PACKAGES[@]}"))
  if [ ${#missing[@]} -gt 0 ]; then
    echo "bootstrap: installing ${missing[*]}"
    apt_install "${missing[@]}" \
      || die "could not install ${missing[*]}; run 'apt-get install ${missing[*]}' by hand to see why"
  fi
  missing=($(missing_packages "${DAW_PACKAGES[@]}"))
  if [ ${#missing[@]} -gt 0 ]; then
    echo "bootstrap: installing ${missing[*]} (for the checks in Ardour)"
    apt_install "${missing[@]}" || warn "could not install ${missing[*]}: the checks in Ardour will be skipped"
  fi
}

warn() { echo "bootstrap: WARNING: $*" >&2; }

# Whether every file of a source package version is in the cache.
have_version() {
  local name=$1 version=$2; shift 2
  local f
  for f in "$@"; do [ -s "$CACHE/src/${name}_${version}$f" ] || return 1; done
}

# Prints the version of a source package to build with: the pinned one when
# all its files are in the cache, else the highest complete version there
# (by Debian's ordering), with a warning naming both. Fails without one.
pick_version() {
  local name=$1 pinned=$2; shift 2
  if have_version "$name" "$pinned" "$@"; then
    echo "$pinned"
    return
  fi
  local best="" file version
  for file in "$CACHE/src/${name}_"*"$1"; do
    [ -e "$file" ] || continue
    version=${file##*/${name}_}
    version=${version%"$1"}
    have_version "$name" "$version" "$@" || continue
    if [ -z "$best" ] || dpkg --compare-versions "$version" gt "$best"; then best=$version; fi
  done
  [ -n "$best" ] || die "no complete $name sources in $CACHE/src: neither the pinned $pinned nor another version arrived"
  warn "$name $pinned (pinned) is not offered by Debian trixie any more; building with $best instead." \
       "The MinGW patches and the tests decide whether it fits; if they pass, pin $best in scripts/bootstrap.sh."
  echo "$best"
}

# Debian 13 source tarballs through an apt state of our own: the machine's
# apt sources are never touched. Nothing is fetched while the pinned
# versions are in the cache.
fetch_sources() {
  local d="$CACHE/apt" src="$CACHE/src"
  mkdir -p "$d/lists/partial" "$d/archives/partial" "$d/sources.list.d" "$src"
  if have_version vst3sdk "$VST3SDK_PINNED" "${VST3SDK_FILES[@]}" &&
     have_version nanovg "$NANOVG_PINNED" "${NANOVG_FILES[@]}" &&
     have_version nanosvg "$NANOSVG_PINNED" "${NANOSVG_FILES[@]}" &&
     have_version libspng "$LIBSPNG_PINNED" "${LIBSPNG_FILES[@]}"; then
    return
  fi
  cat > "$d/sources.list.d/trixie.sources" <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: trixie
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  local a=(-o Dir::Etc::sourcelist=/dev/null -o "Dir::Etc::sourceparts=$d/sources.list.d"
           -o "Dir::State=$d" -o "Dir::State::Lists=$d/lists" -o "Dir::Cache=$d")
  echo "bootstrap: fetching vst3sdk, nanovg, nanosvg, libspng sources from Debian trixie"
  apt-get "${a[@]}" update -qq 2>/dev/null || die "could not read Debian trixie's source index; check access to deb.debian.org"
  # The .dsc files of nanovg/nanosvg are missing on the mirror, so apt exits
  # non-zero although the verified tarballs arrive: pick_version checks the
  # files instead. apt fetches the versions the archive has today.
  (cd "$src" && apt-get "${a[@]}" source --download-only vst3sdk nanovg nanosvg libspng >/dev/null 2>&1) || true
}

# The versions to build with, after fetch_sources.
resolve_versions() {
  VST3SDK_VERSION=$(pick_version vst3sdk "$VST3SDK_PINNED" "${VST3SDK_FILES[@]}")
  NANOVG_VERSION=$(pick_version nanovg "$NANOVG_PINNED" "${NANOVG_FILES[@]}")
  NANOSVG_VERSION=$(pick_version nanosvg "$NANOSVG_PINNED" "${NANOSVG_FILES[@]}")
  LIBSPNG_VERSION=$(pick_version libspng "$LIBSPNG_PINNED" "${LIBSPNG_FILES[@]}")
}

# Unpacks a source tree once per version; a changed version replaces it.
unpack() {
  local name=$1 version=$2; shift 2
  local dir="$DEPS/$name" stamp="$DEPS/$name.version"
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ] && [ -d "$dir" ]; then return 1; fi
  rm -rf "$dir" "$stamp"; mkdir -p "$dir"
  "$@"
  echo "$version" > "$stamp"
}

unpack_vst3sdk() {
  local src="$CACHE/src" dir="$DEPS/vst3sdk"
  tar -xzf "$src/vst3sdk_${VST3SDK_VERSION}.orig.tar.gz" -C "$dir" --strip-components=1
  local comp
  for comp in base cmake pluginterfaces public.sdk vstgui4; do
    local tag=$comp; [ "$comp" = public.sdk ] && tag=public-sdk
    mkdir -p "$dir/$comp"
    tar -xzf "$src/vst3sdk_${VST3SDK_VERSION}.orig-$tag.tar.gz" -C "$dir/$comp" --strip-components=1
  done
  patch_vst3sdk "$dir"
}

# Three small fixes so that the SDK builds with MinGW-w64: aligned allocation
# through _aligned_malloc as with MSVC, a lower-case <windows.h>, and no folder
# icon step (it runs Windows commands) unless the build host is Windows.
patch_vst3sdk() {
  local dir=$1
  python3 - "$dir" <<'PY2' || die "the MinGW patches did not apply to the VST3 SDK"
import sys
root = sys.argv[1]
def patch(rel, old, new):
    path = f"{root}/{rel}"
    text = open(path).read()
    if new in text:
        return
    if old not in text:
        sys.exit(f"{rel}: '{old}' not found")
    open(path, "w").write(text.replace(old, new))
patch("public.sdk/source/vst/utility/alignedalloc.h", "#ifdef _MSC_VER\n#include <malloc.h>",
      "#if defined(_MSC_VER) || defined(__MINGW32__)\n#include <malloc.h>")
patch("public.sdk/source/vst/utility/alignedalloc.h", "#elif defined(_MSC_VER)\n\tdata = _aligned_malloc",
      "#elif defined(_MSC_VER) || defined(__MINGW32__)\n\tdata = _aligned_malloc")
patch("public.sdk/source/vst/utility/alignedalloc.h", "#if defined(_MSC_VER)\n\t\t_aligned_free",
      "#if defined(_MSC_VER) || defined(__MINGW32__)\n\t\t_aligned_free")
patch("public.sdk/source/vst/utility/systemtime.cpp", "#include <Windows.h>", "#include <windows.h>")
patch("cmake/modules/SMTG_AddSMTGLibrary.cmake", "if(EXISTS ${SMTG_PACKAGE_ICON_PATH})",
      "if(CMAKE_HOST_WIN32 AND EXISTS ${SMTG_PACKAGE_ICON_PATH})")
PY2
}

generate_glad() {
  local dir="$DEPS/glad"
  glad --quiet --reproducible --api gl:compatibility=2.1 --extensions GL_ARB_framebuffer_object --out-path "$dir" c \
    || die "glad could not generate the GL loader (is python3-glad installed?)"
}

main() {
  install_packages
  fetch_sources
  resolve_versions
  mkdir -p "$DEPS"
  unpack vst3sdk "$VST3SDK_VERSION" unpack_vst3sdk || true
  unpack nanovg "$NANOVG_VERSION" tar -xJf "$CACHE/src/nanovg_${NANOVG_VERSION}.orig.tar.xz" -C "$DEPS/nanovg" --strip-components=1 || true
  unpack nanosvg "$NANOSVG_VERSION" tar -xJf "$CACHE/src/nanosvg_${NANOSVG_VERSION}.orig.tar.xz" -C "$DEPS/nanosvg" --strip-components=1 || true
  unpack libspng "$LIBSPNG_VERSION" tar -xzf "$CACHE/src/libspng_${LIBSPNG_VERSION}.orig.tar.gz" -C "$DEPS/libspng" --strip-components=1 || true
  unpack glad "$(glad --version 2>/dev/null || echo 2)-gl21-fbo" generate_glad || true
  echo "bootstrap: dependencies ready in $DEPS"
}

# Sourced (by the test of the version handling), it only defines the functions.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  main "$@"
fi
