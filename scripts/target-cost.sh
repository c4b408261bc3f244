#!/usr/bin/env bash
# Instructions per update() on the three targets, each on an emulated board under QEMU, counted
# exactly by the core's own counter (tools/cost/target/UpdateCostTarget.cpp): the same three
# phases as the x86 figures of scripts/cost.sh, with the driver at -Os as a firmware links it.
# Configures and builds the probe in the preset of each target, and runs it:
#   cortex-m4f   preset cortex-m4 (build-arm), qemu-system-arm -M mps2-an386 -icount shift=10:
#                SysTick counts 25.6 per instruction
#   cortex-m0p   preset cortex-m0plus (build-m0plus), qemu-system-arm -M mps2-an385 -icount
#                shift=10: the AN385's Cortex-M3 runs the Cortex-M0+ code, instruction for
#                instruction
#   rv32imac     preset rv32imac (build-rv32), qemu-system-riscv32 -M virt -bios none -icount
#                shift=0: minstret counts retired instructions
# and prints one "name value" line per figure, each name prefixed with the target:
#   idle           per update() when connected and idle
#   handshake      per update(), averaged over the connect handshake (begin() to connected)
#   command        per update(), averaged over setModeFm() with its read-back, until not busy
#   *-updates      the number of update() calls each average is over
#   calibration    what the probe counted for a function of exactly ten instructions (10)
#   flags          the compiler flags of the probe and the driver
#   compiler       the cross compiler's version line
#   qemu           QEMU's version line
# Each figure includes the virtual call of update()
# and the calls of the probe's UART and clock, which are out of line, as a board's are.
#
# Usage: target-cost.sh [--check] [TARGET...]   (default: every target)
#   --check   fail unless an idle update() on the Cortex-M4F costs at most 20 instructions
set -euo pipefail
check=false
if [ "${1:-}" = "--check" ]; then
  check=true
  shift
fi
root=$(cd "$(dirname "$0")/.." && pwd)
idle_limit=20

# target, preset, build directory, compiler, QEMU and its machine arguments.
targets=(
  "cortex-m4f cortex-m4 build-arm arm-none-eabi-g++ qemu-system-arm -M mps2-an386 -icount shift=10"
  "cortex-m0p cortex-m0plus build-m0plus arm-none-eabi-g++ qemu-system-arm -M mps2-an385 -icount shift=10"
  "rv32imac rv32imac build-rv32 riscv64-unknown-elf-g++ qemu-system-riscv32 -M virt -bios none -icount shift=0"
)
for wanted in "$@"; do
  printf '%s\n' "${targets[@]}" | grep -q "^$wanted " ||
    { echo "target-cost.sh: unknown target '$wanted' (cortex-m4f, cortex-m0p, rv32imac)" >&2
      exit 2; }
done
if $check && [ $# -gt 0 ] && [[ ! " $* " == *" cortex-m4f "* ]]; then
  echo "target-cost.sh: --check bounds the Cortex-M4F; name cortex-m4f among the targets" >&2
  exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

for entry in "${targets[@]}"; do
  read -r name preset dir compiler qemu <<<"$entry"
  if [ $# -gt 0 ] && [[ ! " $* " == *" $name "* ]]; then
    continue
  fi
  (cd "$root" && cmake --preset "$preset" && cmake --build "$dir" --target update-cost) >&2
  # QEMU ends with the probe's exit status (semihosting); the figures come on its standard error.
  # shellcheck disable=SC2086
  if ! $qemu -display none -monitor none -nic none -serial none \
      -semihosting-config enable=on,target=native \
      -kernel "$root/$dir/tools/cost/target/update-cost.elf" >"$work/out" 2>"$work/figures"; then
    cat "$work/figures" >&2
    echo "FAIL: the cost probe did not finish on $name" >&2
    failures=$((failures + 1))
    continue
  fi
  value() { awk -v key="$1" '$1 == key { print $2 }' "$work/figures"; }
  for phase in idle handshake command; do
    awk -v p="$name-$phase" -v t="$(value "$phase-instructions")" -v n="$(value "$phase-updates")" \
      'BEGIN { printf "%s %.1f\n", p, t / n }'
    echo "$name-$phase-updates $(value "$phase-updates")"
  done
  echo "$name-calibration $(value calibration)"
  flags=$(awk -F= '/^CMAKE_CXX_FLAGS(_MINSIZEREL)?:/ { sub(/^[^=]*=/, ""); printf "%s ", $0 }' \
    "$root/$dir/CMakeCache.txt" | sed 's/ -DNDEBUG//; s/ *$//')
  echo "$name-flags $flags"
  echo "$name-compiler $("$compiler" --version | head -n 1)"
  echo "$name-qemu $("${qemu%% *}" --version | head -n 1)"

  if $check && [ "$name" = cortex-m4f ]; then
    idle_total=$(value idle-instructions)
    idle_updates=$(value idle-updates)
    if [ "$idle_total" -gt $((idle_limit * idle_updates)) ]; then
      echo "FAIL: an idle update() on the Cortex-M4F costs more than $idle_limit instructions" >&2
      failures=$((failures + 1))
    fi
  fi
done

[ "$failures" -eq 0 ] || exit 1
if $check; then
  echo "OK: an idle update() on the Cortex-M4F costs at most $idle_limit instructions" >&2
fi
