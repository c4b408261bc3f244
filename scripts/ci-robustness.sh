#!/usr/bin/env bash
# The robustness steps of CI, run after the README's commands (which leave a Release build in
# build/, and the figures of its fault-injection test in build-figures/): installs what a fresh
# machine lacks, then static analysis of driver/, every test under ASan and UBSan, coverage of
# driver/, a bounded fuzz run and the mutation check on its CI subset (about three minutes; the
# full list takes about twice that and is run by hand, see scripts/mutation.py). Each step
# keeps its figures in build-figures/, and its time as a stage (scripts/ci-stages.sh). Finally
# fails unless the robustness figures in docs/ are exactly this run's (after a change that
# moves them, run scripts/render-docs.py robustness and commit).
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/ci-stages.sh

stage "installing what the robustness steps lack"
need=()
command -v clang++ >/dev/null || need+=(clang)
ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
  need+=(libclang-rt-14-dev)
command -v clang-tidy >/dev/null || need+=(clang-tidy)
command -v cppcheck >/dev/null || need+=(cppcheck)
command -v gcovr >/dev/null || need+=(gcovr)
command -v python3 >/dev/null || need+=(python3)
[ -f build-figures/fault-injection.txt ] ||
  { echo "ci-robustness.sh: no build-figures/fault-injection.txt: run ctest --preset default first" >&2
    exit 1; }
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
fi

stage "static analysis (clang-tidy, cppcheck)"
bash scripts/static-analysis.sh

stage "every host test under AddressSanitizer and UndefinedBehaviorSanitizer"
bash scripts/sanitize.sh

stage "coverage of driver/ by every host test"
bash scripts/coverage.sh

stage "fuzzing"
bash scripts/fuzz.sh 20000

stage "mutation check, the mutants marked for CI"
python3 scripts/mutation.py --subset
stage_end

python3 scripts/render-docs.py --check robustness
