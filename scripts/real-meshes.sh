#!/usr/bin/env bash
# Extracts the third-party meshes the real-mesh tests and benchmarks use (from Debian's
# libcgal-demo package, downloaded, not installed) into a folder: the first argument, or
# QUORVEL_REAL_MESHES, or ~/.cache/quorvel/meshes. Safe to run again: does nothing when they
# are there.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
quorvel_real_meshes "$@"
