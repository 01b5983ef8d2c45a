#!/usr/bin/env bash
# Times a cold build of two commits, run after run, to show what a change did to the build time.
#
# Usage: bench/build_time.sh [--all] [--keep] OLD_COMMIT NEW_COMMIT [RUNS]
#
# Clones this repository at each commit into a folder under /tmp and, RUNS times (default 3),
# alternating old and new, removes the build folder and times the README's first build:
#   cmake --preset default && cmake --build --preset default
# With --all it then times `cmake --build build` as well (everything else: tests, installed
# files), so that the "all" columns add up to a full build from scratch. ccache is disabled
# (CCACHE_DISABLE=1), so every run compiles every file. Prints wall and CPU seconds (user + system,
# of every process the build started) per run, then the median of each column per commit.
# --keep leaves the clones in place (their paths are printed).
set -euo pipefail

usage() {
    echo "usage: bench/build_time.sh [--all] [--keep] OLD_COMMIT NEW_COMMIT [RUNS]" >&2
    exit 2
}

all=0
keep=0
arguments=()
for argument in "$@"; do
    case $argument in
        --all) all=1 ;;
        --keep) keep=1 ;;
        -*) usage ;;
        *) arguments+=("$argument") ;;
    esac
done
[ "${#arguments[@]}" -ge 2 ] && [ "${#arguments[@]}" -le 3 ] || usage
runs=${arguments[2]:-3}
[[ $runs =~ ^[1-9][0-9]*$ ]] || usage

repository=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
commits=()
for commit in "${arguments[0]}" "${arguments[1]}"; do
    resolved=$(git -C "$repository" rev-parse --verify --quiet "$commit^{commit}") || {
        echo "bench/build_time.sh: '$commit' is not a commit of $repository" >&2
        exit 2
    }
    commits+=("$resolved")
done

work=$(mktemp -d /tmp/kesto-build-time.XXXXXX)
if [ "$keep" -eq 0 ]; then
    trap 'rm -rf "$work"' EXIT
fi
sides=(old new)
for index in 0 1; do
    folder=$work/${sides[$index]}
    git clone --quiet --no-checkout "$repository" "$folder"
    git -C "$folder" checkout --quiet --detach "${commits[$index]}"
done
[ "$keep" -eq 0 ] || echo "clones: $work/old $work/new"

export CCACHE_DISABLE=1
TIMEFORMAT='%R %U %S'

# Runs a command in a clone and prints "WALL CPU" for it; its output goes to the run's log.
timed() {
    local folder=$1 log=$2 seconds
    shift 2
    seconds=$({ time (cd "$folder" && "$@" >>"$log" 2>&1); } 2>&1) || {
        echo "bench/build_time.sh: '$*' failed in $folder:" >&2
        tail -n 20 "$log" >&2
        return 1
    }
    awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }' <<<"$seconds"
}

median() {
    sort -n | awk '{ value[NR] = $1 } END {
        if (NR % 2) print value[(NR + 1) / 2]; else printf "%.2f\n", (value[NR / 2] + value[NR / 2 + 1]) / 2 }'
}

results=$work/results
: >"$results"
header="run  commit        first wall  first CPU"
[ "$all" -eq 0 ] || header+="   all wall    all CPU"
echo "$header"
for run in $(seq 1 "$runs"); do
    for index in 0 1; do
        side=${sides[$index]}
        folder=$work/$side
        log=$work/$side-$run.log
        rm -rf "$folder/build"
        measured=$(timed "$folder" "$log" \
            sh -c 'cmake --preset default && cmake --build --preset default')
        read -r wall cpu <<<"$measured"
        line=$(printf '%-4s %-12s %11.1f %10.1f' "$run" "$side ${commits[$index]:0:7}" "$wall" "$cpu")
        record="$side $wall $cpu"
        if [ "$all" -eq 1 ]; then
            measured=$(timed "$folder" "$log" cmake --build build)
            read -r restWall restCpu <<<"$measured"
            allWall=$(awk -v a="$wall" -v b="$restWall" 'BEGIN { print a + b }')
            allCpu=$(awk -v a="$cpu" -v b="$restCpu" 'BEGIN { print a + b }')
            line+=$(printf ' %10.1f %10.1f' "$allWall" "$allCpu")
            record+=" $allWall $allCpu"
        fi
        echo "$line"
        echo "$record" >>"$results"
    done
done

echo
echo "median (seconds)"
echo "$header" | sed 's/^run  /     /'
for index in 0 1; do
    side=${sides[$index]}
    line=$(printf '     %-12s' "$side ${commits[$index]:0:7}")
    columns=3
    [ "$all" -eq 0 ] || columns=5
    for column in $(seq 2 "$columns"); do
        value=$(awk -v side="$side" -v column="$column" '$1 == side { print $column }' "$results" |
            median)
        line+=$(printf ' %10.1f' "$value")
    done
    echo "$line"
done
