#!/usr/bin/env bash
# Instructions per update() on x86-64 at -O2, counted by valgrind's callgrind (instructions, not
# seconds, so the figures repeat exactly on any machine with the same compiler). Runs the probe
# of tools/cost, which drives one driver on the bench through three phases, and counts each
# phase in a run of its own with --toggle-collect on that phase's update function. Prints one
# "name value" line per figure:
#   idle           per update() when connected and idle
#   handshake      per update(), averaged over the connect handshake (begin() to connected)
#   command        per update(), averaged over setModeFm() with its read-back, until not busy
#   *-updates      the number of update() calls each average is over
#   *-instructions the instructions of all of them
#   compiler, valgrind   the versions that produced them
# Every figure includes the virtual call of update() and the bench's simulated UART calls.
# CTest holds an idle update() to its bound (tests/target/update_cost_test.sh).
#
# Usage: cost.sh [PROBE]   (default: build/tools/cost/ft847_update_cost, which the host build
#                           makes)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
probe=${1:-$root/build/tools/cost/ft847_update_cost}
[ -x "$probe" ] ||
  { echo "cost.sh: no probe at $probe: build it first (cmake --build --preset default)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A plain run checks the phases and gives the number of updates in each.
counts=$("$probe")
updates() { awk -v key="$1-updates" '$1 == key { print $2 }' <<<"$counts"; }

instructions() {
  local phase=$1 out=$work/callgrind.$1.out
  # Symbols bound at start-up, so that the dynamic linker's first-call work is not counted.
  LD_BIND_NOW=1 valgrind --tool=callgrind --toggle-collect="${phase}Update" \
    --callgrind-out-file="$out" "$probe" >/dev/null 2>"$work/valgrind.$phase.log"
  local total
  total=$(awk '$1 == "totals:" { print $2 }' "$out")
  # Nothing counted means the phase's function was not found: no figure, rather than a zero.
  if [ -z "$total" ] || [ "$total" -eq 0 ]; then
    cat "$work/valgrind.$phase.log" >&2
    echo "callgrind counted nothing in ${phase}Update" >&2
    exit 1
  fi
  echo "$total"
}

for phase in idle handshake command; do
  n=$(updates "$phase")
  total=$(instructions "$phase")
  awk -v p="$phase" -v t="$total" -v n="$n" 'BEGIN { printf "%s %.1f\n", p, t / n }'
  echo "$phase-updates $n"
  echo "$phase-instructions $total"
done
echo "compiler $(g++ --version | head -n 1)"
echo "valgrind $(valgrind --version)"
