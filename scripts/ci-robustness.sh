#!/usr/bin/env bash
# The robustness steps of CI, run after the README's commands (which leave a Release build in
# build/, and the figures of its fault-injection test in build-figures/): installs what a fresh
# machine lacks, then the steps named, in the order named (all of them if none is):
#   static      static analysis of driver/ (clang-tidy, cppcheck)
#   sanitize    every host test under ASan and UBSan
#   coverage    coverage of driver/ by every host test
#   fuzz        a bounded fuzz run of each fuzzer
#   mutation    the mutation check on the CI subsets of the driver's and the station's mutants
#               (the full lists are run by hand, see scripts/mutation.py)
# Each step keeps its figures in build-figures/, and its time as a stage (scripts/ci-stages.sh).
# With every step, finally fails unless the robustness figures in docs/ are exactly this run's
# (after a change that moves them, run scripts/render-docs.py robustness and commit).
#
# Usage: scripts/ci-robustness.sh [static|sanitize|coverage|fuzz|mutation]...
set -euo pipefail
cd "$(dirname "$0")/.."
all=(static sanitize coverage fuzz mutation)
steps=("$@")
[ ${#steps[@]} -gt 0 ] || steps=("${all[@]}")
for step in "${steps[@]}"; do
  [[ " ${all[*]} " == *" $step "* ]] ||
    { echo "ci-robustness.sh: no step '$step' (${all[*]})" >&2; exit 2; }
done
source scripts/ci-stages.sh

need=()
command -v clang++ >/dev/null || need+=(clang)
ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
  need+=(libclang-rt-14-dev)
command -v clang-tidy >/dev/null || need+=(clang-tidy)
command -v cppcheck >/dev/null || need+=(cppcheck)
command -v gcovr >/dev/null || need+=(gcovr)
command -v python3 >/dev/null || need+=(python3)
command -v ninja >/dev/null || need+=(ninja-build)  # the mutation check's rebuilds
if [ ${#need[@]} -gt 0 ]; then
  stage "installing what the robustness steps lack"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
fi

for step in "${steps[@]}"; do
  case $step in
    static)
      stage "static analysis (clang-tidy, cppcheck)"
      bash scripts/static-analysis.sh ;;
    sanitize)
      stage "every host test under AddressSanitizer and UndefinedBehaviorSanitizer"
      bash scripts/sanitize.sh ;;
    coverage)
      stage "coverage of driver/ by every host test"
      bash scripts/coverage.sh ;;
    fuzz)
      stage "fuzzing, the two fuzzers side by side"
      bash scripts/fuzz.sh 20000 ;;
    mutation)
      stage "mutation check, the mutants marked for CI"
      python3 scripts/mutation.py --subset ;;
  esac
done
stage_end

if [ ${#steps[@]} -eq ${#all[@]} ]; then
  [ -f build-figures/fault-injection.txt ] ||
    { echo "ci-robustness.sh: no build-figures/fault-injection.txt: run ctest --preset default" >&2
      exit 1; }
  python3 scripts/render-docs.py --check robustness
fi
