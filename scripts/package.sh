#!/usr/bin/env bash
# The Debian package and what it holds, checked as an operator would meet it:
#   1. builds it as docs/service.md says: cmake --preset default, cmake --build --preset
#      default, cpack --preset deb;
#   2. its contents: both programs, both manual pages, the systemd unit, the example
#      configuration (as docs/service.md shows it), the copyright file and the changelog;
#   3. the manual pages under `mandoc -T lint`, and the package under lintian;
#   4. Debian's hardening in both programs: position-independent executable, full RELRO (the
#      GNU_RELRO segment and BIND_NOW), the stack protector and fortified libc calls;
#   5. the unit: `systemd-analyze verify`, its exposure under
#      `systemd-analyze security --offline=true`, and its sandbox against every system call and
#      socket of the packaged station run as the unit runs it (scripts/unit-sandbox.sh);
#   6. unpacked into a scratch folder (dpkg-deb -x), its programs pass the end-to-end test of
#      the command lines (tests/e2e/programs_cli_test.sh): the station runs from a
#      configuration file against the emulator and puts the file's frequencies on the radio,
#      and a bad key in the file gives status 2 and names the file.
#
# Usage: scripts/package.sh [--check]
#   --check  fail unless every step passed, lintian reports no error, the unit's exposure
#            is 2.0 or less and its sandbox refuses nothing the station does
# Prints its figures as "name value" lines. Needs dpkg-dev, lintian, mandoc, systemd (for
# systemd-analyze) and strace; .ci/run installs them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
check=0
[ "${1:-}" = "--check" ] && check=1
cd "$root"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
problems=0
problem() { echo "package.sh: $*" >&2; problems=$((problems + 1)); }

cmake --preset default >"$work/configure.log" || { cat "$work/configure.log" >&2; exit 1; }
cmake --build --preset default >"$work/build.log" || { tail -n 40 "$work/build.log" >&2; exit 1; }
cpack --preset deb >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; exit 1; }
deb=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' "$work/cpack.log")
[ -f "$deb" ] || { cat "$work/cpack.log" >&2; echo "package.sh: no .deb" >&2; exit 1; }

unpacked=$work/root
dpkg-deb -x "$deb" "$unpacked"
unit=$(find "$unpacked" -name 'ft847-station@.service' | head -n 1)
for file in usr/bin/ft847-station usr/bin/ft847-emulator usr/share/man/man1/ft847-station.1.gz \
    usr/share/man/man1/ft847-emulator.1.gz usr/share/doc/ft847-station/copyright \
    usr/share/doc/ft847-station/changelog.gz usr/share/doc/ft847-station/examples/radio.conf; do
    [ -e "$unpacked/$file" ] || problem "the package lacks $file"
done
[ -n "$unit" ] || problem "the package lacks ft847-station@.service"
# docs/service.md shows the example configuration as the package holds it.
awk '/The example of the package:$/ { want = 1; next }
     want && /^```$/ { if (inside) exit; inside = 1; next }
     inside { print }' docs/service.md >"$work/documented.conf"
cmp -s "$work/documented.conf" "$unpacked/usr/share/doc/ft847-station/examples/radio.conf" ||
    problem "docs/service.md does not show the packaged example configuration"
depends=$(dpkg-deb -f "$deb" Depends)
[ -n "$depends" ] || problem "the package has no computed dependencies"

# Manual pages: mandoc's warnings and worse (its style notes about cross references depend on
# which pages this machine has).
man_warnings=0
for page in ft847-station ft847-emulator; do
    gunzip -c "$unpacked/usr/share/man/man1/$page.1.gz" >"$work/$page.1"
    mandoc -T lint -W warning "$work/$page.1" >"$work/$page.lint" 2>&1 || true
    man_warnings=$((man_warnings + $(grep -c . "$work/$page.lint" || true)))
    cat "$work/$page.lint" >&2
done

lintian --display-info "$deb" >"$work/lintian.out" 2>/dev/null || true
lintian_errors=$(grep -c '^E: ' "$work/lintian.out" || true)
lintian_warnings=$(grep -c '^W: ' "$work/lintian.out" || true)
lintian_info=$(grep -c '^I: ' "$work/lintian.out" || true)
cat "$work/lintian.out" >&2

hardened=0
for program in ft847-station ft847-emulator; do
    binary=$unpacked/usr/bin/$program
    missing=()
    readelf -hldW --dyn-syms "$binary" >"$work/$program.elf"
    grep -q 'Type:[[:space:]]*DYN' "$work/$program.elf" || missing+=(PIE)
    grep -q GNU_RELRO "$work/$program.elf" || missing+=(RELRO)
    grep -Eq 'BIND_NOW|FLAGS_1.*NOW' "$work/$program.elf" || missing+=(BIND_NOW)
    grep -q '__stack_chk_fail' "$work/$program.elf" || missing+=(stack-protector)
    grep -Eq '__[a-z]+_chk(@|$)' "$work/$program.elf" || missing+=(fortify)
    if [ ${#missing[@]} -eq 0 ]; then
        hardened=$((hardened + 1))
    else
        problem "$program lacks ${missing[*]}"
    fi
done

# The unit as installed, with its program taken from the scratch folder instead of /usr/bin,
# and its manual page from the package.
verify_errors=0
exposure=""
if [ -n "$unit" ]; then
    mkdir -p "$work/units"
    sed "s|=/usr/bin/|=$unpacked/usr/bin/|" "$unit" >"$work/units/ft847-station@.service"
    MANPATH=$unpacked/usr/share/man systemd-analyze verify "$work/units/ft847-station@.service" \
        >"$work/verify.out" 2>&1 || verify_errors=1
    verify_errors=$((verify_errors + $(grep -c . "$work/verify.out" || true)))
    cat "$work/verify.out" >&2
    exposure=$(systemd-analyze security --offline=true "$unit" 2>/dev/null |
        sed -n 's/^→ Overall exposure level for .*: \([0-9.]*\) .*/\1/p')
    bash scripts/unit-sandbox.sh "$unit" --station "$unpacked/usr/bin/ft847-station" \
        --emulator "$unpacked/usr/bin/ft847-emulator" >"$work/sandbox.out" 2>&1 ||
        { cat "$work/sandbox.out" >&2; problem "the unit's sandbox could not be checked"; }
fi
sandbox() { sed -n "s/^$1 //p" "$work/sandbox.out" 2>/dev/null; }

e2e=pass
bash tests/e2e/programs_cli_test.sh "$unpacked/usr/bin/ft847-emulator" \
    "$unpacked/usr/bin/ft847-station" >"$work/e2e.out" 2>&1 || e2e=fail
[ "$e2e" = pass ] || { cat "$work/e2e.out" >&2; problem "the packaged programs failed"; }

echo "deb-file $(basename "$deb")"
echo "deb-bytes $(stat -c %s "$deb")"
echo "depends $(tr -d ' ' <<<"$depends")"
echo "man-lint-warnings $man_warnings"
echo "lintian-errors $lintian_errors"
echo "lintian-warnings $lintian_warnings"
echo "lintian-info $lintian_info"
echo "hardened-programs $hardened"
echo "unit-verify-messages $verify_errors"
echo "unit-exposure ${exposure:-unknown}"
echo "unit-syscalls $(sandbox syscalls)"
echo "unit-syscalls-refused $(sandbox syscalls-refused)"
echo "unit-socket-families $(sandbox socket-families | tr ' ' ',')"
echo "unit-socket-families-refused $(sandbox socket-families-refused)"
echo "packaged-programs-e2e $e2e"

if [ "$check" -eq 1 ]; then
    [ "$man_warnings" -eq 0 ] || problem "mandoc: $man_warnings warnings"
    [ "$lintian_errors" -eq 0 ] || problem "lintian: $lintian_errors errors"
    [ "$verify_errors" -eq 0 ] || problem "systemd-analyze verify is not clean"
    if [ -z "$exposure" ] || awk -v e="$exposure" 'BEGIN { exit !(e > 2.0) }'; then
        problem "the unit's exposure is ${exposure:-unknown}, not 2.0 or less"
    fi
    [ "$(sandbox syscalls-refused)" = none ] && [ "$(sandbox socket-families-refused)" = none ] ||
        problem "the unit refuses what the station does: $(sandbox syscalls-refused)" \
            "$(sandbox socket-families-refused)"
    [ "$problems" -eq 0 ] || exit 1
fi
