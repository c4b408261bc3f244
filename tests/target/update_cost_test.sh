#!/usr/bin/env bash
# The update() cost probe (tools/cost/target) on an emulated board: the driver connects, takes a
# mode command and stays idle on the target as it does on the host, and the core's counter is
# exact there (a ten-instruction function counts 10). With a bound, an idle update() costs at
# most that many instructions.
#   update_cost_test.sh IDLE_BOUND|- QEMU ARGS...
set -euo pipefail
bound=$1
shift
out=$(mktemp)
trap 'rm -f "$out"' EXIT

status=0
"$@" -display none -monitor none -nic none -serial none \
    -semihosting-config enable=on,target=native 2>"$out" >/dev/null || status=$?
cat "$out"
[ "$status" -eq 0 ] || { echo "FAIL: the probe ended with status $status"; exit 1; }
value() { awk -v key="$1" '$1 == key { print $2 }' "$out"; }
[ "$(value calibration)" = 10 ] || { echo "FAIL: the counter is not exact"; exit 1; }
idle=$(value idle-instructions)
updates=$(value idle-updates)
[ -n "$idle" ] && [ "${updates:-0}" -gt 0 ] || { echo "FAIL: no idle figure"; exit 1; }
if [ "$bound" != - ] && [ "$idle" -gt $((bound * updates)) ]; then
    echo "FAIL: an idle update() costs more than $bound instructions"
    exit 1
fi
echo "PASS: $((idle / updates)) instructions per idle update(), the counter checked exact"
