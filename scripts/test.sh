#!/usr/bin/env bash
# Sets everything up, builds, and runs every test:
#  1. the Release build, all tests (GUI tests under a virtual X display);
#  2. an AddressSanitizer + UndefinedBehaviorSanitizer build, all tests;
#  3. a ThreadSanitizer build (without the GUI), the tests labelled "threads".
# QUORVEL_QUICK=1 runs step 1 only.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"
xvfb=(xvfb-run -a -s "-screen 0 1280x1024x24")

scripts/build.sh build
"${xvfb[@]}" ctest --test-dir build --output-on-failure -j"$jobs"

if [ "${QUORVEL_QUICK:-0}" = "1" ]; then
  exit 0
fi

scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVEL_SANITIZE="address;undefined" -DQUORVEL_BUILD_BENCH=OFF
# Qt, Mesa and the X libraries keep allocations for the life of the process: leak checking
# would report theirs, not ours.
ASAN_OPTIONS="detect_leaks=0:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  "${xvfb[@]}" ctest --test-dir build-asan --output-on-failure -j"$jobs"

scripts/build.sh build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVEL_SANITIZE=thread -DQUORVEL_BUILD_GUI=OFF -DQUORVEL_BUILD_BENCH=OFF
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
  ctest --test-dir build-tsan --output-on-failure -L threads -j"$jobs"
