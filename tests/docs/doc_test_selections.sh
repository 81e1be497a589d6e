#!/bin/bash
# The pages show ctest commands that pick tests by name (-R "A|B|C"). Each is run here in
# listing mode (ctest -N) against this build, and each alternative of its expression must
# pick at least one test: a page cannot send a reader to tests that were renamed or removed.
#   doc_test_selections.sh <source dir> <build dir>
set -u
source_dir=$1
build_dir=$2
cd "$source_dir" || exit 1
selections=$(grep -ho 'ctest --test-dir build .*-R *\("[^"]*"\|'"'"'[^'"'"']*'"'"'\|[^ ]*\)' \
  README.md CHANGES.md docs/*.md | sed -E "s/.*-R *//; s/^[\"']//; s/[\"']$//")
if [ -z "$selections" ]; then
  echo "no ctest -R commands found in the pages"
  exit 1
fi
failed=0
count=0
while IFS= read -r selection; do
  IFS='|' read -r -a alternatives <<< "$selection"
  for alternative in "${alternatives[@]}"; do
    count=$((count + 1))
    listed=$(ctest --test-dir "$build_dir" -N -R "$alternative" | sed -n 's/^Total Tests: //p')
    if [ "${listed:-0}" -eq 0 ]; then
      echo "\"$alternative\" (of -R \"$selection\") picks no test"
      failed=1
    else
      echo "\"$alternative\": $listed tests"
    fi
  done
done <<< "$selections"
[ "$failed" -eq 0 ] && echo "$count selections pick tests"
exit "$failed"
