#!/usr/bin/env bash
# Builds the libFuzzer target with clang (AddressSanitizer and UndefinedBehaviorSanitizer on)
# and runs it for a fixed number of inputs, starting from the committed seed corpus; new
# inputs go to a scratch folder, never into fuzz/corpus. Usage: scripts/fuzz.sh [runs]
# Writes the figures to build-figures/fuzz.txt for scripts/robustness-readme.py.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-20000}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p build-figures
build-fuzz/fuzz/ft847_fuzz -runs="$runs" -seed=847 -max_len=400 -print_final_stats=1 \
  "$scratch" fuzz/corpus 2>&1 | tee build-fuzz/fuzz.log | grep -E "INITED|DONE|Done|ERROR|invariant" || true
status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ]; then
  tail -n 60 build-fuzz/fuzz.log
  exit "$status"
fi
{
  echo "runs=$(grep -oE '^stat::number_of_executed_units: *[0-9]+' build-fuzz/fuzz.log | grep -oE '[0-9]+$')"
  echo "seed_inputs=$(find fuzz/corpus -type f | wc -l)"
  echo "edges=$(grep -oE 'cov: [0-9]+' build-fuzz/fuzz.log | tail -n 1 | grep -oE '[0-9]+')"
} > build-figures/fuzz.txt
cat build-figures/fuzz.txt
