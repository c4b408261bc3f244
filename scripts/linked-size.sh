#!/usr/bin/env bash
# What a firmware pays for the driver, from linked images (ports/linked-image): for each target,
# an image without the driver and one that calls every public command, both linked with the C
# library and --gc-sections. Configures and builds build-link-<target> for each of
#   cortex-m4f   cmake/arm-none-eabi-cortex-m4.cmake, newlib-nano
#   cortex-m0p   cmake/arm-none-eabi-cortex-m0plus.cmake, newlib-nano
#   rv32imac     cmake/riscv32-imac-picolibc.cmake, picolibc
# and prints one "name value" line per figure, in bytes, each name prefixed with the target:
#   cost           `text` column (code plus read-only data) with the driver minus without it
#   data, bss      the same for the `data` and `bss` columns (RAM; .data is also kept in flash)
#   helpers        every library routine or object the driver's image has and the other lacks,
#                  with its size; aliases (two names, one address) both appear ("none" if none)
#   heap           heap routines in the driver's image and in the README's main loop ("none")
#   radio          where the README's main loop keeps its global driver: section and size
#   printf         what a console printf on the C library's vsnprintf adds, integer only
#   printf-float   what floating-point conversions (for "%.1f") add to that
#   printf-heap    heap routines in the image with the floating-point printf ("none")
#   compiler       the cross compiler's version line
#
# Usage: linked-size.sh [--check] [TARGET...]   (default: every target)
#   --check   fail unless every image is free of heap routines, no 64-bit division and no
#             double-precision routine is among the helpers, the main loop's driver is in
#             .bss, and the cost is within the target's bound
set -euo pipefail
check=false
if [ "${1:-}" = "--check" ]; then
  check=true
  shift
fi
root=$(cd "$(dirname "$0")/.." && pwd)

# target, build directory, toolchain file, tool prefix, bound on the cost in bytes
targets=(
  "cortex-m4f build-link-m4 arm-none-eabi-cortex-m4.cmake arm-none-eabi- 3800"
  "cortex-m0p build-link-m0plus arm-none-eabi-cortex-m0plus.cmake arm-none-eabi- 3800"
  "rv32imac build-link-rv32 riscv32-imac-picolibc.cmake riscv64-unknown-elf- 3800"
)
wanted=("$@")

# Heap routines of newlib and picolibc, and the C++ allocation functions.
heap_pattern='^(malloc|free|calloc|realloc|memalign|_malloc_r|_free_r|_calloc_r|_realloc_r|_memalign_r|_sbrk|_sbrk_r|sbrk|__malloc_.*|_Znw.*|_Zna.*|_Zdl.*|_Zda.*)$'
# 64-bit division and modulo (ARM EABI and generic libgcc names), and double-precision
# arithmetic, comparison and conversion (ARM EABI names and generic soft-float names).
forbidden_pattern='^(__aeabi_uldivmod|__aeabi_ldivmod|__udivmoddi4|__divmoddi4|__udivdi3|__divdi3|__umoddi3|__moddi3|__aeabi_d.*|__aeabi_[iulf]*2d|__aeabi_f2d|__aeabi_d2.*|__.*df[23]|__float.*df|__fix.*df.*|__extendsfdf2|__truncdfsf2|__unorddf2)$'

failures=0
problem() {
  echo "FAIL $*" >&2
  failures=$((failures + 1))
}

for entry in "${targets[@]}"; do
  read -r name dir toolchain prefix bound <<<"$entry"
  if [ ${#wanted[@]} -gt 0 ] && [[ ! " ${wanted[*]} " == *" $name "* ]]; then
    continue
  fi
  build=$root/$dir
  cmake -S "$root/ports/linked-image" -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" >&2
  cmake --build "$build" -j2 >&2

  size_of() { "${prefix}size" -B "$build/$1.elf" | awk -v column="$2" 'NR == 2 { print $column }'; }
  # Function and object symbols defined in an image, with their sizes in bytes.
  defined() {
    "${prefix}nm" -S -t d --defined-only --format=posix "$build/$1.elf" |
      awk 'NF == 4 && $2 ~ /^[TtDdBbRrWV]$/ { print $1, $4 + 0 }' | sort -u
  }
  # Symbols that the driver and the probe's own sources define: the rest is library code.
  own() {
    find "$build/CMakeFiles" -name '*.obj' -print0 | xargs -0 "${prefix}nm" --defined-only \
      --format=posix 2>/dev/null | awk 'NF >= 2 { print $1 }' | sort -u
  }

  base_text=$(size_of without-driver 1)
  echo "$name-cost $(($(size_of every-command 1) - base_text))"
  echo "$name-data $(($(size_of every-command 2) - $(size_of without-driver 2)))"
  echo "$name-bss $(($(size_of every-command 3) - $(size_of without-driver 3)))"

  work=$(mktemp -d)
  defined without-driver | awk '{ print $1 }' >"$work/base"
  own >"$work/own"
  defined every-command | awk 'NR == FNR { skip[$1] = 1; next } !($1 in skip)' \
    "$work/base" - | awk 'NR == FNR { skip[$1] = 1; next } !($1 in skip)' "$work/own" - \
    >"$work/helpers"
  helpers=$(while read -r symbol bytes; do
      echo "$("${prefix}c++filt" "$symbol") ($bytes)"
    done <"$work/helpers" | paste -sd';' - | sed 's/;/; /g')
  echo "$name-helpers ${helpers:-none}"

  heap=$( (defined every-command; defined main-loop) | awk '{ print $1 }' | sort -u |
    grep -E "$heap_pattern" | paste -sd, - | sed 's/,/, /g' || true)
  echo "$name-heap ${heap:-none}"

  # The main loop's global driver: its section letter (b/B: .bss) and size.
  radio=$("${prefix}nm" -S -t d --format=posix "$build/main-loop.elf" |
    awk '$1 == "radio" { print $2, $4 + 0 }')
  case ${radio%% *} in
    b | B) echo "$name-radio .bss ${radio#* }" ;;
    *) echo "$name-radio ${radio:-missing}" ;;
  esac

  echo "$name-printf $(($(size_of every-command-printf 1) - $(size_of every-command 1)))"
  echo "$name-printf-float $(($(size_of every-command-printf-float 1) - $(size_of every-command-printf 1)))"
  printf_heap=$(defined every-command-printf-float | awk '{ print $1 }' |
    grep -E "$heap_pattern" | paste -sd, - | sed 's/,/, /g' || true)
  echo "$name-printf-heap ${printf_heap:-none}"
  echo "$name-compiler $("${prefix}g++" --version | head -n 1)"

  if $check; then
    cost=$(($(size_of every-command 1) - base_text))
    [ "$cost" -le "$bound" ] || problem "$name: the driver costs $cost bytes, more than $bound"
    [ -z "$heap" ] || problem "$name: heap routines in the image: $heap"
    bad=$(awk '{ print $1 }' "$work/helpers" | grep -E "$forbidden_pattern" | paste -sd' ' - || true)
    [ -z "$bad" ] || problem "$name: 64-bit division or double-precision helpers: $bad"
    case ${radio%% *} in
      b | B) ;;
      *) problem "$name: the main loop's global driver is not in .bss (${radio:-missing})" ;;
    esac
  fi
  rm -rf "$work"
done

if $check; then
  [ "$failures" -eq 0 ] || exit 1
  echo "OK: linked images free of heap, 64-bit division and double-precision helpers, within bounds" >&2
fi
