#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer on)
# and runs each for a fixed number of inputs, starting from its committed seed corpus: the
# driver's (ft847_fuzz, fuzz/corpus) for [runs] inputs, the station's tracker protocol
# (ft847_rigctl_fuzz, fuzz/rigctl-corpus) for five times as many, since each is far cheaper.
# New inputs go to scratch folders, never into the corpora. Usage: scripts/fuzz.sh [runs]
# Prints its figures as "name value" lines and keeps them in build-figures/fuzz.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-20000}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/rigctl"
mkdir -p build-figures
# The two fuzzers side by side, one a core; each log is read when both are done.
build-fuzz/fuzz/ft847_fuzz -runs="$runs" -seed=847 -max_len=400 -print_final_stats=1 \
  "$scratch" fuzz/corpus >build-fuzz/fuzz.log 2>&1 &
driver_fuzzer=$!
rigctl_runs=$((runs * 5))
build-fuzz/fuzz/ft847_rigctl_fuzz -runs="$rigctl_runs" -seed=847 -max_len=2000 \
  -print_final_stats=1 "$scratch/rigctl" fuzz/rigctl-corpus >build-fuzz/rigctl-fuzz.log 2>&1 &
rigctl_fuzzer=$!
driver_status=0
rigctl_status=0
wait "$driver_fuzzer" || driver_status=$?
wait "$rigctl_fuzzer" || rigctl_status=$?
grep -E "INITED|DONE|Done|ERROR|invariant" build-fuzz/fuzz.log || true
grep -E "INITED|DONE|Done|ERROR|rule broken" build-fuzz/rigctl-fuzz.log || true
if [ "$driver_status" -ne 0 ]; then
  tail -n 60 build-fuzz/fuzz.log
  exit "$driver_status"
fi
if [ "$rigctl_status" -ne 0 ]; then
  tail -n 60 build-fuzz/rigctl-fuzz.log
  exit "$rigctl_status"
fi
{
  echo "runs $(grep -oE '^stat::number_of_executed_units: *[0-9]+' build-fuzz/fuzz.log | grep -oE '[0-9]+$')"
  echo "seed-inputs $(find fuzz/corpus -type f | wc -l)"
  echo "rigctl-runs $(grep -oE '^stat::number_of_executed_units: *[0-9]+' build-fuzz/rigctl-fuzz.log | grep -oE '[0-9]+$')"
  echo "rigctl-seed-inputs $(find fuzz/rigctl-corpus -type f | wc -l)"
  echo "edges $(grep -oE 'cov: [0-9]+' build-fuzz/fuzz.log | tail -n 1 | grep -oE '[0-9]+')"
} > build-figures/fuzz.txt
cat build-figures/fuzz.txt
