#!/usr/bin/env bash
# Whole-scan benchmark: times `kesto scan` next to scan_floor (the least work a scan can do) and
# classic_scan (the one-file-at-a-time scan with a line-by-line database read per lookup) on a
# generated corpus, and checks that kesto lists exactly the detections the classic scan lists.
# scan_floor also runs with --whole-file (each file read in one piece, as kesto reads it) and with
# --whole-file --buffer-offset 16 (the buffer where malloc puts a large block), which separate what
# a read buffer's size and its place in memory cost. When the general pattern tool yara is on PATH,
# it runs too, with rules made by yara_rules from the same database and the built-in virus
# patterns (the full rules, --yara-runs times, as they are slow) and with the pattern rule alone
# (every round); the files it flags are compared with kesto's. Builds nothing; see bench/README.md.
set -euo pipefail

usage() {
    cat <<'EOF'
Usage: bench/run_scan_bench.sh [OPTIONS] BUILD_DIR

Runs BUILD_DIR/bin/kesto and BUILD_DIR/bench/{make_corpus,scan_floor,classic_scan}, and, when
yara is on PATH and BUILD_DIR/bench/yara_rules is built, yara with the rules yara_rules writes.

  --corpus DIR        the corpus folder (default BUILD_DIR/bench-corpus); a corpus is generated
                      there when DIR/corpus.txt is missing
  --files N           files of a generated corpus (default 20000)
  --bytes SIZE        total size of a generated corpus, k/M/G suffixes (default 3G)
  --seed N            seed of a generated corpus (default 1)
  --runs N            timed runs of kesto scan and of the three scan_floor variants (default 3)
  --classic-runs N    timed runs of classic_scan (default 3; 0 leaves it out)
  --yara-runs N       timed runs of yara with the full rules, checksums and patterns (default 0:
                      yara computes a file's CRC-32 again for every checksum rule, so a run takes
                      about a second per MB of files below 750 KB and 1,000 database lines on
                      two processors); yara with the pattern rule alone runs --runs times
  --threads N         threads of scan_floor and yara (default: the processor count, as kesto
                      uses)
  --wait-idle SECONDS before each run, wait up to this long for other work on the machine to
                      stop (default 60; 0 does not wait)
  --keep              keep the outputs of every run (their folder is printed)
EOF
}

build=""
corpus=""
files=20000
bytes=3G
seed=1
runs=3
classic_runs=3
yara_runs=0
threads=$(getconf _NPROCESSORS_ONLN)
keep=0
wait_idle=60
while (($# > 0)); do
    case $1 in
    --corpus) corpus=$2; shift 2 ;;
    --files) files=$2; shift 2 ;;
    --bytes) bytes=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --classic-runs) classic_runs=$2; shift 2 ;;
    --yara-runs) yara_runs=$2; shift 2 ;;
    --threads) threads=$2; shift 2 ;;
    --wait-idle) wait_idle=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    -h | --help) usage; exit 0 ;;
    -*) echo "run_scan_bench.sh: unknown option '$1'" >&2; usage >&2; exit 2 ;;
    *)
        [[ -z $build ]] || { echo "run_scan_bench.sh: only one BUILD_DIR" >&2; exit 2; }
        build=$1; shift ;;
    esac
done
[[ -n $build ]] || { usage >&2; exit 2; }
build=$(realpath "$build")
corpus=${corpus:-$build/bench-corpus}

kesto=$build/bin/kesto
make_corpus=$build/bench/make_corpus
scan_floor=$build/bench/scan_floor
classic_scan=$build/bench/classic_scan
yara_rules=$build/bench/yara_rules
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
require_programs run_scan_bench.sh "$build" "kesto make_corpus scan_floor classic_scan" \
    "$kesto" "$make_corpus" "$scan_floor" "$classic_scan"
yara=$(command -v yara || true)
if [[ -z $yara ]]; then
    echo "note: yara is not on PATH; it is left out (Debian: sudo apt-get install yara)"
elif [[ ! -x $yara_rules ]]; then
    echo "note: $yara_rules is missing; yara is left out (cmake --build $build --target yara_rules)"
    yara=""
fi

# ---------------------------------------------------------------------------------------------
# The corpus

if [[ ! -f $corpus/corpus.txt ]]; then
    echo "== Generating the corpus in $corpus"
    "$make_corpus" --out "$corpus" --files "$files" --bytes "$bytes" --seed "$seed"
fi
tree=$(realpath "$corpus/tree")
database=$corpus/Virus\ Database.dll
expected=$corpus/expected.txt

read -r corpus_files corpus_bytes < <(find "$tree" -type f -printf '%s\n' |
    awk '{ n++; s += $1 } END { printf "%d %.0f\n", n, s }')
echo "== Corpus: $corpus_files files, $corpus_bytes bytes in $tree"

available_kb=$(awk '/^MemAvailable:/ { print $2 }' /proc/meminfo)
if ((available_kb * 1024 < corpus_bytes * 11 / 10)); then
    echo "warning: $((available_kb / 1024)) MiB of memory available, less than the corpus;" \
        "the runs will read from the disk, not the page cache" >&2
fi

echo "== Warming the page cache (every file read once)"
start=$(date +%s.%N)
find "$tree" -type f -print0 | xargs -0 cat >/dev/null
cat "$database" >/dev/null
echo "   $(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.1f", e - s }') s"

# kesto's database index checks the file's content again while its change time is less than
# three seconds old; a freshly generated database waits that out, so that every run sees the same.
changed=$(stat -c %Z "$database")
now=$(date +%s)
if ((now - changed < 4)); then
    sleep $((4 - (now - changed)))
fi

# ---------------------------------------------------------------------------------------------
# Timed runs

make_work_folder scan-bench

busy_runs=0

# How busy the processors are with other work, in percent, measured over one second between runs
# (the load average would still count the previous run's threads). Every other process shows in
# the numbers.
busy_percent() {
    local a1 b1 c1 d1 e1 f1 g1 h1 a2 b2 c2 d2 e2 f2 g2 h2 total idle
    read -r _ a1 b1 c1 d1 e1 f1 g1 h1 _ </proc/stat
    sleep 1
    read -r _ a2 b2 c2 d2 e2 f2 g2 h2 _ </proc/stat
    total=$(((a2 + b2 + c2 + d2 + e2 + f2 + g2 + h2) - (a1 + b1 + c1 + d1 + e1 + f1 + g1 + h1)))
    idle=$(((d2 + e2) - (d1 + e1)))
    echo $((total > 0 ? 100 * (total - idle) / total : 0))
}

# Seconds from the "h:mm:ss" or "m:ss" of /usr/bin/time.
wall_seconds() {
    awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; printf "%.2f", s }' <<<"$1"
}

# The programs, each with its command line. The runs go round by round (every program once, then
# the next round), so that a change in the machine's state during the benchmark touches all alike.
tools=(kesto scan_floor floor_whole floor_offset)
# yara's rules: one per checksum line before the end line and one holding the virus patterns, or
# the pattern rule alone.
if [[ -n $yara ]]; then
    rules=$work/kesto.yar
    pattern_rules=$work/patterns.yar
    "$yara_rules" "$database" >"$rules"
    "$yara_rules" --patterns-only >"$pattern_rules"
    echo "== yara $("$yara" --version): $(grep -c '^rule ' "$rules") rules in $rules"
    tools+=(yara_patterns)
    if ((yara_runs > 0)); then
        tools+=(yara)
    else
        echo "note: yara with the full rules is left out (--yara-runs 0)"
    fi
fi
declare -A label=(
    [kesto]="kesto scan"
    [scan_floor]="scan_floor"
    [floor_whole]="floor whole-file"
    [floor_offset]="floor whole+16"
    [classic_scan]="classic_scan"
    [yara]="yara full"
    [yara_patterns]="yara patterns"
)
# shellcheck disable=SC2034 # read through the name reference in run_once
{
    # Every file read, as by the other programs: the verdict cache has its own benchmark.
    cmd_kesto=("$kesto" scan --no-cache --database "$database" "$tree")
    cmd_scan_floor=("$scan_floor" --threads "$threads" "$tree")
    cmd_floor_whole=("$scan_floor" --threads "$threads" --whole-file "$tree")
    cmd_floor_offset=("$scan_floor" --threads "$threads" --whole-file --buffer-offset 16 "$tree")
    cmd_classic_scan=("$classic_scan" --database "$database" "$tree")
    # -f: each pattern found once per file; -N: no symbolic links followed, as kesto's walk.
    cmd_yara=("$yara" -r -f -N -p "$threads" "${rules:-}" "$tree")
    cmd_yara_patterns=("$yara" -r -f -N -p "$threads" "${pattern_rules:-}" "$tree")
}
if ((classic_runs > 0)); then
    tools+=(classic_scan)
fi

runs_of() {
    case $1 in
    classic_scan) echo "$classic_runs" ;;
    yara) echo "$yara_runs" ;;
    *) echo "$runs" ;;
    esac
}

# run_once TOOL RUN: one timed run; its output, messages and time report go to $work/TOOL.RUN.*
run_once() {
    local tool=$1 run=$2 base=$work/$1.$2 rc=0 busy
    local -n command=cmd_$tool
    # Waits up to --wait-idle seconds for other work to stop.
    local waited=0
    busy=$(busy_percent)
    while ((busy > 10 && waited < wait_idle)); do
        waited=$((waited + 1))
        busy=$(busy_percent)
    done
    if ((busy > 10)); then
        busy_runs=$((busy_runs + 1))
    fi
    /usr/bin/time -v -o "$base.time" "${command[@]}" >"$base.out" 2>"$base.err" || rc=$?
    # kesto and classic_scan end with 1 when they list something.
    if ((rc != 0)) && ! [[ $rc == 1 && ($tool == kesto || $tool == classic_scan) ]]; then
        echo "run_scan_bench.sh: ${label[$tool]} exited with $rc; its messages:" >&2
        head -20 "$base.err" >&2
        exit 1
    fi
    local wall rss user sys
    wall=$(wall_seconds "$(awk '/Elapsed \(wall clock\)/ { print $NF }' "$base.time")")
    rss=$(awk '/Maximum resident set size/ { print $NF }' "$base.time")
    user=$(awk '/User time/ { print $NF }' "$base.time")
    sys=$(awk '/System time/ { print $NF }' "$base.time")
    echo "$wall $user $sys $rss" >"$base.numbers"
    printf '   %-16s wall %6.2f s   user %6.2f s   sys %6.2f s   peak RSS %6.1f MiB   %s\n' \
        "${label[$tool]}" "$wall" "$user" "$sys" "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')" \
        "(other work before: $busy % CPU)"
}

# summary_of TOOL: one table row from the tool's runs.
summary_of() {
    local tool=$1
    cat "$work/$tool".*.numbers | sort -g | awk -v name="${label[$tool]}" \
        -v files="$corpus_files" -v bytes="$corpus_bytes" '
        { n++; wall[n] = $1; cpu += $2 + $3; if ($4 > rss) rss = $4 }
        END {
            median = (n % 2) ? wall[(n + 1) / 2] : (wall[n / 2] + wall[n / 2 + 1]) / 2
            printf "%-16s %4d %9.2f %9.2f %9.2f %10.0f %9.1f %10.2f %10.1f\n", name, n, median,
                wall[1], wall[n], files / median, bytes / 1e6 / median, cpu / n, rss / 1024
        }'
}

# Each round starts with another program, so that none always runs right after the same one.
rounds=$((runs > classic_runs ? runs : classic_runs))
rounds=$((rounds > yara_runs ? rounds : yara_runs))
for ((round = 1; round <= rounds; round++)); do
    echo "== Round $round of $rounds"
    for ((i = 0; i < ${#tools[@]}; i++)); do
        tool=${tools[(i + round - 1) % ${#tools[@]}]}
        if ((round <= $(runs_of "$tool"))); then
            run_once "$tool" "$round"
        fi
    done
done

echo
echo "== Results: $corpus_files files, $corpus_bytes bytes, page cache warm;" \
    "kesto: one worker per processor ($(getconf _NPROCESSORS_ONLN)), scan_floor: $threads threads"
printf '%-16s %4s %9s %9s %9s %10s %9s %10s %10s\n' tool runs "wall s" "min s" "max s" \
    "files/s" "MB/s" "cpu s/run" "peakRSS MiB"
for tool in "${tools[@]}"; do
    summary_of "$tool"
done
if ((busy_runs > 0)); then
    echo "warning: other work kept the processors more than 10 % busy just before $busy_runs" \
        "of the runs; their numbers are disturbed" >&2
fi
echo "(wall: median of the runs; files/s and MB/s: the whole corpus over the median wall time," \
    "MB = 10^6 bytes; cpu: user + system time; peak RSS: the largest of the runs)"
# ratio_to TOOL: the median of the per-round ratios kesto/TOOL of the rounds both ran in.
ratio_to() {
    local run
    for ((run = 1; run <= runs; run++)); do
        if [[ -f $work/$1.$run.numbers ]]; then
            echo "$(cut -d' ' -f1 "$work/kesto.$run.numbers") $(cut -d' ' -f1 "$work/$1.$run.numbers")"
        fi
    done | awk '$2 > 0 { print $1 / $2 }' | sort -g |
        awk -v name="${label[$1]}" '{ v[++n] = $1 }
            END { if (n) printf "kesto/%s: %.4g (median of %d per-round ratios of wall times)\n",
                name, (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2, n }'
}
if [[ -n $yara ]]; then
    ratio_to yara_patterns
    ratio_to yara
fi

# ---------------------------------------------------------------------------------------------
# Same detections?

# Detection rows of a scan's output, paths relative to the corpus tree, in the order listed.
detections_of() {
    grep -F ' FOUND (' "$1" | sed "s|^$tree/||" || true
}
count_of() {
    awk -F': ' '/^Virus Detected:/ { print $2 }' "$1"
}

echo
status=0
detections_of "$work/kesto.1.out" >"$work/kesto.rows"
for ((run = 2; run <= runs; run++)); do
    if ! cmp -s <(detections_of "$work/kesto.$run.out") "$work/kesto.rows"; then
        echo "MISMATCH: kesto run $run listed other rows than run 1" >&2
        status=1
    fi
done
kesto_count=$(count_of "$work/kesto.1.out")
planted=$(wc -l <"$expected")
echo "== Detections: kesto $kesto_count ($(wc -l <"$work/kesto.rows") rows), planted $planted"
if ! diff <(LC_ALL=C sort "$work/kesto.rows") <(LC_ALL=C sort "$expected") >"$work/planted.diff"; then
    echo "MISMATCH between kesto (<) and the planted detections (>):" >&2
    head -40 "$work/planted.diff" >&2
    status=1
fi
if ((classic_runs > 0)); then
    classic_count=$(count_of "$work/classic_scan.1.out")
    detections_of "$work/classic_scan.1.out" >"$work/classic.rows"
    echo "== Detections: classic_scan $classic_count ($(wc -l <"$work/classic.rows") rows)"
    if [[ $kesto_count != "$classic_count" ]]; then
        echo "MISMATCH: kesto counts $kesto_count detections, classic_scan $classic_count" >&2
        status=1
    fi
    if ! diff "$work/kesto.rows" "$work/classic.rows" >"$work/classic.diff"; then
        echo "MISMATCH between kesto (<) and classic_scan (>), rows in listing order:" >&2
        head -40 "$work/classic.diff" >&2
        status=1
    fi
fi
# yara_paths TOOL RUN: the files a yara run flagged, relative to the tree, sorted; yara names a
# file once per rule it matches.
yara_paths() {
    sed "s|^[^ ]* $tree/||" "$work/$1.$2.out" | LC_ALL=C sort -u
}
# compare_yara TOOL KESTO_PATHS: yara must flag the files kesto lists, and besides them only files
# that are not programs: kesto searches the virus patterns in programs only, yara, which has no
# notion of a file's type, in every file.
compare_yara() {
    local tool=$1 listed=$2 run
    yara_paths "$tool" 1 >"$work/$tool.paths"
    for ((run = 2; run <= $(runs_of "$tool"); run++)); do
        if ! cmp -s <(yara_paths "$tool" "$run") "$work/$tool.paths"; then
            echo "MISMATCH: ${label[$tool]} run $run flagged other files than run 1" >&2
            status=1
        fi
    done
    LC_ALL=C comm -13 "$listed" "$work/$tool.paths" >"$work/$tool.extra"
    LC_ALL=C comm -23 "$listed" "$work/$tool.paths" >"$work/$tool.missed"
    grep -Eiv '\.(exe|scr)$' "$work/$tool.extra" >"$work/$tool.extra-other" || true
    grep -Ei '\.(exe|scr)$' "$work/$tool.extra" >"$work/$tool.extra-programs" || true
    echo "== Detections: ${label[$tool]} flags $(wc -l <"$work/$tool.paths") files:" \
        "$(($(wc -l <"$work/$tool.paths") - $(wc -l <"$work/$tool.extra"))) that kesto lists and" \
        "$(wc -l <"$work/$tool.extra-other") that are not programs"
    if [[ -s $work/$tool.extra-programs || -s $work/$tool.missed ]]; then
        echo "MISMATCH between kesto (<) and ${label[$tool]} (>), files:" >&2
        { sed 's/^/< /' "$work/$tool.missed"; sed 's/^/> /' "$work/$tool.extra-programs"; } |
            head -40 >&2
        status=1
    fi
}
if [[ -n $yara ]]; then
    # A row's path ends at its first ": " (the corpus has no such path). Pattern rows end with the
    # size, or with "Infected File (s)"; checksum rows with the advice to send the file.
    sed 's/: .*//' "$work/kesto.rows" | LC_ALL=C sort -u >"$work/kesto.paths"
    grep -E ' FOUND \([0-9]+ bytes\)( Infected File \(s\))?$' "$work/kesto.rows" |
        sed 's/: .*//' | LC_ALL=C sort -u >"$work/kesto.pattern-paths" || true
    compare_yara yara_patterns "$work/kesto.pattern-paths"
    if ((yara_runs > 0)); then
        compare_yara yara "$work/kesto.paths"
    fi
fi
if ((status == 0)); then
    echo "OK: kesto lists the same detections, in the same order, as classic_scan and as planted"
else
    keep=1
fi
if ((keep == 1)); then
    echo "Outputs of every run: $work"
fi
exit "$status"
