#!/usr/bin/env bash
# The robustness steps of CI, run after the README's commands (which leave a Release build in
# build/): installs what a fresh machine lacks, then static analysis of driver/, the
# fault-injection figures, every test under ASan and UBSan, coverage of driver/, a bounded
# fuzz run and the mutation check on the CI subsets of the driver's and the station's mutants
# (the full lists are run by hand, see scripts/mutation.py). Each step keeps its figures in
# build-figures/. Finally fails unless the robustness figures in docs/ are exactly this run's
# (after a change that moves them, run scripts/render-docs.py robustness and commit).
set -euo pipefail
cd "$(dirname "$0")/.."

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
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
fi

step() { echo "== $1"; start=$SECONDS; }
took() { echo "== done in $((SECONDS - start)) s"; }

step "static analysis (clang-tidy, cppcheck)"
bash scripts/static-analysis.sh
took

step "fault injection figures"
mkdir -p build-figures
FT847_FIGURES_FILE=build-figures/fault-injection.txt \
  build/tests/ft847_unit_tests --gtest_filter='FaultInjection.*' --gtest_brief=1
took

step "all tests under AddressSanitizer and UndefinedBehaviorSanitizer"
bash scripts/sanitize.sh
took

step "coverage of driver/"
bash scripts/coverage.sh
took

step "fuzzing"
bash scripts/fuzz.sh 20000
took

step "mutation check, the mutants marked for CI"
python3 scripts/mutation.py --subset
took

python3 scripts/render-docs.py --check robustness
