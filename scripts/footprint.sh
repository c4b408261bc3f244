#!/usr/bin/env bash
# Footprint of the driver on the Cortex-M4 build, from the objects of a configured and built
# cross build (scripts/target-build.sh). Prints one "name value" line per figure, in bytes:
#   text        code (.text sections)
#   rodata      read-only data (.rodata sections: strings, tone tables, the vtable)
#   data, bss   initialised and zeroed static data
#   size-text   the `text` column of arm-none-eabi-size: code plus read-only data
#   sizeof      sizeof(FT847) on the 32-bit target
#   sizeof-bound  the bound a static_assert holds it to
#   compiler    the cross compiler's version line
#   undefined   a symbol the object refers to and does not define, demangled; a line each
#
# Usage: footprint.sh [BUILD_DIR]   (default: build-arm)
set -euo pipefail
build=${1:-build-arm}
object=$build/ft847_driver.o
size_probe=$build/ports/cortex-m4/CMakeFiles/ft847_port_checks.dir/DriverSize.cpp.obj
for file in "$object" "$size_probe"; do
  [ -f "$file" ] || { echo "missing $file: run scripts/target-build.sh first" >&2; exit 1; }
done

arm-none-eabi-size -A "$object" | awk '
  $1 ~ /^\.text(\.|$)/   { text += $2 }
  $1 ~ /^\.rodata(\.|$)/ { rodata += $2 }
  $1 ~ /^\.data(\.|$)/   { data += $2 }
  $1 ~ /^\.bss(\.|$)/    { bss += $2 }
  END { printf "text %d\nrodata %d\ndata %d\nbss %d\n", text, rodata, data, bss }'
echo "size-text $(arm-none-eabi-size -B "$object" | awk 'NR == 2 { print $1 }')"
# The size of the symbol ft847ObjectSize, an array of sizeof(FT847) bytes.
echo "sizeof $((16#$(arm-none-eabi-nm -S "$size_probe" | awk '$4 == "ft847ObjectSize" { print $2 }')))"
echo "sizeof-bound $(sed -n 's/.*sizeof(FT847) <= \([0-9]*\).*/\1/p' \
  "$(dirname "$0")/../ports/cortex-m4/DriverSize.cpp")"
echo "compiler $(arm-none-eabi-g++ --version | head -n 1)"
arm-none-eabi-nm --undefined-only --format=posix "$object" | awk '{ print $1 }' |
  arm-none-eabi-c++filt | sort | sed 's/^/undefined /'
