#!/usr/bin/env bash
# Builds the fuzz targets (clang 14: libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# into build-fuzz/ and runs each one for the given time.
# Usage: scripts/fuzz.sh [seconds per target, default 600] [target ...]
# The seeds in fuzz/corpus/<target>/ are only read (they include the inputs of faults found
# and mended, so every run replays them first); targets with a seed generator get its seeds
# too, written afresh into build-fuzz/seeds/<target>/. What a run learns is kept in
# build-fuzz/corpus/<target>/ for the next run. An input that crashes a target, or breaks one
# of its checks, is saved as build-fuzz/crashes/<target>/crash-<hash>; the script then ends
# with status 1 (rerun it with: build-fuzz/fuzz/<target> <that file>).
# The mutations follow a fixed seed (QUORVEL_FUZZ_SEED, default 1), so a run starting from the
# same corpus tries the same inputs in the same order on any machine: a longer run here covers
# what CI's shorter one reaches. Set QUORVEL_FUZZ_SEED=0 for a seed from the clock.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
quorvel_install_packages

seconds="${1:-600}"
seed="${QUORVEL_FUZZ_SEED:-1}"
shift || true
build=build-fuzz
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
  -DQUORVEL_BUILD_FUZZ=ON -DQUORVEL_BUILD_GUI=OFF -DQUORVEL_BUILD_TESTS=OFF \
  -DQUORVEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzz_targets -j"$(nproc)"

if [ $# -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets < <(cat "$build/fuzz/targets.txt")
fi

# Seed generators: target -> program in build-fuzz/fuzz/ that writes seeds into a directory.
declare -A generators=([fuzz_model_file]=make_model_seeds)

failed=0
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t" "$build/crashes/$t"
  corpora=("$build/corpus/$t" "fuzz/corpus/$t")
  if [ -n "${generators[$t]:-}" ]; then
    rm -rf "$build/seeds/$t"
    mkdir -p "$build/seeds/$t"
    "$build/fuzz/${generators[$t]}" "$build/seeds/$t"
    corpora+=("$build/seeds/$t")
  fi
  dict=()
  if [ -f "fuzz/$t.dict" ]; then dict=(-dict="fuzz/$t.dict"); fi
  log="$build/$t.log"
  # Leaks known and accepted (each file says why) are left out of the leak report.
  lsan="${LSAN_OPTIONS:-}"
  if [ -f "fuzz/$t.lsan" ]; then lsan="suppressions=$PWD/fuzz/$t.lsan${lsan:+:$lsan}"; fi
  # The checks inside the targets abort; leaks are reported as failures too.
  if ! LSAN_OPTIONS="$lsan" "$build/fuzz/$t" -max_total_time="$seconds" -seed="$seed" -timeout=20 -print_final_stats=1 \
      -artifact_prefix="$build/crashes/$t/" "${dict[@]}" \
      "${corpora[@]}" >"$log" 2>&1; then
    failed=1
    echo "$t: FAILED, see $log and $build/crashes/$t/"
    tail -n 40 "$log"
    continue
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  feat=$(grep -o 'ft: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  units=$(ls "$build/corpus/$t" | wc -l)
  seeds=$(find "${corpora[@]:1}" -type f | wc -l)
  echo "$t: $runs inputs in ${seconds} s ($rate/s), coverage $cov edges / $feat features," \
    "corpus $units learnt + $seeds seeds, no crash"
  # Targets that count their inputs by kind (fuzz_model_file: per format and variant) say so.
  kinds=$(grep -h "inputs per format:" "$log" | tail -n 1 || true)
  if [ -n "$kinds" ]; then echo "  $kinds"; fi
done
exit "$failed"
