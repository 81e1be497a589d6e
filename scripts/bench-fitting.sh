#!/usr/bin/env bash
# Builds Pravik and the fitting benchmark (Release, in build-bench/) and prints the benchmark's
# tables: Pravik's stages on 1,000 to 1,000,000 landmarks, the envelope factorisation on 1 and
# 2 threads, against vtkThinPlateSplineTransform and CHOLMOD on the same landmarks. Takes a few
# minutes.
# Usage: scripts/bench-fitting.sh [--max-landmarks N] [--vtk-seconds S] [--cholmod-max N]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
quorvel_install_packages

build_dir=build-bench
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BUILD_GUI=OFF \
  -DQUORVEL_BUILD_TESTS=OFF > /dev/null
cmake --build "$build_dir" --target Pravik fitting_bench -j"$(nproc)" > /dev/null
# CHOLMOD's BLAS on one core, as it was measured before Pravik used two (its table compares
# processor seconds).
export OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=1
exec "$build_dir/bench/fitting/fitting_bench" "$@"
