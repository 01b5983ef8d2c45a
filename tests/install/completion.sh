#!/usr/bin/env bash
# The bash completion offers the commands `kesto --help` lists, their subcommands and options,
# and the right kind of file for each option's value.
# Usage: completion.sh KESTO COMPLETION_FILE
set -uo pipefail
kesto=$(realpath "$1") completion=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

bash -n "$completion" || fail "$completion does not parse"
# shellcheck disable=SC1091
source /usr/share/bash-completion/bash_completion || fail "bash-completion is not installed"
# shellcheck disable=SC1090
source "$completion"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/quarantine" "$work/files/folder"
touch "$work/quarantine/a.exe_vir" "$work/quarantine/b (2)_vir" "$work/quarantine/note.txt"
touch "$work/files/data.db"
cd "$work/files" || exit 1

# Completes the last word of the command line $1 and prints the candidates, sorted.
complete_line() {
    local line=$1
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    _kesto kesto "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort
}

expect() {
    local got
    got=$(complete_line "$1")
    [ "$got" = "$(printf '%s\n' "${@:2}" | sort)" ] || fail "'$1' completes to: ${got//$'\n'/ }"
}

commands=$("$kesto" --help | sed -n '/^Commands:/,/^$/p' | grep -E '^  [a-z]' |
           awk '{ print $1 }' | sort -u)
# shellcheck disable=SC2086
expect "kesto " $commands
# shellcheck disable=SC2086
expect "kesto --database data.db " $commands
expect "kesto usb-lock " status lock unlock
expect "kesto usb-lock lock " ""
expect "kesto quarantine " list restore delete
expect "kesto cache " stats clear
expect "kesto cache stats --j" --json
expect "kesto scan --no-" --no-cache --no-summary
expect "kesto scan --cache-dir " folder
expect "kesto scan --ex" --exclude --exclude-dir
expect "kesto scan --exclude " ""
expect "kesto --database " data.db folder
expect "kesto scan --log d" data.db
expect "kesto scan --quarantine-dir " folder
expect "kesto --quarantine-dir $work/quarantine quarantine restore " "a.exe_vir" "b (2)_vir"
expect "kesto --quarantine-dir $work/quarantine quarantine delete a" "a.exe_vir"
expect "kesto quarantine restore --t" --to
expect "kesto scan -- --j" ""
expect "kesto guard " status
expect "kesto guard --deadline 2 --on-detection report " status
expect "kesto guard --on-detection " report quarantine
expect "kesto guard --deadline " ""
expect "kesto guard --watch " folder
expect "kesto guard --state-dir " folder
expect "kesto guard --f" --fail-closed
expect "kesto update --" -- --database --help --install-root --quarantine-dir --rollback \
    --trusted-keys --version
expect "kesto update --install-root " folder
expect "kesto update --trusted-keys " folder
expect "kesto update " folder
expect "kesto update --rollback " ""
expect "kesto guard status --" -- --database --help --json --quarantine-dir --state-dir --version
echo "completion: ok"
