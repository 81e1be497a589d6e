#!/usr/bin/env bash
# Installs what is missing, then configures and builds into build/ (Release).
# Usage: scripts/build.sh [build-dir] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
quorvel_install_packages

build_dir="${1:-build}"
shift || true
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@"
# QUORVEL_BUILD_TARGETS (space-separated) builds only those targets.
targets=()
for t in ${QUORVEL_BUILD_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$build_dir" -j"$(nproc)" "${targets[@]}"
