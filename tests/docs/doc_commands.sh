#!/bin/bash
# Runs every command shown in a page of the documentation (the indented lines; of one "## "
# section when a section is named) on the bundled sample, in a fresh folder that holds what a
# user would have: a link to the build tree, a copy of the sample, and the landmarks as a
# spreadsheet's CSV export. A synopsis line (with <placeholders>) is not run. Each command
# must end with status 0; Halden, which runs until it is closed, must still be running after
# some seconds (a model it cannot open ends it at once), unless it only describes itself.
#   doc_commands.sh <source dir> <build dir> <page> [section] -- <file that must be made>...
set -u
source_dir=$1
build_dir=$2
page=$source_dir/$3
section=${4:-}
shift 4
[ "${1:-}" = "--" ] && shift
work=$(mktemp -d "${TMPDIR:-/tmp}/doc-commands-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
# Halden keeps its recent-file list here, not in the user's own settings.
export XDG_CONFIG_HOME=$work/config
ln -s "$build_dir" build
# A copy: the commands write beside the sample (Pravik puts leg.trc beside leg.dat).
cp -r "$source_dir/data" data
# The landmarks as a spreadsheet saves them: a header row, then comma-separated numbers.
{ echo "sx,sy,sz,tx,ty,tz"; awk 'NF >= 6 { print $1 "," $2 "," $3 "," $4 "," $5 "," $6 }' data/leg.dat; } > mine.csv

commands=$(awk -v section="$section" '
  /^```/ { fenced = !fenced; next }
  /^## / { inside = (section == "" || $0 == "## " section); next }
  (section == "" || inside) && !fenced && /^    [^ ]/ { sub(/^    /, ""); print }' "$page" |
  grep -v '<[A-Za-z.][^ >]*>')  # a synopsis with <placeholders> is no command
if [ -z "$commands" ]; then
  echo "no commands found in $page${section:+, section \"$section\"}"
  exit 1
fi
count=0
while IFS= read -r command; do
  count=$((count + 1))
  echo "\$ $command"
  case "$command" in
    build/viewer/shell/Halden*--help* | build/viewer/shell/Halden*--version*)
      bash -c "$command" || { echo "the command failed (status $?)"; exit 1; }
      ;;
    build/viewer/shell/Halden*)
      timeout 5 bash -c "$command"
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
for f in "$@"; do
  [ -s "$f" ] || { echo "$f was not made"; exit 1; }
done
echo "$count commands ran"
