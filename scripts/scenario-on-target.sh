#!/usr/bin/env bash
# The scenario program on an emulated board, built straight from its sources with the cross
# compiler alone, without this project's build files: the .cpp files of driver/, bench/ and
# tests_ft847_power/, with driver/, bench/ and sim/ on the include path, at -Os with the board's
# CPU flags, and the start-up code of its architecture built for semihosting; linked with the C
# library's semihosting (newlib's rdimon on Arm, picolibc's semihost on RV32), the board's memory
# map and the architecture's section layout. Then runs it under the board's emulator and passes
# on its output and exit status. Any board of ports/boards/boards.txt that has an emulator will
# do; CTest runs it on those whose row names scenario.
#
# Usage: scenario-on-target.sh BOARD [BUILD-DIRECTORY]   (default: build/scenario-BOARD)
set -euo pipefail
source "$(dirname "$0")/boards.sh"
root=$(dirname "$ports")
board=${1:-}
[ -n "$board" ] || { echo "usage: scenario-on-target.sh BOARD [BUILD-DIRECTORY]" >&2; exit 2; }
board_row "$board" >/dev/null || exit 2
emulator=$(board_fact "$board" emulator)
[ -n "$emulator" ] ||
  { echo "scenario-on-target.sh: the board $board has no emulator to run on" >&2; exit 2; }
arch=$(board_fact "$board" arch)
prefix=$(arch_fact "$board" prefix)
cpu="$(board_fact "$board" cpu-flags) $(arch_fact "$board" compile-flags)"
link=$(arch_fact "$board" link-semihosting)
warnings="-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Werror"
common="-Os -ffunction-sections -fdata-sections"
out=${2:-$root/build/scenario-$board}
mkdir -p "$out"
cd "$root"

objects=()
for source in driver/*.cpp bench/*.cpp tests_ft847_power/*.cpp; do
  [ -e "$source" ] || continue
  object=$out/$(echo "$source" | tr / _).o
  # shellcheck disable=SC2086 # the flag lists are meant to split
  "${prefix}g++" $cpu $common $warnings -std=c++17 -fno-exceptions -fno-rtti \
    -Idriver -Ibench -Isim -c "$source" -o "$object"
  objects+=("$object")
done
# shellcheck disable=SC2086
"${prefix}gcc" $cpu $common $warnings -DFT847_SEMIHOSTING -Iports/arch/$arch -Iports/arch \
  -c ports/arch/$arch/Startup.c -o "$out/Startup.c.o"
objects+=("$out/Startup.c.o")
# The C driver links: C++ programs without the C++ library need nothing from it, and the RV32
# toolchain has none.
# shellcheck disable=SC2086
"${prefix}gcc" $cpu $link -nostartfiles -Tports/boards/$board/memory.ld \
  -Tports/arch/$arch/sections.ld -Wl,--gc-sections -Wl,--no-warn-rwx-segments \
  "${objects[@]}" -o "$out/ft847_power.elf"

# shellcheck disable=SC2086
exec timeout 60 $emulator -display none -serial none -monitor none \
  -semihosting-config enable=on,target=native -kernel "$out/ft847_power.elf"
