#!/usr/bin/env bash
# Every CTest test (unit, fault-injection, heap and scenario) built with AddressSanitizer and
# UndefinedBehaviorSanitizer; the first finding ends the run. The driver has no RTTI, which
# UBSan's vptr check would need. The build is clang's (the default build is gcc's), so the
# project's warnings with -Werror hold under both compilers.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
ctest --preset sanitize
