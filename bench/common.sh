# shellcheck shell=bash
# Shell functions the benchmark scripts share; source it (it only defines functions).

# require_programs SCRIPT BUILD_DIR TARGETS PROGRAM...: exits with status 2 when a PROGRAM (a
# path) is not an executable, saying to build TARGETS in BUILD_DIR, or when GNU time is missing.
require_programs() {
    local script=$1 build=$2 targets=$3 program
    shift 3
    for program in "$@"; do
        if [[ ! -x $program ]]; then
            echo "$script: $program is missing; build it first:" >&2
            echo "  cmake --build $build --target $targets" >&2
            exit 2
        fi
    done
    if [[ ! -x /usr/bin/time ]]; then
        echo "$script: /usr/bin/time is missing; install it: sudo apt-get install time" >&2
        exit 2
    fi
}

# make_work_folder NAME: sets `work` to a new temporary folder kesto-NAME.XXXXXX, removed when
# the script exits unless `keep` is 1.
make_work_folder() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/kesto-$1.XXXXXX")
    trap 'if ((keep == 0)); then rm -rf "$work"; fi' EXIT
}
