#!/usr/bin/env bash
# Sets everything up, builds, fits the bundled sample landmarks with Pravik and opens the
# sample model in Halden.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh build

sample=data/leg.dat
radius=0.25
echo "Fitting $sample with radius $radius ..."
build/fitting/Pravik "$sample" "$radius"
echo "Transform coefficients written to ${sample%.dat}.trc"

model=data/leg.vtk
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): not starting Halden."
  echo "On a desktop, run: build/viewer/shell/Halden $model"
  exit 0
fi
echo "Opening $model in Halden (File > Load > Transform... loads ${sample%.dat}.trc) ..."
exec build/viewer/shell/Halden "$model"
