#!/usr/bin/env bash
# Instructions per update() on a board whose row in ports/boards/boards.txt names cost-probe,
# under its emulator, counted exactly by the core's own counter
# (tools/cost/target/UpdateCostTarget.cpp): the same three phases as the x86 figures of
# scripts/cost.sh, with the driver at -Os as a firmware links it. Runs the probe of the board's
# build, which the host build makes (build/boards/<board>), under QEMU with -icount shift=N
# (cost-icount-shift of the board's board.txt), and prints one "name value" line per figure,
# each name prefixed with the board:
#   idle           per update() when connected and idle
#   handshake      per update(), averaged over the connect handshake (begin() to connected)
#   command        per update(), averaged over setModeFm() with its read-back, until not busy
#   *-updates      the number of update() calls each average is over
#   *-instructions the instructions of all of them
#   calibration    what the probe counted for a function of exactly ten instructions (10)
#   processor      the board's processor
#   flags          the compiler flags of the probe and the driver
#   compiler       the cross compiler's version line
#   qemu           QEMU's version line
# Each figure includes the virtual call of update() and the calls of the probe's UART and
# clock, which are out of line, as a board's are. CTest checks the counter and holds an idle
# update() to its bound (tests/target/update_cost_test.sh).
#
# Usage: target-cost.sh BOARD [BUILD-DIRECTORY]   (default: build/boards/BOARD)
set -euo pipefail
source "$(dirname "$0")/boards.sh"
[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: target-cost.sh BOARD [BUILD-DIRECTORY]" >&2; exit 2; }
name=$1
board_row "$name" >/dev/null || exit 2
boards_with cost-probe | grep -qx "$name" ||
  { echo "target-cost.sh: the board $name has no cost probe" >&2; exit 2; }
dir=${2:-$(board_build "$name")}
probe=$dir/tools/cost/target/update-cost.elf
[ -f "$probe" ] ||
  { echo "target-cost.sh: no probe at $probe: build the board first (cmake --build --preset default)" >&2
    exit 1; }
read -r -a qemu <<<"$(board_fact "$name" emulator)"
shift_=$(board_fact "$name" cost-icount-shift)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# QEMU ends with the probe's exit status (semihosting); the figures come on its standard error.
if ! "${qemu[@]}" -icount "shift=$shift_" -display none -monitor none -nic none -serial none \
    -semihosting-config enable=on,target=native -kernel "$probe" >"$work/out" 2>"$work/figures"; then
  cat "$work/figures" >&2
  echo "target-cost.sh: the cost probe did not finish on $name" >&2
  exit 1
fi
value() { awk -v key="$1" '$1 == key { print $2 }' "$work/figures"; }
for phase in idle handshake command; do
  awk -v p="$name-$phase" -v t="$(value "$phase-instructions")" -v n="$(value "$phase-updates")" \
    'BEGIN { printf "%s %.1f\n", p, t / n }'
  echo "$name-$phase-updates $(value "$phase-updates")"
  echo "$name-$phase-instructions $(value "$phase-instructions")"
done
echo "$name-calibration $(value calibration)"
echo "$name-processor $(board_fact "$name" processor)"
flags=$(awk -F= '/^CMAKE_CXX_FLAGS(_MINSIZEREL)?:/ { sub(/^[^=]*=/, ""); printf "%s ", $0 }' \
  "$dir/CMakeCache.txt" | sed 's/ -DNDEBUG//; s/ *$//')
echo "$name-flags $flags"
echo "$name-compiler $("$(arch_fact "$name" prefix)g++" --version | head -n 1)"
echo "$name-qemu $("${qemu[0]}" --version | head -n 1)"
