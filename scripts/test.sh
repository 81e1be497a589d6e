#!/usr/bin/env bash
# Sets everything up, builds, and runs every test (GUI tests under a virtual X display).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh build

xvfb-run -a -s "-screen 0 1280x1024x24" \
  ctest --test-dir build --output-on-failure -j"$(nproc)"
