#!/usr/bin/env bash
# Proves that check-driver-object.sh catches each kind of forbidden dependency, one by one, and
# that it passes the driver itself.
#
# Usage: check-driver-object-test.sh CHECKER FORBIDDEN_OBJECT DRIVER_OBJECT
set -uo pipefail
checker=$1
forbidden=$2
driver=$3

failures=0
expect() {
  if ! grep -qF -- "$2" <<<"$1"; then
    echo "MISSING: the check did not report: $2"
    failures=$((failures + 1))
  fi
}

# An object that allocates, throws, asks for typeinfo, guards a static and keeps globals.
output=$(bash "$checker" "$forbidden")
status=$?
echo "$output"
[ "$status" -eq 1 ] || { echo "WRONG: exit status $status for the forbidden object, expected 1"; failures=$((failures + 1)); }
expect "$output" "undefined reference to malloc"
expect "$output" "undefined reference to free"
expect "$output" "undefined reference to _Znwj (operator new(unsigned int))"
expect "$output" "undefined reference to __cxa_allocate_exception"
expect "$output" "undefined reference to __cxa_throw"
expect "$output" "undefined reference to __cxa_guard_acquire"
expect "$output" "undefined reference to __gxx_personality_v0"
expect "$output" "typeinfo symbol _ZTI9Elsewhere (typeinfo for Elsewhere)"
expect "$output" "typeinfo symbol _ZTIi (typeinfo for int)"
expect "$output" "4 bytes in section .data.initialisedCounter"
expect "$output" "4 bytes in section .bss.zeroedCounter"

# The driver passes, and a size bound below its size is reported.
output=$(bash "$checker" --max-text 3300 "$driver")
status=$?
echo "$output"
[ "$status" -eq 0 ] || { echo "WRONG: exit status $status for the driver, expected 0"; failures=$((failures + 1)); }

output=$(bash "$checker" --max-text 1000 "$driver")
status=$?
echo "$output"
[ "$status" -eq 1 ] || { echo "WRONG: exit status $status for a 1000-byte bound, expected 1"; failures=$((failures + 1)); }
expect "$output" "more than 1000"

[ "$failures" -eq 0 ] && echo "PASS: every forbidden dependency is reported, the driver passes"
exit $((failures > 0))
