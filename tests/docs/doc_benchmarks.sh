#!/bin/bash
# Every benchmark program that docs/performance.md shows runs, briefly, with small arguments:
# the page cannot name a program that is gone or no longer starts. A program named there
# without a small run below fails the test, so that a new benchmark gets one.
#   doc_benchmarks.sh <source dir> <build dir>
set -u
source_dir=$1
build_dir=$2
page=$source_dir/docs/performance.md
work=$(mktemp -d "${TMPDIR:-/tmp}/doc-benchmarks-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
ln -s "$build_dir" build
ln -s "$source_dir/data" data

programs=$(grep -o 'build/bench/[a-z_]*/[a-z_]*' "$page" | sort -u)
if [ -z "$programs" ]; then
  echo "no benchmark programs found in $page"
  exit 1
fi
count=0
for program in $programs; do
  case "$program" in
    */bench_shape_transform) args="20000 200" ;;
    */bench_shape_inverse) args="" ;;
    */bench_warp) args="2000 100" ;;
    */bench_records) args="1000" ;;
    */fitting_timing) args="1000" ;;
    */bench_animation) args="2 2000 none" ;;
    */bench_window) args="1 2000 none" ;;
    */bench_landmarks) args="2 100 1" ;;
    */bench_landmark_drag) args="3" ;;
    */fitting_bench) args="--write-sphere 1000 sphere.dat" ;;
    *)
      echo "$program is shown in docs/performance.md but has no small run here"
      exit 1
      ;;
  esac
  echo "\$ $program $args"
  # shellcheck disable=SC2086
  "$program" $args > output.txt 2>&1 || { cat output.txt; echo "failed (status $?)"; exit 1; }
  tail -n 3 output.txt
  count=$((count + 1))
done
echo "$count benchmark programs ran"
