#!/usr/bin/env bash
# The cross build for a Cortex-M4 and its checks (the "cortex-m4" preset, in build-arm): the
# driver compiles with -Werror against the board-side declarations in ports/cortex-m4/include,
# sizeof(FT847) stays within its static_assert bound, the driver object needs no heap, exception
# or RTTI support, has no .data/.bss and at most 3,300 bytes of code plus read-only data, and the
# check that proves all this rejects each forbidden dependency. Then prints the footprint.
#
# Usage: scripts/target-build.sh
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset cortex-m4
cmake --build --preset cortex-m4
ctest --preset cortex-m4
bash scripts/footprint.sh build-arm
