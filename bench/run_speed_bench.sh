#!/usr/bin/env bash
# Scan speed against the floor: times `kesto scan` next to scan_floor (one read of every file and a
# CRC, nothing else) on four corpora: a mixed tree with the page cache warm, a tree of programs
# only, 200,000 tiny files, and the mixed tree cold (each file dropped from the page cache before
# every run). The programs run round by round, each round in another order; each round gives one
# ratio kesto/floor, and the median of those ratios is reported with kesto's peak memory. Every
# kesto run must list exactly the planted detections. The desktop case times the main window's scan
# (gui_scan, offscreen) against `kesto scan` on the mixed tree instead. See bench/README.md.
set -euo pipefail

usage() {
    cat <<'EOF'
Usage: bench/run_speed_bench.sh [OPTIONS] BUILD_DIR

Runs BUILD_DIR/bin/kesto and BUILD_DIR/bench/{make_corpus,scan_floor,evict_files}, and for the
desktop case BUILD_DIR/bench/gui_scan (a desktop build).

  --corpora DIR     folder of the corpora (default BUILD_DIR/speed-corpora); a missing corpus
                    is generated there
  --cases LIST      comma-separated cases out of mixed,programs,tiny,cold,desktop (default the
                    first four; desktop times the main window's scan against kesto scan on the
                    mixed corpus)
  --runs N          rounds per case (default 5)
  --threads N       threads of scan_floor (default: the processor count, as kesto uses)
  --baseline PATH   another kesto program timed in the same rounds (say, a build before a
                    change); the median of the per-round ratios kesto/baseline is reported too
  --keep            keep the outputs of every run (their folder is printed)
EOF
}

build=""
corpora=""
cases=mixed,programs,tiny,cold
runs=5
threads=$(getconf _NPROCESSORS_ONLN)
baseline=""
keep=0
while (($# > 0)); do
    case $1 in
    --corpora) corpora=$2; shift 2 ;;
    --cases) cases=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --threads) threads=$2; shift 2 ;;
    --baseline) baseline=$(realpath "$2"); shift 2 ;;
    --keep) keep=1; shift ;;
    -h | --help) usage; exit 0 ;;
    -*) echo "run_speed_bench.sh: unknown option '$1'" >&2; usage >&2; exit 2 ;;
    *)
        [[ -z $build ]] || { echo "run_speed_bench.sh: only one BUILD_DIR" >&2; exit 2; }
        build=$1; shift ;;
    esac
done
[[ -n $build ]] || { usage >&2; exit 2; }
build=$(realpath "$build")
corpora=${corpora:-$build/speed-corpora}

kesto=$build/bin/kesto
make_corpus=$build/bench/make_corpus
scan_floor=$build/bench/scan_floor
evict_files=$build/bench/evict_files
gui_scan=$build/bench/gui_scan
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
require_programs run_speed_bench.sh "$build" "kesto make_corpus scan_floor evict_files" \
    "$kesto" "$make_corpus" "$scan_floor" "$evict_files" ${baseline:+"$baseline"}

# The corpus of each case: folder name and make_corpus options. The cold case reads the mixed one.
declare -A corpus_of=([mixed]=mixed [programs]=programs [tiny]=tiny [cold]=mixed [desktop]=mixed)
declare -A corpus_options=(
    [mixed]="--files 20000 --bytes 1G --mix mixed"
    [programs]="--files 1000 --bytes 2G --mix programs"
    [tiny]="--files 200000 --mix tiny"
)
IFS=, read -r -a case_list <<<"$cases"
for name in "${case_list[@]}"; do
    [[ -n ${corpus_of[$name]:-} ]] || { echo "run_speed_bench.sh: unknown case '$name'" >&2; exit 2; }
    if [[ $name == desktop && ! -x $gui_scan ]]; then
        echo "run_speed_bench.sh: $gui_scan is missing; build it (a desktop build) first:" >&2
        echo "  cmake --build $build --target gui_scan" >&2
        exit 2
    fi
done

# These cases time the reading of every file: kesto reads every file (--no-cache; the cache has a
# benchmark of its own, run_cache_bench.sh), and so does a baseline build that knows the option.
baseline_flags=()
if [[ -n $baseline ]] && "$baseline" --help 2>/dev/null | grep -q -- --no-cache; then
    baseline_flags=(--no-cache)
fi
make_work_folder speed-bench

# prepare CORPUS: generates the corpus when missing and writes it out to the disk, so that its
# pages can be dropped from the cache.
prepare() {
    local dir=$corpora/$1
    if [[ ! -f $dir/corpus.txt ]]; then
        echo "== Generating the $1 corpus in $dir"
        # shellcheck disable=SC2086 # the options are words
        "$make_corpus" --out "$dir" ${corpus_options[$1]}
        sync -f "$dir"
    fi
    # kesto's database index reads the file again while its change time is under three seconds
    # old; a fresh database waits that out, so that every run sees the same.
    local changed now
    changed=$(stat -c %Z "$dir/Virus Database.dll")
    now=$(date +%s)
    if ((now - changed < 4)); then
        sleep $((4 - (now - changed)))
    fi
}

# Detection rows of a scan's output, paths relative to the tree, sorted.
rows_of() {
    grep -F ' FOUND (' "$1" | sed "s|^$2/||" | LC_ALL=C sort || true
}

# run_once CASE TOOL ROUND: one timed run; "wall_seconds peak_rss_kib" go to $work/CASE.TOOL.ROUND.numbers.
run_once() {
    local name=$1 tool=$2 round=$3 dir=$corpora/${corpus_of[$1]}
    local tree=$dir/tree base=$work/$1.$2.$3 rc=0 start end
    local -a command
    case $tool in
    kesto) command=("$kesto" scan --no-cache --database "$dir/Virus Database.dll" "$tree") ;;
    baseline) command=("$baseline" scan "${baseline_flags[@]}" --database "$dir/Virus Database.dll"
        "$tree") ;;
    floor) command=("$scan_floor" --threads "$threads" "$tree") ;;
    desktop) command=(env QT_QPA_PLATFORM=offscreen "$gui_scan" --no-cache --database
        "$dir/Virus Database.dll" "$tree") ;;
    esac
    if [[ $name == cold ]]; then
        "$evict_files" "$tree" >/dev/null
    fi
    start=$EPOCHREALTIME
    /usr/bin/time -f %M -o "$base.rss" "${command[@]}" >"$base.out" 2>"$base.err" || rc=$?
    end=$EPOCHREALTIME
    # kesto ends with 1 when it lists something.
    if ((rc != 0)) && ! [[ $rc == 1 && $tool != floor ]]; then
        echo "run_speed_bench.sh: $tool exited with $rc on $name; its messages:" >&2
        head -20 "$base.err" >&2
        exit 1
    fi
    if [[ $tool == desktop ]]; then
        # The window shows rows, not text: its detection count must be the planted one.
        local shown
        shown=$(awk '/^desktop scan:/ { print $3 }' "$base.out")
        if [[ $shown != "$(wc -l <"$dir/expected.txt")" ]]; then
            echo "MISMATCH: the desktop scan on $name counted '$shown' detections; see $base.out" >&2
            keep=1
            exit 1
        fi
    elif [[ $tool != floor ]] && ! cmp -s <(rows_of "$base.out" "$tree") "$dir/expected.txt"; then
        echo "MISMATCH: $tool on $name did not list the planted detections; see $base.out" >&2
        keep=1
        exit 1
    fi
    awk -v s="$start" -v e="$end" -v rss="$(tail -1 "$base.rss")" \
        'BEGIN { printf "%.3f %d\n", e - s, rss }' >"$base.numbers"
}

median() {
    sort -g | awk '{ v[++n] = $1 } END { printf "%.3f", (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2 }'
}

summary=()
desktop_row=""
for name in "${case_list[@]}"; do
    # The desktop case compares the window's scan with kesto's; the others compare kesto with the
    # floor. "reference" is the tool of the ratio's denominator.
    if [[ $name == desktop ]]; then
        tools=(kesto desktop)
        measured=desktop reference=kesto
    else
        tools=(kesto floor)
        measured=kesto reference=floor
        if [[ -n $baseline ]]; then
            tools+=(baseline)
        fi
    fi
    prepare "${corpus_of[$name]}"
    tree=$corpora/${corpus_of[$name]}/tree
    read -r files bytes < <(find "$tree" -type f -printf '%s\n' |
        awk '{ n++; s += $1 } END { printf "%d %.0f\n", n, s }')
    echo "== $name: $files files, $bytes bytes, $runs rounds"
    if [[ $name != cold ]]; then
        find "$tree" -type f -print0 | xargs -0 cat >/dev/null
    fi
    : >"$work/$name.ratios"
    : >"$work/$name.baseline-ratios"
    for ((round = 0; round < runs; round++)); do
        declare -A wall=() rss=()
        line="   round $((round + 1)):"
        for ((i = 0; i < ${#tools[@]}; i++)); do
            tool=${tools[(i + round) % ${#tools[@]}]}
            run_once "$name" "$tool" "$round"
            read -r "wall[$tool]" "rss[$tool]" <"$work/$name.$tool.$round.numbers"
            echo "${wall[$tool]} ${rss[$tool]}" >>"$work/$name.$tool.numbers"
            line+=" $tool ${wall[$tool]} s $((rss[$tool] / 1024)) MiB;"
            if [[ $tool == desktop ]]; then
                line+=" (click to end $(awk '/^desktop scan:/ { print $6 }' \
                    "$work/$name.desktop.$round.out") s);"
            fi
        done
        echo "$line"
        awk -v k="${wall[$measured]}" -v f="${wall[$reference]}" 'BEGIN { printf "%.4f\n", k / f }' \
            >>"$work/$name.ratios"
        if [[ -n ${wall[baseline]:-} ]]; then
            awk -v k="${wall[kesto]}" -v b="${wall[baseline]}" 'BEGIN { printf "%.4f\n", k / b }' \
                >>"$work/$name.baseline-ratios"
        fi
    done
    ratio=$(median <"$work/$name.ratios")
    if [[ $name == desktop ]]; then
        desktop_wall=$(cut -d' ' -f1 "$work/$name.desktop.numbers" | median)
        desktop_rss=$(cut -d' ' -f2 "$work/$name.desktop.numbers" | sort -n | tail -1)
        desktop_row=$(printf '%-9s %16s %10s %12s %12.1f' "$name" "$ratio" "$desktop_wall" \
            "$(cut -d' ' -f1 "$work/$name.kesto.numbers" | median)" \
            "$(awk -v k="$desktop_rss" 'BEGIN { print k / 1024 }')")
        continue
    fi
    kesto_wall=$(cut -d' ' -f1 "$work/$name.kesto.numbers" | median)
    floor_wall=$(cut -d' ' -f1 "$work/$name.floor.numbers" | median)
    kesto_rss=$(cut -d' ' -f2 "$work/$name.kesto.numbers" | sort -n | tail -1)
    row=$(printf '%-9s %8s %10s %10s %12.1f' "$name" "$ratio" "$kesto_wall" "$floor_wall" \
        "$(awk -v k="$kesto_rss" 'BEGIN { print k / 1024 }')")
    if [[ -n $baseline ]]; then
        row+=$(printf ' %16s' "$(median <"$work/$name.baseline-ratios")")
    fi
    summary+=("$row")
done

echo
echo "== Medians of $runs rounds (each round in another order); scan_floor on $threads threads"
if ((${#summary[@]} > 0)); then
    header=$(printf '%-9s %8s %10s %10s %12s' case kesto/floor "kesto s" "floor s" "kesto MiB")
    if [[ -n $baseline ]]; then
        header+=$(printf ' %16s' kesto/baseline)
    fi
    echo "$header"
    printf '%s\n' "${summary[@]}"
fi
if [[ -n $desktop_row ]]; then
    if ((${#summary[@]} > 0)); then
        echo
    fi
    printf '%-9s %16s %10s %12s %12s\n' case desktop/command "desktop s" "kesto s" "desktop MiB"
    echo "$desktop_row"
fi
echo "(ratios: median of the per-round ratios of wall times; MiB: the largest peak resident" \
    "set size; every kesto run listed exactly the planted detections)"
if ((keep == 1)); then
    echo "Outputs of every run: $work"
fi
