#!/usr/bin/env bash
# Signature source benchmark: times `kesto scan --no-cache` on one generated corpus (make_corpus,
# mixed) with the shipped database alone, with 1,000,000 random SHA-256 entries with sizes, with
# the same entries without sizes, and with typical YARA rules (yara_typical_rules) next to the
# yara tool (`yara -r -p THREADS`) on the same rules; the load of the sized list alone (a scan of
# an empty folder with and without it); the peak memory of each scan. With --old-kesto, the
# shipped-only scan of an earlier kesto too. Round by round, alternating the order. Builds
# nothing; see bench/README.md.
set -euo pipefail

usage() {
    cat <<'EOF'
Usage: bench/run_signature_bench.sh [OPTIONS] BUILD_DIR

Runs BUILD_DIR/bin/kesto and BUILD_DIR/bench/{make_corpus,yara_typical_rules}, and yara (on
PATH) and python3 (to write the hash lists).

  --corpus DIR      the corpus folder (default BUILD_DIR/bench-corpus); generated when
                    DIR/corpus.txt is missing
  --files N         files of a generated corpus (default 10000)
  --bytes SIZE      total size of a generated corpus, k/M/G suffixes (default 1500M)
  --entries N       hash-list entries (default 1000000)
  --rules N         YARA rules (default 1000)
  --runs N          timed rounds (default 3)
  --old-kesto PATH  an earlier kesto to time with the shipped database alone
  --cold            drop the corpus from the page cache before each scan (evict_files), so
                    that every scan reads from the disk; yara is left out
  --keep            keep the outputs (their folder is printed)
EOF
}

build=""
corpus=""
files=10000
bytes=1500M
entries=1000000
rules=1000
runs=3
old=""
cold=0
keep=0
while (($# > 0)); do
    case $1 in
    --corpus) corpus=$2; shift 2 ;;
    --files) files=$2; shift 2 ;;
    --bytes) bytes=$2; shift 2 ;;
    --entries) entries=$2; shift 2 ;;
    --rules) rules=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --old-kesto) old=$(realpath "$2"); shift 2 ;;
    --keep) keep=1; shift ;;
    --cold) cold=1; shift ;;
    -h | --help) usage; exit 0 ;;
    -*) echo "run_signature_bench.sh: unknown option '$1'" >&2; usage >&2; exit 2 ;;
    *)
        [[ -z $build ]] || { echo "run_signature_bench.sh: only one BUILD_DIR" >&2; exit 2; }
        build=$1; shift ;;
    esac
done
[[ -n $build ]] || { usage >&2; exit 2; }
build=$(realpath "$build")
corpus=${corpus:-$build/bench-corpus}
kesto=$build/bin/kesto
make_corpus=$build/bench/make_corpus
typical_rules=$build/bench/yara_typical_rules
evict_files=$build/bench/evict_files
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
require_programs run_signature_bench.sh "$build" \
    "kesto make_corpus yara_typical_rules evict_files" \
    "$kesto" "$make_corpus" "$typical_rules" "$evict_files"
for tool in yara python3; do
    command -v "$tool" >/dev/null || { echo "run_signature_bench.sh: $tool is not on PATH" >&2; exit 2; }
done

if [[ ! -f $corpus/corpus.txt ]]; then
    echo "== Generating the corpus in $corpus"
    "$make_corpus" --out "$corpus" --files "$files" --bytes "$bytes"
fi
tree=$(realpath "$corpus/tree")
database=$corpus/Virus\ Database.dll
echo "== Corpus: $(find "$tree" -type f | wc -l) files in $tree"
if ((cold == 0)); then
    echo "== Warming the page cache"
    find "$tree" -type f -print0 | xargs -0 cat >/dev/null
else
    echo "== Cold runs: the corpus is dropped from the page cache before each scan"
    sync
fi

make_work_folder signature-bench
mkdir -p "$work/sized" "$work/unsized" "$work/rules" "$work/empty" "$work/none"
# Random entries, and the SHA-256 of three corpus files with their sizes (so that the lists list
# something and the scans show the same three rows); names as malware-sharing lists give them.
find "$tree" -type f -size +1k | LC_ALL=C sort | awk 'NR <= 3' >"$work/planted.txt"
python3 - "$entries" "$work/planted.txt" "$work/sized/random.hashes" \
    "$work/unsized/random.hashes" <<'PY'
import hashlib, os, random, sys
count, planted, sized_path, unsized_path = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
rng = random.Random(1)
with open(sized_path, "w") as sized, open(unsized_path, "w") as unsized:
    for path in open(planted).read().split("\n"):
        if path:
            data = open(path, "rb").read()
            digest = hashlib.sha256(data).hexdigest()
            sized.write(f"{digest}:{len(data)}:Bench.Planted-{len(data)}\n")
            unsized.write(f"{digest}:*:Bench.Planted-{len(data)}\n")
    for n in range(count - 3):
        digest = rng.getrandbits(256).to_bytes(32, "big").hex()
        size = rng.randrange(1, 64 << 20)
        name = f"Win.Trojan.Agent-{rng.randrange(10**6, 10**7)}"
        sized.write(f"{digest}:{size}:{name}\n")
        unsized.write(f"{digest}:*:{name}\n")
PY
"$typical_rules" --rules "$rules" --seed 1 --plant >"$work/rules/typical.yar"
echo "== Lists of $entries SHA-256 entries: $(du -h "$work/sized/random.hashes" | cut -f1) each;" \
    "$rules YARA rules; yara $(yara --version)"

# One timed command: wall seconds, processor seconds and peak memory (KiB).
timed() {
    local name=$1
    shift
    ((cold == 0)) || "$evict_files" "$tree"
    /usr/bin/time -f '%e %U %S %M' -o "$work/$name.time" "$@" >"$work/$name.out" 2>"$work/$name.err" || true
    # A scan that lists something exits with 1, which time(1) notes on a line of its own first.
    read -r wall user system peak < <(tail -n 1 "$work/$name.time")
    echo "$name $wall $(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }') $peak" \
        >>"$work/results.txt"
}

cases=(shipped sized unsized rules yara load-none load-sized load-unsized)
((cold == 0)) || cases=(shipped sized unsized rules load-none load-sized load-unsized)
[[ -n $old ]] && cases=(old "${cases[@]}")
for ((round = 1; round <= runs; round++)); do
    order=("${cases[@]}")
    ((round % 2 == 0)) && order=($(printf '%s\n' "${cases[@]}" | tac))
    for name in "${order[@]}"; do
        case $name in
        old) timed old "$old" scan --no-cache --no-summary --database "$database" "$tree" ;;
        shipped) timed shipped "$kesto" scan --no-cache --no-summary --database "$database" "$tree" ;;
        sized | unsized)
            timed "$name" "$kesto" scan --no-cache --no-summary --database "$database" \
                --signatures "$work/$name" "$tree" ;;
        rules)
            timed rules "$kesto" scan --no-cache --no-summary --database "$database" \
                --signatures "$work/rules" "$tree" ;;
        yara) timed yara yara -r -p 2 "$work/rules/typical.yar" "$tree" ;;
        load-none) timed load-none "$kesto" scan --no-cache --database "$database" "$work/empty" ;;
        load-sized | load-unsized)
            timed "$name" "$kesto" scan --no-cache --database "$database" \
                --signatures "$work/${name#load-}" "$work/empty" ;;
        esac
    done
    echo "   round $round done"
done

echo "== Rows listed by each scan (kesto prints one line per row)"
for name in old shipped sized unsized rules; do
    [[ -f $work/$name.out ]] && echo "   $name: $(grep -c ' FOUND ' "$work/$name.out" || true) rows"
done
if [[ -f $work/yara.out ]]; then echo "   yara: $(wc -l <"$work/yara.out") rule matches"; fi

echo "== Medians over $runs rounds: wall s, processor s, peak KiB"
awk '
    { wall[$1] = wall[$1] " " $2; cpu[$1] = cpu[$1] " " $3; peak[$1] = peak[$1] " " $4 }
    function median(list,   n, v, i, j, t) {
        n = split(list, v, " ")
        for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] + 0 < v[i] + 0) { t = v[i]; v[i] = v[j]; v[j] = t }
        return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
    }
    END {
        for (name in wall) {
            w[name] = median(wall[name]); c[name] = median(cpu[name]); p[name] = median(peak[name])
            printf "   %-11s %8.2f %8.2f %10d\n", name, w[name], c[name], p[name]
        }
        print "== Ratios (wall)"
        if ("old" in w) printf "   shipped / old kesto        %.3f (target <= 1.02)\n", w["shipped"] / w["old"]
        # The whole command, and the scan alone: the load of the list (an empty folder scanned with the
        # list, less one scanned without) taken off.
        ls = w["load-sized"] - w["load-none"]; lu = w["load-unsized"] - w["load-none"]
        printf "   sized list / shipped       %.3f whole, %.3f without its load (target <= 1.05)\n", w["sized"] / w["shipped"], (w["sized"] - ls) / w["shipped"]
        printf "   unsized list / shipped     %.3f whole, %.3f without its load (target <= 1.6)\n", w["unsized"] / w["shipped"], (w["unsized"] - lu) / w["shipped"]
        if ("yara" in w) printf "   kesto rules / yara         %.3f (target <= 1)\n", w["rules"] / w["yara"]
        printf "   sized list load            %.2f s (target <= 1); unsized %.2f s\n", ls, lu
        printf "   sized list memory          %+.1f MiB (target <= 64)\n", (p["sized"] - p["shipped"]) / 1024
    }' "$work/results.txt"
if ((keep == 1)); then echo "== Outputs kept in $work"; fi
