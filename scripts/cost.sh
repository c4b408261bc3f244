#!/usr/bin/env bash
# Instructions per update() on x86-64 at -O2, counted by valgrind's callgrind (instructions, not
# seconds, so the figures repeat exactly on any machine with the same compiler). Builds the probe
# in tools/cost, which drives one driver on the bench through three phases, and counts each
# phase in a run of its own with --toggle-collect on that phase's update function. Prints one
# "name value" line per figure:
#   idle           per update() when connected and idle
#   handshake      per update(), averaged over the connect handshake (begin() to connected)
#   command        per update(), averaged over setModeFm() with its read-back, until not busy
#   *-updates      the number of update() calls each average is over
#   compiler, valgrind   the versions that produced them
# Every figure includes the virtual call of update() and the bench's simulated UART calls.
#
# The probe is built by the "cost" preset, in build-cost.
#
# Usage: cost.sh [--check]
#   --check   fail unless an idle update() costs at most 20 instructions
set -euo pipefail
check=false
if [ "${1:-}" = "--check" ]; then
  check=true
  shift
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-cost
idle_limit=20

(cd "$root" && cmake --preset cost && cmake --build --preset cost) >&2
probe=$build/tools/cost/ft847_update_cost

# A plain run checks the phases and gives the number of updates in each.
counts=$("$probe")
updates() { awk -v key="$1-updates" '$1 == key { print $2 }' <<<"$counts"; }

instructions() {
  local phase=$1 out=$build/callgrind.$1.out
  # Symbols bound at start-up, so that the dynamic linker's first-call work is not counted.
  LD_BIND_NOW=1 valgrind --tool=callgrind --toggle-collect="${phase}Update" \
    --callgrind-out-file="$out" "$probe" >/dev/null 2>"$build/valgrind.$phase.log"
  local total
  total=$(awk '$1 == "totals:" { print $2 }' "$out")
  # Nothing counted means the phase's function was not found: no figure, rather than a zero.
  if [ -z "$total" ] || [ "$total" -eq 0 ]; then
    echo "callgrind counted nothing in ${phase}Update; see $build/valgrind.$phase.log" >&2
    exit 1
  fi
  echo "$total"
}

for phase in idle handshake command; do
  n=$(updates "$phase")
  total=$(instructions "$phase")
  awk -v p="$phase" -v t="$total" -v n="$n" 'BEGIN { printf "%s %.1f\n", p, t / n }'
  echo "$phase-updates $n"
  if [ "$phase" = idle ]; then
    idle_total=$total
    idle_updates=$n
  fi
done
echo "compiler $(g++ --version | head -n 1)"
echo "valgrind $(valgrind --version)"

if $check; then
  if [ "$idle_total" -gt $((idle_limit * idle_updates)) ]; then
    echo "FAIL: an idle update() costs more than $idle_limit instructions" >&2
    exit 1
  fi
  echo "OK: an idle update() costs at most $idle_limit instructions" >&2
fi
