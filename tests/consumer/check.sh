#!/usr/bin/env bash
# Builds tests/consumer, a firmware that adds the driver project as a subdirectory, and checks
# what a firmware author relies on:
#   - the firmware builds and its driver connects to the bench's radio;
#   - the driver is compiled with the firmware's flags only: none of the project's warning
#     flags, -Werror, -fno-exceptions or -fno-rtti, and the firmware's own flag is there;
#   - no test of the driver project is registered in the firmware's build;
#   - with -DFT847_STRICT=ON the project's flags come back.
#
# Usage: check.sh SOURCE_DIR WORK_DIR [CXX_COMPILER]
set -euo pipefail
source_dir=$1
work=$2
compiler=${3:-c++}
rm -rf "$work"

configure() {
  cmake -S "$source_dir/tests/consumer" -B "$work/$1" -DFT847_SOURCE_DIR="$source_dir" \
    -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DCMAKE_CXX_FLAGS=-DFIRMWARE_OWN_FLAG "${@:2}" >"$work-$1.log" 2>&1 ||
    { cat "$work-$1.log"; echo "FAIL: the firmware does not configure ($1)"; exit 1; }
}

# The compile lines of the driver's sources, from the compile commands.
driver_lines() {
  grep -e '"command": .*/driver/FT847[A-Za-z]*\.cpp"' "$work/$1/compile_commands.json" || true
}

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

configure plain
cmake --build "$work/plain" -j2 >"$work-plain-build.log" 2>&1 ||
  { cat "$work-plain-build.log"; echo "FAIL: the firmware does not build"; exit 1; }
[ "$("$work/plain/firmware")" = "firmware: connected" ] || fail "the firmware's driver did not connect"

lines=$(driver_lines plain)
[ "$(grep -c . <<<"$lines")" -eq 3 ] || fail "expected the driver's three sources in the compile commands"
for flag in -Werror -Wall -Wextra -Wpedantic -Wshadow -Wconversion -fno-exceptions -fno-rtti; do
  if grep -qe "$flag\b" <<<"$lines"; then fail "the driver is compiled with the project's $flag"; fi
done
grep -q -e "-DFIRMWARE_OWN_FLAG" <<<"$lines" || fail "the firmware's own flag is missing on the driver"

tests=$(cd "$work/plain" && ctest -N 2>/dev/null | awk '/Total Tests:/ { print $3 }')
[ "${tests:-0}" -eq 0 ] || fail "the firmware's build lists $tests tests of the driver project"

configure strict -DFT847_STRICT=ON
grep -q -e "-Werror" <<<"$(driver_lines strict)" || fail "FT847_STRICT=ON does not bring -Werror back"

[ "$failures" -eq 0 ] || exit 1
echo "PASS: a firmware adds the driver as a subdirectory with its own flags, and nothing else comes with it"
