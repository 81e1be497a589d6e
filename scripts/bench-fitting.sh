#!/usr/bin/env bash
# Builds Pravik and the fitting benchmark (Release, in build-bench/) and prints the benchmark's
# tables: Pravik's stages on 1,000 to 1,000,000 landmarks, the envelope factorisation on 1 and
# 2 threads, against vtkThinPlateSplineTransform and CHOLMOD (on OpenBLAS, installed here when
# missing) on the same landmarks. Takes a few minutes.
# Usage: scripts/bench-fitting.sh [--max-landmarks N] [--vtk-seconds S] [--cholmod-max N]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
quorvel_install_packages

build_dir=build-bench
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_GUI=OFF \
  -DQUORVEL_BUILD_TESTS=OFF > /dev/null
cmake --build "$build_dir" --target Pravik fitting_bench -j"$(nproc)" > /dev/null
# CHOLMOD's supernodal factorisation does its work in the BLAS: on Debian's reference BLAS
# it would be several times slower than it can be. The benchmark compares Pravik with CHOLMOD
# on OpenBLAS (which Debian then selects as the system's BLAS), both on every core.
quorvel_install_missing_packages libopenblas0-pthread
exec "$build_dir/bench/fitting/fitting_bench" "$@"
