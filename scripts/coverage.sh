#!/usr/bin/env bash
# Line and branch coverage of driver/ by every CTest test, measured with gcovr on a --coverage
# build. Fails below 100 % of lines or 95 % of branches. Prints its figures as "name value"
# lines and keeps them in build-figures/coverage.txt:
#   lines, lines-covered         lines of driver/ with code, and those a test ran
#   branches, branches-covered   the same for branches
#   uncovered-branches           FILE:LINE and the number of its branches no test took, a line
#                                each
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset coverage >/dev/null
# Stale counts from an earlier build would clash with the test listing that runs at build time.
find build-coverage -name '*.gcda' -delete 2>/dev/null || true
cmake --build --preset coverage
find build-coverage -name '*.gcda' -delete
mkdir -p build-figures
ctest --preset coverage >build-figures/coverage-ctest.log ||
  { cat build-figures/coverage-ctest.log; exit 1; }
# The driver as the tests build it; the Linux port's copy, run only by the end-to-end test,
# and the copies without the log or on a board's declarations, which the tests of that build
# option run or only search, are left out.
gcovr --root . --object-directory build-coverage --filter 'driver/' \
  --exclude-directories 'build-coverage/ports/' \
  --exclude-directories 'build-coverage/tests/CMakeFiles/ft847_(board_driver|driver_no_log)' \
  --exclude-throw-branches --exclude-unreachable-branches \
  --txt build-figures/coverage-report.txt --json-summary build-figures/coverage.json \
  --json build-figures/coverage-detail.json \
  --fail-under-line 100 --fail-under-branch 95 --print-summary
python3 - build-figures/coverage.json build-figures/coverage-detail.json <<'PY' |
import json, sys
summary = json.load(open(sys.argv[1]))
print('lines', summary['line_total'])
print('lines-covered', summary['line_covered'])
print('branches', summary['branch_total'])
print('branches-covered', summary['branch_covered'])
for entry in json.load(open(sys.argv[2]))['files']:
    for line in entry['lines']:
        missed = sum(1 for branch in line['branches'] if branch['count'] == 0)
        if missed:
            print('uncovered-branches', f"{entry['file']}:{line['line_number']}", missed)
PY
  tee build-figures/coverage.txt
