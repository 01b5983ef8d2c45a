#!/usr/bin/env bash
# YARA rule benchmark: times kesto's rule scan (yara_scan_bench: YaraRules over every file, each
# read whole, on --threads threads) next to the yara tool (`yara -r -f -N -p THREADS`) with the
# same typical rules (yara_typical_rules) on the same generated corpus (make_corpus, mixed), round
# by round, and checks on a small planted folder that both flag the same files. Builds nothing;
# see bench/README.md.
set -euo pipefail

usage() {
    cat <<'EOF'
Usage: bench/run_yara_bench.sh [OPTIONS] BUILD_DIR

Runs BUILD_DIR/bench/{make_corpus,yara_typical_rules,yara_scan_bench} and yara (on PATH).

  --corpus DIR    the corpus folder (default BUILD_DIR/bench-corpus); a corpus is generated
                  there when DIR/corpus.txt is missing
  --files N       files of a generated corpus (default 20000)
  --bytes SIZE    total size of a generated corpus, k/M/G suffixes (default 3G)
  --rules N       rules to generate (default 1000)
  --seed N        seed of the rules (default 1)
  --runs N        timed runs of each (default 3)
  --threads N     threads of both (default 2)
  --keep          keep the outputs (their folder is printed)
EOF
}

build=""
corpus=""
files=20000
bytes=3G
rules=1000
seed=1
runs=3
threads=2
keep=0
while (($# > 0)); do
    case $1 in
    --corpus) corpus=$2; shift 2 ;;
    --files) files=$2; shift 2 ;;
    --bytes) bytes=$2; shift 2 ;;
    --rules) rules=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --threads) threads=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    -h | --help) usage; exit 0 ;;
    -*) echo "run_yara_bench.sh: unknown option '$1'" >&2; usage >&2; exit 2 ;;
    *)
        [[ -z $build ]] || { echo "run_yara_bench.sh: only one BUILD_DIR" >&2; exit 2; }
        build=$1; shift ;;
    esac
done
[[ -n $build ]] || { usage >&2; exit 2; }
build=$(realpath "$build")
corpus=${corpus:-$build/bench-corpus}

make_corpus=$build/bench/make_corpus
typical_rules=$build/bench/yara_typical_rules
scan_bench=$build/bench/yara_scan_bench
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
require_programs run_yara_bench.sh "$build" "make_corpus yara_typical_rules yara_scan_bench" \
    "$make_corpus" "$typical_rules" "$scan_bench"
yara=$(command -v yara || true)
if [[ -z $yara ]]; then
    echo "run_yara_bench.sh: yara is not on PATH (Debian: sudo apt-get install yara)" >&2
    exit 2
fi

if [[ ! -f $corpus/corpus.txt ]]; then
    echo "== Generating the corpus in $corpus"
    "$make_corpus" --out "$corpus" --files "$files" --bytes "$bytes"
fi
tree=$(realpath "$corpus/tree")
read -r corpus_files corpus_bytes < <(find "$tree" -type f -printf '%s\n' |
    awk '{ n++; s += $1 } END { printf "%d %.0f\n", n, s }')
echo "== Corpus: $corpus_files files, $corpus_bytes bytes in $tree"
echo "== Warming the page cache"
find "$tree" -type f -print0 | xargs -0 cat >/dev/null

make_work_folder yara-bench
"$typical_rules" --rules "$rules" --seed "$seed" --plant >"$work/rules.yar"
echo "== yara $("$yara" --version), $rules rules (seed $seed), $threads threads"

# Same files flagged? A small folder holds the planted markers of a few rules, a near miss and
# files without them; both tools must flag exactly the planted files.
planted=$work/planted
mkdir -p "$planted"
for number in 50 100 150; do
    printf 'header KESTO-PLANTED-%s trailer' "$number" >"$planted/hit-$number.txt"
done
printf 'KESTO-PLANTED-49' >"$planted/near-miss.txt"
head -c 100000 /dev/urandom >"$planted/random.bin"
status=0
"$scan_bench" --threads "$threads" --list "$work/rules.yar" "$planted" 2>/dev/null |
    sed "s|^$planted/||" | LC_ALL=C sort >"$work/kesto.planted"
"$yara" -r -f -N "$work/rules.yar" "$planted" | sed "s|^[^ ]* $planted/||" | LC_ALL=C sort -u \
    >"$work/yara.planted"
if ! diff "$work/kesto.planted" "$work/yara.planted" >/dev/null ||
    [[ $(wc -l <"$work/kesto.planted") != 3 ]]; then
    echo "MISMATCH on the planted folder: kesto flags $(paste -sd' ' "$work/kesto.planted")," \
        "yara $(paste -sd' ' "$work/yara.planted")" >&2
    status=1
else
    echo "== Planted folder: both flag the same 3 files"
fi

# One run of each per round, alternating which goes first. Wall and processor time (user +
# system) of each: on a machine that other work shares, the processor time is the steadier one.
for ((round = 1; round <= runs; round++)); do
    order=(kesto yara)
    ((round % 2 == 0)) && order=(yara kesto)
    for tool in "${order[@]}"; do
        if [[ $tool == kesto ]]; then
            /usr/bin/time -f '%e %U %S' -o "$work/kesto.$round.time" \
                "$scan_bench" --threads "$threads" --list "$work/rules.yar" "$tree" \
                >"$work/kesto.$round.out" 2>"$work/kesto.$round.err"
        else
            /usr/bin/time -f '%e %U %S' -o "$work/yara.$round.time" \
                "$yara" -r -f -N -p "$threads" "$work/rules.yar" "$tree" >"$work/yara.$round.out"
        fi
        read -r wall user sys <"$work/$tool.$round.time"
        echo "$wall" >"$work/$tool.$round.wall"
        awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }' >"$work/$tool.$round.cpu"
        printf '   round %d  %-6s wall %6.2f s   cpu %6.2f s\n' "$round" "$tool" "$wall" \
            "$(cat "$work/$tool.$round.cpu")"
    done
done
median() { sort -g | awk '{ v[++n] = $1 } END { print (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2 }'; }
ratio() { awk -v k="$1" -v y="$2" 'BEGIN { printf "%.3f", k / y }'; }
kesto_wall=$(cat "$work"/kesto.*.wall | median)
yara_wall=$(cat "$work"/yara.*.wall | median)
kesto_cpu=$(cat "$work"/kesto.*.cpu | median)
yara_cpu=$(cat "$work"/yara.*.cpu | median)
echo
echo "== Medians (compile included): wall kesto $kesto_wall s, yara $yara_wall s," \
    "kesto/yara $(ratio "$kesto_wall" "$yara_wall"); cpu kesto $kesto_cpu s, yara $yara_cpu s," \
    "kesto/yara $(ratio "$kesto_cpu" "$yara_cpu")"
echo "   kesto's last run: $(tail -1 "$work/kesto.$runs.err")"
if ! cmp -s "$work/kesto.1.out" <(sed "s|^[^ ]* ||" "$work/yara.1.out" | LC_ALL=C sort -u); then
    echo "note: the flagged files of the corpus differ (kesto $(wc -l <"$work/kesto.1.out")," \
        "yara $(wc -l <"$work/yara.1.out"))" >&2
    status=1
fi
if ((status != 0)); then
    keep=1
fi
if ((keep == 1)); then
    echo "Outputs: $work"
fi
exit "$status"
