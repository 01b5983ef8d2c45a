#!/usr/bin/env bash
# Real-time guard benchmark: measures what `kesto guard` adds to the programs it answers for.
#   exec:  the time of one run of a 1 MiB program (fork + execve + waitpid, guard_bench exec)
#          without the guard, with the guard and no verdict cache, and with the guard and a warm
#          cache; for a program the guard reads and searches (prog.exe) and for one it does not
#          read at all (prog).
#   build: two full builds of a generated C project (make -j2, make clean, make -j2) with and
#          without the guard watching the project's folder, in alternating rounds.
#   storm: eight processes writing 20,000 new files and running the program 2,000 times in the
#          watched folder while a canary runs it over and over (guard_bench storm): the guard's
#          peak memory, its open descriptors before and after, the canary's longest wait.
# Needs root (the guard marks whole file systems). The script runs itself again in a private
# mount namespace; the exec and storm benchmarks watch only a tmpfs mounted there, so a fault of the
# guard can only hold up programs in that tmpfs. The build benchmark watches a folder on the root file
# system: while it runs, every program started on the machine passes the guard (which answers
# those outside the folder at once). Every guard started is stopped at exit. Builds nothing; see
# bench/README.md.
set -euo pipefail

usage() {
    cat <<'EOF'
Usage: bench/run_guard_bench.sh [OPTIONS] BUILD_DIR

Runs BUILD_DIR/bin/kesto guard and BUILD_DIR/bench/guard_bench as root; needs gcc, make, jq and
unshare. Build them first (with the bench preset configured: cmake --preset bench):
  cmake --build BUILD_DIR --target kesto guard_bench

  --benchmarks LIST   comma-separated benchmarks out of exec,build,storm (default all three)
  --iterations N      timed runs of the program per exec measurement (default 2000)
  --rounds N          rounds of the exec benchmark (default 5)
  --build-rounds N    rounds of the build benchmark, each with and without the guard (default 5)
  --keep              keep the guards' logs and every measurement's output (their folder is printed)

Exit status: 0 when every target is met, 3 when one is missed, 1 when a measurement went wrong
(a guard that did not start or did not deny the listed test program, a failed build or run),
2 on bad usage, a missing program or without root rights.
EOF
}

arguments=("$@")
build=""
benchmarks=exec,build,storm
iterations=2000
rounds=5
build_rounds=5
keep=0
while (($# > 0)); do
    case $1 in
    --benchmarks) benchmarks=$2; shift 2 ;;
    --iterations) iterations=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --build-rounds) build_rounds=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    -h | --help) usage; exit 0 ;;
    -*) echo "run_guard_bench.sh: unknown option '$1'" >&2; usage >&2; exit 2 ;;
    *)
        [[ -z $build ]] || { echo "run_guard_bench.sh: only one BUILD_DIR" >&2; exit 2; }
        build=$1; shift ;;
    esac
done
[[ -n $build ]] || { usage >&2; exit 2; }
for number in "$iterations" "$rounds" "$build_rounds"; do
    [[ $number =~ ^[1-9][0-9]*$ ]] || {
        echo "run_guard_bench.sh: --iterations, --rounds and --build-rounds take a number from 1" >&2
        exit 2
    }
done
declare -A chosen=()
IFS=, read -r -a benchmark_list <<<"$benchmarks"
for benchmark in "${benchmark_list[@]}"; do
    case $benchmark in
    exec | build | storm) chosen[$benchmark]=1 ;;
    *) echo "run_guard_bench.sh: unknown benchmark '$benchmark'" >&2; exit 2 ;;
    esac
done

if ((EUID != 0)); then
    echo "run_guard_bench.sh: the guard needs root rights (it marks whole file systems);" \
        "run it as root, e.g. sudo bench/run_guard_bench.sh $build" >&2
    exit 2
fi
build=$(realpath "$build")
kesto=$build/bin/kesto
guard_bench=$build/bench/guard_bench
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
require_programs run_guard_bench.sh "$build" "kesto guard_bench" "$kesto" "$guard_bench"
for program in gcc make jq unshare mount; do
    if ! command -v "$program" >/dev/null; then
        echo "run_guard_bench.sh: $program is missing; install it first" >&2
        exit 2
    fi
done
if [[ ! -f $build/bin/Virus\ Database.dll ]]; then
    echo "run_guard_bench.sh: $build/bin/Virus Database.dll is missing; build kesto first" >&2
    exit 2
fi

# Everything below runs in a mount namespace of its own: the tmpfs it mounts is gone with it.
if [[ ${KESTO_GUARD_BENCH_NAMESPACE:-} != 1 ]]; then
    exec env KESTO_GUARD_BENCH_NAMESPACE=1 unshare --mount --propagation private -- \
        "$BASH" "$0" "${arguments[@]}"
fi

kesto_stamp=$(stat -c '%y' "$kesto")
echo "== $kesto: $("$kesto" --version | head -1), built $kesto_stamp"
echo "== load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"

make_work_folder guard-bench
guard_pid=""
project=""
fs=$work/fs
# Stops a guard still running (a guard killed outright leaves the system allowing everything),
# then removes what the run made.
cleanup() {
    if [[ -n $guard_pid ]] && kill -0 "$guard_pid" 2>/dev/null; then
        kill -TERM "$guard_pid" 2>/dev/null || true
        local tries
        for ((tries = 0; tries < 50; tries++)); do
            kill -0 "$guard_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$guard_pid" 2>/dev/null || true
    fi
    if [[ -n $project ]]; then
        rm -rf "$project"
    fi
    if mountpoint -q "$fs"; then
        umount "$fs" || true
    fi
    if ((keep == 0)); then
        rm -rf "$work"
    else
        echo "Logs and outputs: $work"
    fi
}
trap cleanup EXIT

fail() {
    echo "run_guard_bench.sh: $*" >&2
    keep=1
    exit 1
}

# The watched folder of the exec and storm benchmarks, on a tmpfs of this namespace.
mkdir "$fs"
mount -t tmpfs -o size=256m,mode=0755 kesto-guard-bench "$fs"
watched=$fs/watched
mkdir "$watched"
# The programs: /usr/bin/true with zero bytes added up to 1 MiB. prog.exe is a program by its name,
# which the guard reads and searches for the patterns; prog is no file the guard reads.
cp /usr/bin/true "$watched/prog"
truncate -s 1048576 "$watched/prog"
cp "$watched/prog" "$watched/prog.exe"
# A program listed in the database, which every guard started must deny: it shows the guard
# answers for the folder.
cp /usr/bin/true "$work/listed"
truncate -s 40000 "$work/listed"
cp "$work/listed" "$watched/listed"
listed_key=$("$kesto" inspect "$work/listed" | awk '/Checksum/ { print $3 }')
database=$work/database.dll
{
    printf '%s:Guard-Bench-Listed\r\n' "$listed_key"
    cat "$build/bin/Virus Database.dll"
} >"$database"
for program in prog prog.exe; do
    "$guard_bench" exec "$watched/$program" 1 0 >/dev/null ||
        fail "$watched/$program does not run without the guard"
done

# The exit status's count of missed targets and the result lines printed at the end.
failed_targets=0
results=()
# check VALUE TARGET: sets `result` to PASS when VALUE <= TARGET, else to FAIL (and counts it).
check() {
    if awk -v v="$1" -v t="$2" 'BEGIN { exit !(v <= t) }'; then
        result=PASS
    else
        result=FAIL
        failed_targets=$((failed_targets + 1))
    fi
}
# median [FORMAT]: the median of the numbers on standard input (printf FORMAT, default %.1f).
median() {
    sort -g | awk -v f="${1:-%.1f}" '{ v[++n] = $1 }
        END { printf f, (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2 }'
}
# value FILE KEY: the value of a `key value` line.
value() {
    awk -v k="$2" '$1 == k { print $2 }' "$1"
}

# start_guard NAME FOLDER OPTION...: starts a guard watching FOLDER, waits for its status file (all
# marks in place), and checks that it denies FOLDER/listed, a program the database lists.
start_guard() {
    local name=$1 folder=$2 tries
    shift 2
    guard_state=$work/state-$name
    mkdir -p "$guard_state"
    rm -f "$guard_state/guard.json"
    "$kesto" guard --watch "$folder" --database "$database" --state-dir "$guard_state" \
        --log "$work/$name.log" "$@" 2>>"$work/$name.err" &
    guard_pid=$!
    for ((tries = 0; tries < 100; tries++)); do
        [[ -f $guard_state/guard.json ]] && break
        kill -0 "$guard_pid" 2>/dev/null || fail "the guard ($name) ended at start: $(head -3 "$work/$name.err")"
        sleep 0.1
    done
    [[ -f $guard_state/guard.json ]] || fail "the guard ($name) wrote no status within 10 s"
    "$guard_bench" exec "$folder/listed" 1 0 >"$work/$name.listed" || true
    [[ $(value "$work/$name.listed" denied) == 1 ]] ||
        fail "the guard ($name) did not deny the listed program; see $work/$name.err"
}

# The processor time the guard has used so far, seconds (user and system, /proc/PID/stat).
guard_cpu_seconds() {
    awk -v tick="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); printf "%.2f", ($12 + $13) / tick }' \
        "/proc/$guard_pid/stat"
}

# start_floor NAME [--resolve]: starts the least a guard can do (guard_bench listen) on the watched
# folder's file system, in `guard_pid` too, so that it is stopped at exit.
start_floor() {
    local name=$1 tries
    shift
    rm -f "$work/$name.ready"
    "$guard_bench" listen "$watched" "$work/$name.ready" "$@" >"$work/$name.out" 2>&1 &
    guard_pid=$!
    for ((tries = 0; tries < 100; tries++)); do
        [[ -f $work/$name.ready ]] && break
        kill -0 "$guard_pid" 2>/dev/null || fail "guard_bench listen ended at start: $(head -3 "$work/$name.out")"
        sleep 0.1
    done
    [[ -f $work/$name.ready ]] || fail "guard_bench listen did not mark the file system within 10 s"
}

# stop_floor NAME: stops guard_bench listen and checks it answered every run of the two programs.
stop_floor() {
    kill -TERM "$guard_pid"
    wait "$guard_pid" || fail "guard_bench listen failed: $(head -3 "$work/$1.out")"
    guard_pid=""
    (($(value "$work/$1.out" answered) >= 2 * (iterations + 50))) ||
        fail "guard_bench listen answered fewer requests than the programs ran: $(cat "$work/$1.out")"
}

# stop_guard: stops the guard with SIGTERM and sets `guard_counts` to the counts of its last status.
stop_guard() {
    kill -TERM "$guard_pid"
    local rc=0
    wait "$guard_pid" || rc=$?
    guard_pid=""
    ((rc == 0)) || fail "the guard ended with status $rc; see $work/*.err"
    [[ $(jq -r .stopped "$guard_state/guard.json") == true ]] ||
        fail "the guard's last status does not say it stopped"
    guard_counts=$(jq -r '.counts | to_entries | map("\(.key) \(.value)") | join(", ")' \
        "$guard_state/guard.json")
}

# Bytes the guard has read (rchar of /proc/PID/io).
guard_read_bytes() {
    awk '$1 == "rchar:" { print $2 }' "/proc/$guard_pid/io"
}

# Of every thread of the guard (or listener) so far: the processor time and the time spent ready
# to run but waiting for a processor, nanoseconds ("RUN WAIT", from /proc/PID/task/*/schedstat).
guard_cpu_ns() {
    cat "/proc/$guard_pid"/task/*/schedstat | awk '{ r += $1; w += $2 } END { printf "%.0f %.0f", r, w }'
}

# ---- exec: one run of the program, without and with the guard --------------------------------

# The cases of the exec benchmark, in the order of the first round, and their labels.
exec_cases=(none floor calls nocache cached)
declare -A exec_label=([none]="without guard" [floor]="floor listener" [calls]="floor + calls"
    [nocache]="guard, no cache" [cached]="guard, warm cache")
# The targets of the added time, microseconds.
declare -A exec_target=([nocache]=1000 [cached]=50)

# measure_exec CASE PROGRAM ROUND: times the program; with a guard or listener running, also what
# it read, its processor time and its wait for a processor per run. Writes "median p90 read_bytes
# cpu_us wait_us" to a file.
measure_exec() {
    local name=$1 program=$2 round=$3 out=$work/exec.$1.$2.$3
    local read_before=0 cpu_before="0 0" read=- cpu="- -" runs=$((iterations + 50))
    if [[ -n $guard_pid ]]; then
        read_before=$(guard_read_bytes)
        cpu_before=$(guard_cpu_ns)
    fi
    "$guard_bench" exec "$watched/$program" "$iterations" >"$out" ||
        fail "guard_bench exec $program ($name) failed: $(tr '\n' ' ' <"$out")"
    if [[ -n $guard_pid ]]; then
        # guard_bench makes 50 untimed runs before the timed ones.
        read=$((($(guard_read_bytes) - read_before) / runs))
        cpu=$(awk -v a="$(guard_cpu_ns)" -v b="$cpu_before" -v n="$runs" 'BEGIN {
            split(a, x, " "); split(b, y, " ")
            printf "%.1f %.1f", (x[1] - y[1]) / n / 1000, (x[2] - y[2]) / n / 1000 }')
    fi
    echo "$(value "$out" median_us) $(value "$out" p90_us) $read $cpu" >"$out.numbers"
    printf '   round %d: %-8s %-9s median %8.1f us  p90 %8.1f us  listener per run: read %s bytes, cpu %s us, waited %s us\n' \
        "$((round + 1))" "$name" "$program" "$(value "$out" median_us)" "$(value "$out" p90_us)" \
        "$read" "${cpu% *}" "${cpu#* }"
}

# exec_median CASE PROGRAM FIELD: the median over the rounds of a field of measure_exec's numbers.
exec_median() {
    local round
    for ((round = 0; round < rounds; round++)); do
        cut -d' ' -f"$3" "$work/exec.$1.$2.$round.numbers"
    done | median
}

exec_benchmark() {
    local round name program i
    local -a programs
    echo "== exec: $iterations timed runs per measurement, $rounds rounds; programs in $watched"
    echo "   floor: guard_bench listen, which allows every request as soon as it reads it;" \
        "calls: guard_bench listen --resolve, which first makes the system calls the guard makes"
    # The verdict cache keeps a file only when its change time lies 2 s or more before the read.
    sleep 3
    for ((round = 0; round < rounds; round++)); do
        programs=(prog prog.exe)
        if ((round % 2 == 1)); then
            programs=(prog.exe prog)
        fi
        for ((i = 0; i < ${#exec_cases[@]}; i++)); do
            name=${exec_cases[(i + round) % ${#exec_cases[@]}]}
            case $name in
            floor) start_floor floor ;;
            calls) start_floor calls --resolve ;;
            nocache) start_guard nocache "$watched" --no-cache ;;
            cached)
                start_guard cached "$watched" --cache-dir "$work/exec-cache"
                # One run puts prog.exe into the cache; the cache's writer flushes about once a
                # second, and the guard learns the cache's volumes once a second.
                "$guard_bench" exec "$watched/prog.exe" 1 0 >/dev/null
                sleep 2.5
                ;;
            esac
            # Each round measures the two programs in the other order.
            for program in "${programs[@]}"; do
                measure_exec "$name" "$program" "$round"
            done
            case $name in
            floor | calls) stop_floor "$name" ;;
            nocache | cached)
                stop_guard
                echo "   guard ($name): $guard_counts"
                ;;
            esac
        done
    done
    # The added time: per round, the case's median less the median without a guard; the median
    # of those.
    local added line
    for program in prog prog.exe; do
        for name in "${exec_cases[@]}"; do
            line=$(printf 'exec %-9s %-17s  median %8.1f us  p90 %8.1f us' "$program" \
                "${exec_label[$name]}" "$(exec_median "$name" "$program" 1)" \
                "$(exec_median "$name" "$program" 2)")
            if [[ $name != none ]]; then
                added=$(for ((round = 0; round < rounds; round++)); do
                    awk -v g="$(cut -d' ' -f1 "$work/exec.$name.$program.$round.numbers")" \
                        -v n="$(cut -d' ' -f1 "$work/exec.none.$program.$round.numbers")" \
                        'BEGIN { print g - n }'
                done | median)
                line+=$(printf '  added %7.1f us' "$added")
                if [[ -n ${exec_target[$name]:-} ]]; then
                    check "$added" "${exec_target[$name]}"
                    line+=$(printf ' (target <= %d us) %s' "${exec_target[$name]}" "$result")
                fi
                line+=$(printf '; listener per run: read %.0f bytes, cpu %.1f us, waited %.1f us' \
                    "$(exec_median "$name" "$program" 3)" "$(exec_median "$name" "$program" 4)" \
                    "$(exec_median "$name" "$program" 5)")
            fi
            results+=("$line")
        done
    done
}

# ---- build: a C project built with and without the guard -------------------------------------

# make_project FOLDER: 40 C files of 20 small functions each, a header, a main and a Makefile.
make_project() {
    local folder=$1 f g
    for ((f = 0; f < 40; f++)); do
        {
            printf '#include "project.h"\n#include <stdio.h>\n#include <string.h>\n'
            for ((g = 0; g < 20; g++)); do
                cat <<EOF
static unsigned long step_$g(const char *text, unsigned long seed) {
    unsigned long h = seed ^ ${g}u;
    for (size_t i = 0; i < strlen(text); i++) {
        h = (h << 5) + h + (unsigned char)text[i];
        if (h % ${g}7u == 3) {
            h ^= h >> 7;
        }
    }
    char buffer[64];
    snprintf(buffer, sizeof buffer, "%lu-%d", h, $g);
    return h + (unsigned char)buffer[3];
}
EOF
            done
            printf 'unsigned long unit_%d(const char *text) {\n    unsigned long h = %d;\n' "$f" "$f"
            for ((g = 0; g < 20; g++)); do
                printf '    h = step_%d(text, h);\n' "$g"
            done
            printf '    return h;\n}\n'
        } >"$folder/unit_$f.c"
        printf 'unsigned long unit_%d(const char *text);\n' "$f" >>"$folder/project.h"
    done
    {
        printf '#include "project.h"\n#include <stdio.h>\n\nint main(int argc, char **argv) {\n'
        printf '    const char *text = argc > 1 ? argv[1] : "guard";\n    unsigned long h = 0;\n'
        for ((f = 0; f < 40; f++)); do
            printf '    h += unit_%d(text);\n' "$f"
        done
        printf '    printf("%%lu\\n", h);\n    return 0;\n}\n'
    } >"$folder/main.c"
    # shellcheck disable=SC2016 # make's variables, written as they are
    printf '%s\n' 'CC = gcc' 'CFLAGS = -O2 -g -Wall' \
        'OBJECTS = $(patsubst %.c,%.o,$(wildcard *.c))' '' \
        'project: $(OBJECTS)' $'\t$(CC) -o $@ $(OBJECTS)' '' \
        '%.o: %.c project.h' $'\t$(CC) $(CFLAGS) -c -o $@ $<' '' \
        'clean:' $'\trm -f project $(OBJECTS)' >"$folder/Makefile"
}

# timed_builds NAME ROUND: make, make clean, make, timed together: `build_time` (wall seconds) and
# `build_cpu` (processor seconds of make and the compilers); then checks the program runs (through
# the guard when one is running) and cleans up.
timed_builds() {
    local out=$work/build.$1.$2 start end step
    start=$EPOCHREALTIME
    : >"$out"
    for step in -j2 clean -j2; do
        /usr/bin/time -a -f '%U %S' -o "$out.time" make -s -C "$project" "$step" >>"$out" 2>&1 ||
            fail "the build ($1) failed; see $out"
    done
    end=$EPOCHREALTIME
    "$project/project" >>"$out" 2>&1 || fail "the built program ($1) did not run; see $out"
    make -s -C "$project" clean >>"$out" 2>&1
    build_time=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')
    build_cpu=$(awk '{ t += $1 + $2 } END { printf "%.2f", t }' "$out.time")
}

build_benchmark() {
    local round name i seconds ratio cpu
    # On the root file system: the guard marks all of it, so the compiler's own runs pass the guard.
    project=$(mktemp -d /var/tmp/kesto-guard-build.XXXXXX)
    make_project "$project"
    cp "$work/listed" "$project/listed"
    echo "== build: 40 C files, two full builds with make -j2 per run, $build_rounds rounds; in $project"
    # One build not timed, so that the compiler is read from the page cache in every round.
    make -s -C "$project" -j2 >/dev/null && make -s -C "$project" clean >/dev/null
    : >"$work/build.ratios"
    : >"$work/build.cpu-ratios"
    for ((round = 0; round < build_rounds; round++)); do
        declare -A build_seconds=() build_cpus=()
        for ((i = 0; i < 2; i++)); do
            # Each round starts with the other run.
            if ((i == round % 2)); then
                name=plain
            else
                name=guarded
                start_guard build "$project" --cache-dir "$work/build-cache"
            fi
            timed_builds "$name" "$round"
            seconds=$build_time
            build_seconds[$name]=$seconds
            echo "$seconds" >>"$work/build.$name.seconds"
            if [[ $name == guarded ]]; then
                cpu=$(guard_cpu_seconds)
                stop_guard
                # The processor time of the build and of the guard together.
                build_cpus[$name]=$(awk -v b="$build_cpu" -v g="$cpu" 'BEGIN { print b + g }')
                printf '   round %d: %-8s %7.3f s  build cpu %6.2f s  guard cpu %5.2f s; guard: %s\n' \
                    "$((round + 1))" "$name" "$seconds" "$build_cpu" "$cpu" "$guard_counts"
            else
                build_cpus[$name]=$build_cpu
                printf '   round %d: %-8s %7.3f s  build cpu %6.2f s\n' "$((round + 1))" "$name" \
                    "$seconds" "$build_cpu"
            fi
        done
        awk -v g="${build_seconds[guarded]}" -v p="${build_seconds[plain]}" \
            'BEGIN { printf "%.4f\n", g / p }' >>"$work/build.ratios"
        awk -v g="${build_cpus[guarded]}" -v p="${build_cpus[plain]}" \
            'BEGIN { printf "%.4f\n", g / p }' >>"$work/build.cpu-ratios"
    done
    ratio=$(median %.3f <"$work/build.ratios")
    check "$ratio" 1.05
    results+=("$(printf 'build  without guard %s s, with guard %s s (medians); guarded/plain %s (rounds %s to %s; target <= 1.05) %s' \
        "$(median %.3f <"$work/build.plain.seconds")" \
        "$(median %.3f <"$work/build.guarded.seconds")" "$ratio" \
        "$(sort -g "$work/build.ratios" | head -1)" "$(sort -g "$work/build.ratios" | tail -1)" \
        "$result")")
    results+=("$(printf 'build  processor time guarded (build and guard) / plain %s (rounds %s to %s; shown only)' \
        "$(median %.3f <"$work/build.cpu-ratios")" "$(sort -g "$work/build.cpu-ratios" | head -1)" \
        "$(sort -g "$work/build.cpu-ratios" | tail -1)")")
    rm -rf "$project"
    project=""
}

# ---- storm: many writes and runs at once --------------------------------------------------------

guard_fds() {
    find "/proc/$guard_pid/fd" -mindepth 1 -maxdepth 1 | wc -l
}
guard_status_kib() {
    awk -v k="$1:" '$1 == k { print $2 }' "/proc/$guard_pid/status"
}

# storm_line OUT NAME: one line of what guard_bench storm printed.
storm_line() {
    echo "   $2: $(value "$1" seconds) s; writes $(value "$1" writes), runs $(value "$1" execs);" \
        "canary: $(value "$1" canary_execs) runs, median $(value "$1" canary_median_us) us, p99" \
        "$(value "$1" canary_p99_us) us, longest $(value "$1" canary_longest_us) us"
}

storm_benchmark() {
    echo "== storm: 8 processes, 20,000 file writes and 2,000 runs of prog.exe in $watched," \
        "a canary running prog.exe throughout; once without the guard, once with it and its cache"
    # The same storm without the guard: what the canary waits on a busy machine anyway.
    "$guard_bench" storm "$watched/storm-plain" "$watched/prog.exe" >"$work/storm-plain.out" ||
        fail "guard_bench storm failed: $(tr '\n' ' ' <"$work/storm-plain.out")"
    storm_line "$work/storm-plain.out" "without guard"
    start_guard storm "$watched" --cache-dir "$work/storm-cache"
    "$guard_bench" exec "$watched/prog.exe" 1 0 >/dev/null
    sleep 2.5
    local fds_before hwm_before fds_after hwm_after rss_after tries
    fds_before=$(guard_fds)
    hwm_before=$(guard_status_kib VmHWM)
    "$guard_bench" storm "$watched/storm-guarded" "$watched/prog.exe" >"$work/storm.out" ||
        fail "guard_bench storm failed: $(tr '\n' ' ' <"$work/storm.out")"
    # The written files still waiting for their check hold a descriptor each: wait until the
    # guard is back to the descriptors it had before (at most 20 s).
    for ((tries = 0; tries < 200; tries++)); do
        fds_after=$(guard_fds)
        ((fds_after > fds_before)) || break
        sleep 0.1
    done
    sleep 1
    fds_after=$(guard_fds)
    hwm_after=$(guard_status_kib VmHWM)
    rss_after=$(guard_status_kib VmRSS)
    stop_guard
    local out=$work/storm.out plain=$work/storm-plain.out
    storm_line "$out" "with guard   "
    echo "   guard: peak RSS $hwm_before KiB before, $hwm_after KiB after; RSS $rss_after KiB" \
        "after; $guard_counts"
    check "$hwm_after" 32768
    results+=("$(printf 'storm  guard peak RSS (VmHWM) %.1f MiB (target <= 32 MiB) %s' \
        "$(awk -v k="$hwm_after" 'BEGIN { print k / 1024 }')" "$result")")
    check "$fds_after" "$fds_before"
    results+=("$(printf 'storm  guard descriptors %d before, %d after (target: no more after) %s' \
        "$fds_before" "$fds_after" "$result")")
    results+=("$(printf 'storm  canary longest run %s us with the guard, %s us without (medians %s and %s us; shown only)' \
        "$(value "$out" canary_longest_us)" "$(value "$plain" canary_longest_us)" \
        "$(value "$out" canary_median_us)" "$(value "$plain" canary_median_us)")")
}

[[ -z ${chosen[exec]:-} ]] || exec_benchmark
[[ -z ${chosen[build]:-} ]] || build_benchmark
[[ -z ${chosen[storm]:-} ]] || storm_benchmark

echo
echo "== Results"
if [[ -n ${chosen[exec]:-} ]]; then
    echo "   exec: medians over $rounds rounds of each measurement's median and p90 of" \
        "$iterations runs; added = the guard's median less the median without it, per round"
fi
for line in "${results[@]}"; do
    echo "$line"
done
echo "== load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
if [[ $(stat -c '%y' "$kesto") != "$kesto_stamp" ]]; then
    echo "warning: $kesto was rebuilt during the run; the runs measured different programs" >&2
fi
if ((failed_targets > 0)); then
    echo "$failed_targets target(s) missed"
    exit 3
fi
echo "OK: every target met"
