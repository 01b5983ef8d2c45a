#!/usr/bin/env bash
# Installs the build into a staging folder (DESTDIR) under the prefix /usr, as the Debian package
# does, and checks that the installed programs work from there.
# Usage: staged-install.sh CMAKE BUILD_DIR GUI(ON|OFF)
set -euo pipefail
cmake=$1 build=$2 gui=$3
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$stage/root "$cmake" --install "$build" --prefix /usr >"$stage/install.log" ||
    { cat "$stage/install.log"; fail "cmake --install failed"; }
usr=$stage/root/usr

# Programs, database and read-me share one folder; bin/ links to the programs relatively, so
# the tree works wherever it is unpacked.
for file in kesto "Virus Database.dll" ReadMe.txt; do
    [ -f "$usr/lib/kesto/$file" ] || fail "lib/kesto/$file is not installed"
done
[ "$(readlink "$usr/bin/kesto")" = ../lib/kesto/kesto ] || fail "bin/kesto is not a relative link"
cmp -s "$usr/lib/kesto/Virus Database.dll" "$build/bin/Virus Database.dll" ||
    fail "the installed database differs from the shipped one"

# The installed program, started through its link, finds the installed database.
mkdir -p "$stage/sample/sub"
# shellcheck disable=SC2016 # the test file's own bytes, not an expression
printf '%s' 'X5O!P%@AP[4\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*' \
    >"$stage/sample/sub/test file.com"
printf 'ordinary text\n' >"$stage/sample/letter.txt"
status=0
"$usr/bin/kesto" scan --cache-dir "$stage/cache" "$stage/sample" >"$stage/scan.out" 2>"$stage/scan.err" || status=$?
[ "$status" -eq 1 ] || { cat "$stage/scan.out" "$stage/scan.err"; fail "scan exited $status, not 1"; }
grep -qF "$stage/sample/sub/test file.com: EICAR-Test-File (not a virus) FOUND" "$stage/scan.out" ||
    { cat "$stage/scan.out"; fail "no detection line for the test file"; }
grep -q "letter.txt" "$stage/scan.out" && fail "a clean file was listed"

# Manual pages compressed as Debian wants them, and the completion where bash-completion looks.
gzip -t "$usr/share/man/man1/kesto.1.gz" || fail "kesto.1.gz is not a valid gzip file"
[ -f "$usr/share/bash-completion/completions/kesto" ] || fail "the bash completion is not installed"

# Nothing of the tests, benchmarks or fuzzing is installed.
stray=$(cd "$usr" && find . \( -type f -o -type l \) -print |
    { grep -E '_tests?$|bench|fuzz|gtest|\.a$|\.h$' || true; })
[ -z "$stray" ] || fail "installed but not part of the program: $stray"

if [ "$gui" = ON ]; then
    [ -x "$usr/lib/kesto/kesto-gui" ] || fail "lib/kesto/kesto-gui is not installed"
    [ "$(readlink "$usr/bin/kesto-gui")" = ../lib/kesto/kesto-gui ] ||
        fail "bin/kesto-gui is not a relative link"
    gzip -t "$usr/share/man/man1/kesto-gui.1.gz" || fail "kesto-gui.1.gz is not a valid gzip file"
    for size in 16 22 24 32 48 64 128 256; do
        icon=$usr/share/icons/hicolor/${size}x${size}/apps/kesto.png
        file -b "$icon" | grep -q "^PNG image data, $size x $size," ||
            fail "$icon is not a $size x $size PNG"
    done
    [ -f "$usr/share/icons/hicolor/scalable/apps/kesto.svg" ] || fail "the scalable icon is missing"
    # Usage and version need no display.
    DISPLAY='' WAYLAND_DISPLAY='' QT_QPA_PLATFORM=xcb "$usr/bin/kesto-gui" --help |
        grep -q '^Usage: kesto-gui' || fail "kesto-gui --help needs a display"
    # The installed desktop program starts through its link and carries its icon.
    HOME=$stage QT_QPA_PLATFORM=offscreen "$usr/bin/kesto-gui" --screenshot "$stage/shots" \
        >"$stage/shots.log" 2>&1 || { cat "$stage/shots.log"; fail "kesto-gui --screenshot failed"; }
    file -b "$stage/shots/icon-16.png" | grep -q "^PNG image data, 16 x 16," ||
        fail "the windows carry no 16 x 16 icon"
    # The desktop entry, the metainfo and the icon it names, checked together as a
    # software centre reads them.
    appstreamcli validate-tree --no-net "$stage/root" >"$stage/tree.log" 2>&1 ||
        { cat "$stage/tree.log"; fail "appstreamcli validate-tree failed"; }
fi
echo "staged install: ok"
