#!/bin/bash
# Every Python benchmark that docs/performance.md shows runs, briefly, with small arguments,
# from the build tree's package as the page runs it: the page cannot name a script that is
# gone or no longer starts. A script named there without a small run below fails the test,
# so that a new benchmark gets one.
#   doc_python_benchmarks.sh <source dir> <build dir> <python> <package dir in the build tree>
set -u
source_dir=$1
build_dir=$2
python=$3
package=$4
page=$source_dir/docs/performance.md
work=$(mktemp -d "${TMPDIR:-/tmp}/doc-python-benchmarks-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

# Named by path, or run from their folder ("cd bench/python && python3 x.py").
scripts=$(grep -oE 'bench/python/[a-z_]+\.py|cd bench/python && python3 [a-z_]+\.py' "$page" |
  sed -E 's|^cd bench/python && python3 |bench/python/|' | sort -u)
if [ -z "$scripts" ]; then
  echo "no Python benchmarks found in $page"
  exit 1
fi
export PYTHONPATH=$build_dir/$package
export PYTHONDONTWRITEBYTECODE=1  # nothing written into the source tree
count=0
for script in $scripts; do
  case "$script" in
    */peers.py) args="--sizes 100 --points 2000 --limit 120" ;;
    */smoothing.py) args="--landmarks 60" ;;
    */smoothing_kernels.py) args="--tested 2000" ;;
    */transform_points.py) args="2000" ;;
    *)
      echo "$script is shown in docs/performance.md but has no small run here"
      exit 1
      ;;
  esac
  echo "\$ python3 $script $args"
  # The page runs smoothing_kernels.py from its folder (it imports smoothing.py beside it).
  # shellcheck disable=SC2086
  (cd "$source_dir/$(dirname "$script")" && "$python" "$(basename "$script")" $args) \
    > output.txt 2>&1 || { cat output.txt; echo "failed (status $?)"; exit 1; }
  tail -n 3 output.txt
  count=$((count + 1))
done
echo "$count Python benchmarks ran"
