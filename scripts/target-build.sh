#!/usr/bin/env bash
# The cross build for a Cortex-M4 and its checks: the driver compiles with -Werror against the
# board-side declarations in ports/cortex-m4/include, sizeof(FT847) stays within its
# static_assert bound, the driver object needs no heap, exception or RTTI support, has no
# .data/.bss and at most 3,300 bytes of code plus read-only data, and the check that proves all
# this rejects each forbidden dependency. Then prints the footprint.
#
# Usage: scripts/target-build.sh [BUILD_DIR]   (default: build-arm)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-arm}

cmake -S "$root/ports/cortex-m4" -B "$build" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/arm-none-eabi-cortex-m4.cmake"
cmake --build "$build" -j2
ctest --test-dir "$build" --output-on-failure
bash "$root/scripts/footprint.sh" "$build"
