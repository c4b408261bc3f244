#!/usr/bin/env bash
# Footprint of the driver object on a board whose row in ports/boards/boards.txt names
# object-checks, from the board's build, which the host build makes (build/boards/<board>).
# Prints one "name value" line per figure, in bytes:
#   text        code (.text sections)
#   rodata      read-only data (.rodata sections: strings, tone tables, the vtable)
#   data, bss   initialised and zeroed static data
#   size-text   the `text` column of the size tool: code plus read-only data
#   sizeof      sizeof(FT847) on the 32-bit target
#   sizeof-bound  the bound a static_assert holds it to
#   compiler    the cross compiler's version line
#   undefined   a symbol the object refers to and does not define, demangled; a line each
#
# Usage: footprint.sh [BOARD [BUILD-DIRECTORY]]   (default: size-cortex-m4f, build/boards/BOARD)
set -euo pipefail
source "$(dirname "$0")/boards.sh"
board=${1:-size-cortex-m4f}
board_row "$board" >/dev/null || exit 2
build=${2:-$(board_build "$board")}
prefix=$(arch_fact "$board" prefix)
object=$build/ft847_driver.o
size_probe=$build/tests/object/CMakeFiles/ft847_port_checks.dir/DriverSize.cpp.obj
for file in "$object" "$size_probe"; do
  [ -f "$file" ] ||
    { echo "missing $file: build the board first (cmake --build --preset default)" >&2; exit 1; }
done

"${prefix}size" -A "$object" | awk '
  $1 ~ /^\.text(\.|$)/   { text += $2 }
  $1 ~ /^\.rodata(\.|$)/ { rodata += $2 }
  $1 ~ /^\.data(\.|$)/   { data += $2 }
  $1 ~ /^\.bss(\.|$)/    { bss += $2 }
  END { printf "text %d\nrodata %d\ndata %d\nbss %d\n", text, rodata, data, bss }'
echo "size-text $("${prefix}size" -B "$object" | awk 'NR == 2 { print $1 }')"
# The size of the symbol ft847ObjectSize, an array of sizeof(FT847) bytes.
echo "sizeof $((16#$("${prefix}nm" -S "$size_probe" | awk '$4 == "ft847ObjectSize" { print $2 }')))"
echo "sizeof-bound $(sed -n 's/.*sizeof(FT847) <= \([0-9]*\).*/\1/p' \
  "$(dirname "$0")/../tests/object/DriverSize.cpp")"
echo "compiler $("${prefix}g++" --version | head -n 1)"
"${prefix}nm" --undefined-only --format=posix "$object" | awk '{ print $1 }' |
  "${prefix}c++filt" | sort | sed 's/^/undefined /'
