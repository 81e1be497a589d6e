#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the benchmarks need, when missing.
# Sourced by the other scripts; safe to run again.
set -euo pipefail

QUORVEL_PACKAGES=(
  cmake ninja-build g++ pkg-config
  libvtk9-dev libvtk9-qt-dev qtbase5-dev libx11-dev
  libgtest-dev libbenchmark-dev libsuitesparse-dev libeigen3-dev
  xvfb xauth libgl1-mesa-dri
  locales
  clang-14 libclang-rt-14-dev
  desktop-file-utils groff-base shared-mime-info help2man
  python3-dev python3-vtk9 python3-numpy python3-scipy python3-distributed
)

quorvel_install_packages() {
  quorvel_install_missing_packages
  quorvel_comma_locale
  quorvel_real_meshes || true
}

# Installs the given packages (by default the list above) where missing.
quorvel_install_missing_packages() {
  local wanted=("$@")
  if [ ${#wanted[@]} -eq 0 ]; then wanted=("${QUORVEL_PACKAGES[@]}"); fi
  local missing=()
  for p in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "Installing: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# The tests that check that numbers in files never follow the user's locale need one whose
# decimal separator is a comma: generate de_DE.UTF-8 when no such locale is installed.
quorvel_comma_locale() {
  if locale -a 2>/dev/null | grep -qiE '^(de_DE|fr_FR|nl_NL|es_ES|it_IT|ru_RU)\.utf-?8$'; then
    return 0
  fi
  echo "Generating the locale de_DE.UTF-8 (for the locale tests)"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8 ||
    echo "Could not generate de_DE.UTF-8: the locale tests will be skipped" >&2
}

# The real-mesh tests and benchmarks read a few third-party meshes shipped in Debian's
# libcgal-demo package: download the package (about 24 MB, not installed) and extract them.
# Where that cannot be done those tests skip and say so.
QUORVEL_REAL_MESHES_WANTED=(fandisk dino camel bear bunny00)
quorvel_real_meshes() {
  local dir="${1:-${QUORVEL_REAL_MESHES:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvel/meshes}}"
  local missing=0
  for m in "${QUORVEL_REAL_MESHES_WANTED[@]}"; do
    [ -s "$dir/$m.off" ] || missing=1
  done
  if [ "$missing" -eq 0 ]; then
    return 0
  fi
  echo "Fetching the real-mesh test data (libcgal-demo) into $dir"
  local work
  work="$(mktemp -d)"
  if (cd "$work" && apt-get download libcgal-demo >/dev/null 2>&1) &&
    dpkg-deb -x "$work"/libcgal-demo_*.deb "$work/x" &&
    tar -xzf "$work/x/usr/share/doc/libcgal-dev/data.tar.gz" -C "$work" \
      $(printf 'data/meshes/%s.off ' "${QUORVEL_REAL_MESHES_WANTED[@]}"); then
    mkdir -p "$dir"
    cp "$work"/data/meshes/*.off "$dir"/
  else
    echo "Could not fetch libcgal-demo: the real-mesh tests will be skipped" >&2
  fi
  rm -rf "$work"
}
