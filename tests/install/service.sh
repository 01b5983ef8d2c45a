#!/usr/bin/env bash
# The service units (the guard's, and the signature update's service and timer), installed
# under another prefix than the package's /usr, start the program installed there and are
# otherwise the units the package ships; systemd reads them without a warning and finds their
# sandboxes as tight as they were made (the guard's exposure at most 2.5, 2.3 with systemd 252;
# the update's at most 2.2). Exits 77 (skipped) after the first part where systemd-analyze is
# missing.
# Usage: service.sh CMAKE BUILD_DIR UNIT_SOURCE
set -euo pipefail
cmake=$1 build=$2 source=$3
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

root=$stage/root
DESTDIR=$root "$cmake" --install "$build" --prefix /usr/local >"$stage/install.log" ||
    { cat "$stage/install.log"; fail "cmake --install failed"; }
units=$(find "$root" -name kesto-guard.service)
# One path, or none: several would not name a file.
[ -f "$units" ] || fail "not one kesto-guard.service installed: $units"
case ${units#"$root"} in
    /usr/local/lib/systemd/system/kesto-guard.service) ;;
    *) fail "the unit is installed in ${units#"$root"}, where systemd does not look" ;;
esac
grep -qx 'ExecStart=/usr/local/bin/kesto guard' "$units" ||
    fail "the unit does not start /usr/local/bin/kesto: $(grep '^ExecStart' "$units")"
diff <(sed 's#/usr/local/bin/kesto#/usr/bin/kesto#g' "$units") "$source" ||
    fail "the installed unit differs from $source in more than the program's path"
# The signature update's service and timer are installed beside it the same way.
for unit in kesto-update.service kesto-update.timer; do
    installed=$root/usr/local/lib/systemd/system/$unit
    [ -f "$installed" ] || fail "$unit is not installed beside the guard's unit"
    diff <(sed 's#/usr/local/bin/kesto#/usr/bin/kesto#g' "$installed") "$(dirname "$source")/$unit" ||
        fail "the installed $unit differs from its source in more than the program's path"
done
grep -qx 'ExecStart=/usr/local/bin/kesto update' "$root/usr/local/lib/systemd/system/kesto-update.service" ||
    fail "the update's unit does not start /usr/local/bin/kesto"

if ! command -v systemd-analyze >/dev/null; then
    echo "SKIP: systemd-analyze is not installed"
    exit 77
fi
# systemd-analyze reads the installed tree as the root; the unit's targets come from this system.
mkdir -p "$root/usr/lib/systemd/system"
cp /lib/systemd/system/*.target "$root/usr/lib/systemd/system/"
# It also asks man(1) for the page the unit names, outside the root.
if ! warnings=$(MANPATH=$root/usr/local/share/man \
    systemd-analyze verify --root="$root" kesto-guard.service kesto-update.service \
        kesto-update.timer 2>&1) || [ -n "$warnings" ]; then
    fail "systemd-analyze verify: $warnings"
fi
systemd-analyze security --offline=yes --root="$root" --threshold=25 kesto-guard.service \
    >"$stage/security.log" 2>&1 ||
    { cat "$stage/security.log"; fail "the unit's sandbox is looser than it was made"; }
# The update keeps no capability and writes only /var/lib/kesto (exposure 2.0 with systemd 252).
systemd-analyze security --offline=yes --root="$root" --threshold=22 kesto-update.service \
    >"$stage/update-security.log" 2>&1 ||
    { cat "$stage/update-security.log"; fail "the update's sandbox is looser than it was made"; }
echo "service: ok ($(grep -o 'exposure level.*' "$stage/security.log"))"
