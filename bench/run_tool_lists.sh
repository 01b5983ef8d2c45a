#!/bin/sh
# Times the explorer's listing of a folder of N files (default 100000) next to `ls -l` of the
# same folder, then the task manager's rows. Usage: run_tool_lists.sh BUILD_DIR [N]
set -eu
build=${1:?usage: run_tool_lists.sh BUILD_DIR [N]}
count=${2:-100000}
folder=$(mktemp -d "${TMPDIR:-/tmp}/kesto-lists-XXXXXX")
trap 'rm -rf "$folder"' EXIT
"$build/bench/tool_lists" make-folder "$folder/files" "$count"
ls -l "$folder/files" > /dev/null
best=""
for run in 1 2 3 4 5; do
    start=$(date +%s%N)
    ls -l "$folder/files" > /dev/null
    took=$(( ($(date +%s%N) - start) / 100000 ))
    if [ -z "$best" ] || [ "$took" -lt "$best" ]; then best=$took; fi
done
echo "ls -l: $count files in $((best / 10)).$((best % 10)) ms (best of 5)"
"$build/bench/tool_lists" explorer "$folder/files" 5
if [ -x "$build/bench/browse_window" ]; then
    QT_QPA_PLATFORM=offscreen "$build/bench/browse_window" "$folder/files" 3 2> /dev/null
fi
"$build/bench/tool_lists" tasks 2000 5
