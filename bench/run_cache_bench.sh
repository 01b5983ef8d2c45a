#!/usr/bin/env bash
# Verdict cache benchmark: times `kesto scan` without the cache, with an empty cache (the first
# scan, which fills it) and with the cache that first scan filled (the second scan), next to
# scan_floor (one read of every file and a CRC, nothing else), on three cases: a mixed tree of
# 3 GB with the page cache warm, 200,000 tiny files warm, and the mixed tree cold (each file's
# data dropped from the page cache before every scan). The runs go round by round, each round in
# another order (the first and second scans stay together, the second needs the first's cache);
# the medians of the per-round ratios are checked against their targets, with kesto's peak
# memory and the size of the cache's store. Every kesto run must list exactly the planted
# detections: a cache never hides one. Builds nothing; see bench/README.md.
set -euo pipefail

usage() {
    cat <<'EOF'
Usage: bench/run_cache_bench.sh [OPTIONS] BUILD_DIR

Runs BUILD_DIR/bin/kesto and BUILD_DIR/bench/{make_corpus,scan_floor,evict_files}; needs jq.
Build them first (with the bench preset configured: cmake --preset bench):
  cmake --build BUILD_DIR --target kesto make_corpus scan_floor evict_files

  --corpora DIR       folder of the corpora (default BUILD_DIR/cache-corpora); a missing corpus
                      is generated there, and the verdict caches are kept in DIR/verdict-caches
  --cases LIST        comma-separated cases out of warm,tiny,cold (default all three)
  --runs N            rounds per case (default 5)
  --threads N         threads of scan_floor (default: the processor count, as kesto uses)
  --wait-idle SECONDS before each run, wait up to this long for other work on the machine to
                      stop (default 60; 0 does not wait)
  --keep              keep the outputs of every run (their folder is printed)

Exit status: 0 when every target is met, 3 when one is missed, 1 when a kesto run did not list
exactly the planted detections, 2 on bad usage or a missing program.
EOF
}

build=""
corpora=""
cases=warm,tiny,cold
runs=5
threads=$(getconf _NPROCESSORS_ONLN)
wait_idle=60
keep=0
while (($# > 0)); do
    case $1 in
    --corpora) corpora=$2; shift 2 ;;
    --cases) cases=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --threads) threads=$2; shift 2 ;;
    --wait-idle) wait_idle=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    -h | --help) usage; exit 0 ;;
    -*) echo "run_cache_bench.sh: unknown option '$1'" >&2; usage >&2; exit 2 ;;
    *)
        [[ -z $build ]] || { echo "run_cache_bench.sh: only one BUILD_DIR" >&2; exit 2; }
        build=$1; shift ;;
    esac
done
[[ -n $build ]] || { usage >&2; exit 2; }
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "run_cache_bench.sh: --runs takes a number from 1" >&2; exit 2; }
build=$(realpath "$build")
corpora=${corpora:-$build/cache-corpora}

kesto=$build/bin/kesto
make_corpus=$build/bench/make_corpus
scan_floor=$build/bench/scan_floor
evict_files=$build/bench/evict_files
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
require_programs run_cache_bench.sh "$build" "kesto make_corpus scan_floor evict_files" \
    "$kesto" "$make_corpus" "$scan_floor" "$evict_files"
if ! command -v jq >/dev/null; then
    echo "run_cache_bench.sh: jq is missing; install it: sudo apt-get install jq" >&2
    exit 2
fi

# The corpus of each case: folder name and make_corpus options. The cold case reads the warm one.
# "tiny" is made as run_speed_bench.sh makes it, so --corpora BUILD_DIR/speed-corpora reuses it.
declare -A corpus_of=([warm]=mixed-3G [tiny]=tiny [cold]=mixed-3G)
declare -A corpus_options=(
    [mixed-3G]="--files 20000 --bytes 3G --mix mixed"
    [tiny]="--files 200000 --mix tiny"
)
# The runs of each case, in units that go together; each round starts with another unit. The
# first scan clears the cache before it, and the second uses what the first left in it.
declare -A units_of=(
    [warm]="nocache|first second|floor"
    [tiny]="nocache|first second|floor"
    [cold]="nocache|first second"
)
# The ratios of each case ("measured/reference") and their targets ("-": shown only).
declare -A ratios_of=(
    [warm]="second/floor first/nocache second/first"
    [tiny]="second/floor first/nocache second/first"
    [cold]="second/first first/nocache"
)
declare -A target_of=(
    [warm:second/floor]=0.15 [warm:first/nocache]=1.05
    [tiny:second/first]=0.5
    [cold:second/first]=0.1
)
# The peak resident memory no kesto run may pass, KiB (64 MiB).
rss_target_kib=65536
declare -A label=([nocache]=no-cache [first]=first [second]=second [floor]=floor)

IFS=, read -r -a case_list <<<"$cases"
for name in "${case_list[@]}"; do
    [[ -n ${corpus_of[$name]:-} ]] || { echo "run_cache_bench.sh: unknown case '$name'" >&2; exit 2; }
done

# The program measured; a build replacing it during the run is reported at the end.
kesto_stamp=$(stat -c '%y' "$kesto")
echo "== $kesto: $("$kesto" --version | head -1), built $kesto_stamp"

make_work_folder cache-bench

# prepare CORPUS: generates the corpus when missing and writes it out to the disk, so that its
# pages can be dropped from the cache; then waits until its files are settled for the cache.
prepare() {
    local dir=$corpora/$1
    if [[ ! -f $dir/corpus.txt ]]; then
        echo "== Generating the $1 corpus in $dir"
        mkdir -p "$corpora"
        # shellcheck disable=SC2086 # the options are words
        "$make_corpus" --out "$dir" ${corpus_options[$1]}
    fi
    # evict_files drops only pages already written out.
    sync -f "$dir"
    # The cache keeps a file only when its change time lies two seconds or more before the scan
    # began, and kesto's database index reads the database again while its change time is under
    # three seconds old. corpus.txt is written last: four seconds after it, every file qualifies.
    local newest now
    newest=$(stat -c %Z "$dir/corpus.txt" "$dir/Virus Database.dll" | sort -n | tail -1)
    now=$(date +%s)
    if ((now - newest < 4)); then
        sleep $((4 - (now - newest)))
    fi
}

# The cache folder of a case: below the corpora, outside the tree, so that evict_files leaves the
# store alone; private, as kesto requires of a cache folder.
cache_dir_of() {
    echo "$corpora/verdict-caches/$1"
}

# How busy the processors are with other work, in percent, measured over one second between runs
# (the load average would still count the previous run's threads).
busy_percent() {
    local a1 b1 c1 d1 e1 f1 g1 h1 a2 b2 c2 d2 e2 f2 g2 h2 total idle
    read -r _ a1 b1 c1 d1 e1 f1 g1 h1 _ </proc/stat
    sleep 1
    read -r _ a2 b2 c2 d2 e2 f2 g2 h2 _ </proc/stat
    total=$(((a2 + b2 + c2 + d2 + e2 + f2 + g2 + h2) - (a1 + b1 + c1 + d1 + e1 + f1 + g1 + h1)))
    idle=$(((d2 + e2) - (d1 + e1)))
    echo $((total > 0 ? 100 * (total - idle) / total : 0))
}
busy_runs=0

# Detection rows of a kesto --json output in the form of expected.txt: paths relative to the tree,
# sorted.
rows_of() {
    jq -r '.detections[] | "\(.location): \(.name) FOUND (\(.size) bytes)" +
        (if .information == "" then "" else " " + .information end)' "$1" |
        sed "s|^$2/||" | LC_ALL=C sort
}

# run_once CASE TOOL ROUND: one timed run. "wall user sys rss_kib checked cached" go to
# $work/CASE.TOOL.ROUND.numbers, and one line is printed.
run_once() {
    local name=$1 tool=$2 round=$3 dir=$corpora/${corpus_of[$1]}
    local tree=$dir/tree base=$work/$1.$2.$3 cache_dir rc=0 start end busy waited=0
    cache_dir=$(cache_dir_of "$name")
    local -a command
    case $tool in
    nocache) command=("$kesto" scan --json --no-cache --database "$dir/Virus Database.dll" "$tree") ;;
    first | second) command=("$kesto" scan --json --cache-dir "$cache_dir"
        --database "$dir/Virus Database.dll" "$tree") ;;
    floor) command=("$scan_floor" --threads "$threads" "$tree") ;;
    esac
    busy=$(busy_percent)
    while ((busy > 10 && waited < wait_idle)); do
        waited=$((waited + 1))
        busy=$(busy_percent)
    done
    if ((busy > 10)); then
        busy_runs=$((busy_runs + 1))
    fi
    if [[ $tool == first ]]; then
        "$kesto" cache clear --cache-dir "$cache_dir" >"$base.clear"
    fi
    if [[ $name == cold ]]; then
        "$evict_files" "$tree" >"$base.evict"
    fi
    start=$EPOCHREALTIME
    /usr/bin/time -v -o "$base.time" "${command[@]}" >"$base.out" 2>"$base.err" || rc=$?
    end=$EPOCHREALTIME
    # kesto ends with 1 when it lists something.
    if ((rc != 0)) && ! [[ $rc == 1 && $tool != floor ]]; then
        echo "run_cache_bench.sh: ${label[$tool]} exited with $rc on $name; its messages:" >&2
        head -20 "$base.err" >&2
        keep=1
        exit 1
    fi
    local checked=0 cached=0 note=""
    if [[ $tool != floor ]]; then
        if ! cmp -s <(rows_of "$base.out" "$tree") "$dir/expected.txt"; then
            echo "MISMATCH: the ${label[$tool]} scan on $name did not list the planted" \
                "detections; see $base.out and $dir/expected.txt" >&2
            diff <(rows_of "$base.out" "$tree") "$dir/expected.txt" | head -20 >&2 || true
            keep=1
            exit 1
        fi
        read -r checked cached < <(jq -r '"\(.checked) \(.cached)"' "$base.out")
        if [[ $tool == first && $cached != 0 ]]; then
            echo "run_cache_bench.sh: the first scan on $name answered $cached files from a" \
                "cache cleared just before it; see $base.out" >&2
            keep=1
            exit 1
        fi
        if [[ $tool == second && $cached == 0 ]]; then
            note=" (the cache answered no file: were the files changed less than 2 s before?)"
        fi
        if [[ -s $base.err ]]; then
            note+=" kesto said: $(head -1 "$base.err")"
        fi
    fi
    local user sys rss
    user=$(awk -F': ' '/User time/ { print $2 }' "$base.time")
    sys=$(awk -F': ' '/System time/ { print $2 }' "$base.time")
    rss=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$base.time")
    awk -v s="$start" -v e="$end" -v u="$user" -v y="$sys" -v r="$rss" -v c="$checked" \
        -v h="$cached" 'BEGIN { printf "%.4f %s %s %d %d %d\n", e - s, u, y, r, c, h }' \
        >"$base.numbers"
    local seconds
    seconds=$(cut -d' ' -f1 "$base.numbers")
    echo "$seconds $user $sys $rss $checked $cached" >>"$work/$name.$tool.numbers"
    {
        printf '   round %d: %-8s wall %7.3f s  user %6.2f s  sys %6.2f s  peak RSS %6.1f MiB' \
            "$((round + 1))" "${label[$tool]}" "$seconds" "$user" "$sys" \
            "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')"
        if [[ $tool != floor ]]; then
            printf '  cached %6d of %6d' "$cached" "$checked"
        fi
        printf '  (other work before: %d %% CPU)%s\n' "$busy" "$note"
    }
}

# median: the median of the numbers on standard input.
median() {
    sort -g | awk '{ v[++n] = $1 } END { printf "%.4f", (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2 }'
}
# field FILE N: the N-th field of every line.
field() {
    cut -d' ' -f"$2" "$1"
}

failed_targets=0
overall_rss=0
tables=()
for name in "${case_list[@]}"; do
    corpus=${corpus_of[$name]}
    prepare "$corpus"
    tree=$corpora/$corpus/tree
    cache_dir=$(cache_dir_of "$name")
    mkdir -p "$cache_dir"
    chmod 700 "$cache_dir"
    read -r files bytes < <(find "$tree" -type f -printf '%s\n' |
        awk '{ n++; s += $1 } END { printf "%d %.0f\n", n, s }')
    echo "== $name: $files files, $bytes bytes ($corpus corpus), $runs rounds; cache in $cache_dir"
    available_kb=$(awk '/^MemAvailable:/ { print $2 }' /proc/meminfo)
    if ((available_kb * 1024 < bytes * 11 / 10)); then
        echo "warning: $((available_kb / 1024)) MiB of memory available, less than the corpus;" \
            "warm runs will read from the disk" >&2
    fi
    if [[ $name != cold ]]; then
        find "$tree" -type f -print0 | xargs -0 cat >/dev/null
    fi
    IFS='|' read -r -a units <<<"${units_of[$name]}"
    for ratio in ${ratios_of[$name]}; do
        : >"$work/$name.${ratio/\//.}.ratios"
    done
    for ((round = 0; round < runs; round++)); do
        declare -A wall=()
        for ((i = 0; i < ${#units[@]}; i++)); do
            for tool in ${units[(i + round) % ${#units[@]}]}; do
                run_once "$name" "$tool" "$round"
                wall[$tool]=$(cut -d' ' -f1 "$work/$name.$tool.$round.numbers")
            done
        done
        for ratio in ${ratios_of[$name]}; do
            awk -v m="${wall[${ratio%/*}]}" -v r="${wall[${ratio#*/}]}" \
                'BEGIN { printf "%.4f\n", m / r }' >>"$work/$name.${ratio/\//.}.ratios"
        done
    done

    # The case's table: medians of each run, then the ratios against their targets.
    stats=$("$kesto" cache stats --json --cache-dir "$cache_dir")
    entries=$(jq -r .entries <<<"$stats")
    store_bytes=$(jq -r .bytes <<<"$stats")
    table="== $name: $files files, $bytes bytes; medians of $runs rounds"$'\n'
    table+=$(printf '%-10s %8s %8s %8s %8s %8s %10s %16s' run "wall s" "min s" "max s" "user s" \
        "sys s" "peak MiB" "cached/checked")$'\n'
    case_rss=0
    for unit in "${units[@]}"; do
        for tool in $unit; do
            numbers=$work/$name.$tool.numbers
            rss=$(field "$numbers" 4 | sort -n | tail -1)
            table+=$(printf '%-10s %8.3f %8.3f %8.3f %8.2f %8.2f %10.1f' "${label[$tool]}" \
                "$(field "$numbers" 1 | median)" "$(field "$numbers" 1 | sort -g | head -1)" \
                "$(field "$numbers" 1 | sort -g | tail -1)" "$(field "$numbers" 2 | median)" \
                "$(field "$numbers" 3 | median)" "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')")
            if [[ $tool != floor ]]; then
                if ((rss > case_rss)); then
                    case_rss=$rss
                fi
                table+=$(printf ' %16s' "$(field "$numbers" 6 | median | cut -d. -f1)/$(
                    field "$numbers" 5 | median | cut -d. -f1)")
            fi
            table+=$'\n'
        done
    done
    table+=$(printf '%-14s %8s %8s %8s %9s %6s' ratio median min max target result)$'\n'
    for ratio in ${ratios_of[$name]}; do
        file=$work/$name.${ratio/\//.}.ratios
        value=$(median <"$file")
        target=${target_of[$name:$ratio]:-}
        result=-
        if [[ -n $target ]]; then
            if awk -v v="$value" -v t="$target" 'BEGIN { exit !(v <= t) }'; then
                result=PASS
            else
                result=FAIL
                failed_targets=$((failed_targets + 1))
            fi
        fi
        table+=$(printf '%-14s %8.4f %8.4f %8.4f %9s %6s' "${ratio/nocache/no-cache}" "$value" \
            "$(sort -g "$file" | head -1)" "$(sort -g "$file" | tail -1)" "${target:+<= $target}" \
            "$result")$'\n'
    done
    result=PASS
    if ((case_rss > rss_target_kib)); then
        result=FAIL
        failed_targets=$((failed_targets + 1))
    fi
    if ((case_rss > overall_rss)); then
        overall_rss=$case_rss
    fi
    table+=$(printf 'kesto peak RSS %.1f MiB (target <= %d MiB) %s; cache store after the case: %d' \
        "$(awk -v k="$case_rss" 'BEGIN { print k / 1024 }')" $((rss_target_kib / 1024)) "$result" \
        "$entries")
    table+=$(printf ' entries, %d bytes (%.1f MiB) on disk' "$store_bytes" \
        "$(awk -v b="$store_bytes" 'BEGIN { print b / 1048576 }')")
    tables+=("$table")
done

echo
echo "== Results (ratios: median of the per-round ratios of wall times; floor: scan_floor on" \
    "$threads threads; every kesto run listed exactly the planted detections)"
for table in "${tables[@]}"; do
    echo
    echo "$table"
done
echo
result=PASS
if ((overall_rss > rss_target_kib)); then
    result=FAIL
fi
printf 'Peak RSS of all kesto runs: %.1f MiB (target <= %d MiB) %s\n' \
    "$(awk -v k="$overall_rss" 'BEGIN { print k / 1024 }')" $((rss_target_kib / 1024)) "$result"
if [[ $(stat -c '%y' "$kesto") != "$kesto_stamp" ]]; then
    echo "warning: $kesto was rebuilt during the run; the runs measured different programs" >&2
fi
if ((busy_runs > 0)); then
    echo "warning: other work kept the processors more than 10 % busy just before $busy_runs" \
        "of the runs; their numbers are disturbed" >&2
fi
if ((keep == 1)); then
    echo "Outputs of every run: $work"
fi
if ((failed_targets > 0)); then
    echo "$failed_targets target(s) missed"
    exit 3
fi
echo "OK: every target met"
