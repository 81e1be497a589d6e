#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the benchmarks need, when missing.
# Sourced by the other scripts; safe to run again.
set -euo pipefail

QUORVEL_PACKAGES=(
  cmake ninja-build g++ pkg-config
  libvtk9-dev libvtk9-qt-dev qtbase5-dev libx11-dev
  libgtest-dev libbenchmark-dev libsuitesparse-dev
  xvfb xauth libgl1-mesa-dri
  clang-14 libclang-rt-14-dev
  desktop-file-utils groff-base shared-mime-info help2man
  python3-dev python3-vtk9 python3-numpy python3-scipy
)

quorvel_install_packages() {
  local missing=()
  for p in "${QUORVEL_PACKAGES[@]}"; do
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
