#!/usr/bin/env bash
# The scenario program on an emulated board, built straight from its sources with the cross
# compiler alone, without this project's build files: the .cpp files of driver/, bench/ and
# tests_ft847_power/, with driver/, bench/ and sim/ on the include path, at -Os with the CPU
# flags of cmake/*.cmake, linked with the C library's semihosting (newlib's rdimon on ARM,
# picolibc's semihost on RV32) and, on ARM, the board's vector table and memory map
# (ports/qemu/). Then runs it under QEMU and passes on its output and exit status.
#
#   cortex-m4f   arm-none-eabi-g++, hard float, on qemu-system-arm -M mps2-an386 (Cortex-M4F)
#   cortex-m0p   arm-none-eabi-g++, ARMv6-M, on qemu-system-arm -M mps2-an385 (a Cortex-M3
#                runs ARMv6-M code)
#   rv32imac     riscv64-unknown-elf-g++ with picolibc, on qemu-system-riscv32 -M virt
#
# Usage: scenario-on-target.sh TARGET [BUILD-DIRECTORY]   (default: build/scenario-TARGET)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:-}
warnings="-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Werror"
common="-Os -ffunction-sections -fdata-sections"
semihosting="-semihosting-config enable=on,target=native"
case $target in
  cortex-m4f | cortex-m0p)
    prefix=arm-none-eabi-
    if [ "$target" = cortex-m4f ]; then
      cpu="-mcpu=cortex-m4 -mthumb -mfloat-abi=hard -mfpu=fpv4-sp-d16"
      qemu="qemu-system-arm -M mps2-an386"
    else
      cpu="-mcpu=cortex-m0plus -mthumb -mfloat-abi=soft"
      qemu="qemu-system-arm -M mps2-an385"
    fi
    board=(ports/qemu/CortexMVectors.c)
    link="--specs=nano.specs --specs=rdimon.specs -Tports/qemu/mps2.ld"
    ;;
  rv32imac)
    prefix=riscv64-unknown-elf-
    cpu="-march=rv32imac -mabi=ilp32 --specs=picolibc.specs"
    qemu="qemu-system-riscv32 -M virt -bios none"
    board=()
    # Code from the start of RAM, where the board's reset vector jumps without firmware.
    link="--oslib=semihost --crt0=semihost
      -Wl,--defsym=__flash=0x80000000,--defsym=__flash_size=0x400000
      -Wl,--defsym=__ram=0x80400000,--defsym=__ram_size=0x400000"
    ;;
  *)
    echo "scenario-on-target.sh: unknown target '$target' (cortex-m4f, cortex-m0p, rv32imac)" >&2
    exit 2
    ;;
esac
out=${2:-$root/build/scenario-$target}
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
for source in "${board[@]}"; do
  object=$out/$(basename "$source").o
  # shellcheck disable=SC2086
  "${prefix}gcc" $cpu $common $warnings -c "$source" -o "$object"
  objects+=("$object")
done
# The C driver links: C++ programs without the C++ library need nothing from it, and the RV32
# toolchain has none.
# shellcheck disable=SC2086
"${prefix}gcc" $cpu $link -Wl,--gc-sections "${objects[@]}" -o "$out/ft847_power.elf"

# shellcheck disable=SC2086
exec timeout 60 $qemu -display none -serial none -monitor none $semihosting \
  -kernel "$out/ft847_power.elf"
