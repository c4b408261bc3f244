#!/usr/bin/env bash
# clang-tidy (checks in .clang-tidy, compile commands from CMake) and cppcheck over driver/.
# Any finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
# The default preset writes the compile commands.
cmake --preset default >/dev/null
clang-tidy -p build --quiet driver/FT847.cpp driver/FT847Link.cpp driver/FT847Codec.cpp \
  2> >(grep -v "warnings generated" >&2)
cppcheck --enable=warning,style,performance,portability,information --std=c++17 --language=c++ \
  --suppress=missingIncludeSystem --inline-suppr --error-exitcode=1 -q -I driver -I bench driver/
echo "static analysis: clang-tidy and cppcheck clean on driver/"
