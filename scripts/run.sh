#!/usr/bin/env bash
# Sets everything up, builds, and fits the bundled sample landmarks with Pravik.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh build

sample=data/leg.dat
radius=0.25
echo "Fitting $sample with radius $radius ..."
build/fitting/Pravik "$sample" "$radius"
echo "Transform coefficients written to ${sample%.dat}.trc"
