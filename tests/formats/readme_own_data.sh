#!/bin/bash
# Runs every command of the README's "Your own data" section on the bundled sample, in a
# fresh folder that holds what a user would have: a link to the build tree, the sample
# copied by the section's own first command, and the landmarks as a spreadsheet's CSV export.
# Each command must end with status 0; Halden, which runs until it is closed, must still be
# running after some seconds (a model or coefficient file it cannot use ends it at once).
#   readme_own_data.sh <source dir> <build dir>
set -u
source_dir=$1
build_dir=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/readme-own-data-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
ln -s "$build_dir" build
ln -s "$source_dir/data" data
# The landmarks as a spreadsheet saves them: a header row, then comma-separated numbers.
{ echo "sx,sy,sz,tx,ty,tz"; awk 'NF >= 6 { print $1 "," $2 "," $3 "," $4 "," $5 "," $6 }' data/leg.dat; } > mine.csv

commands=$(awk '/^## Your own data/ { inside = 1; next } /^## / { inside = 0 }
  inside && /^    [^ ]/ { sub(/^    /, ""); print }' "$source_dir/README.md")
if [ -z "$commands" ]; then
  echo "no commands found in the README's \"Your own data\" section"
  exit 1
fi
count=0
while IFS= read -r command; do
  count=$((count + 1))
  echo "\$ $command"
  case "$command" in
    build/viewer/shell/Halden*)
      timeout 8 bash -c "$command"
      status=$?
      if [ "$status" -ne 124 ]; then
        echo "Halden ended by itself (status $status)"
        exit 1
      fi
      ;;
    *)
      bash -c "$command" || { echo "the command failed (status $?)"; exit 1; }
      ;;
  esac
done <<< "$commands"
for f in mine.dat mine.trc mine-deformed.stl mine-half.vtp; do
  [ -s "$f" ] || { echo "$f was not made"; exit 1; }
done
echo "$count commands ran"
