#!/usr/bin/env bash
# What a firmware pays for the driver, from linked images (ports/linked-image): for each target,
# an image without the driver and one that calls every public command, both linked with the C
# library and --gc-sections. Configures and builds the preset of each target:
#   cortex-m4f   preset cortex-m4 (build-arm), cmake/arm-none-eabi-cortex-m4.cmake, newlib-nano
#   cortex-m0p   preset cortex-m0plus (build-m0plus), cmake/arm-none-eabi-cortex-m0plus.cmake,
#                newlib-nano
#   rv32imac     preset rv32imac (build-rv32), cmake/riscv32-imac-picolibc.cmake, picolibc
# and prints one "name value" line per figure, in bytes, each name prefixed with the target:
#   cost            `text` column (code plus read-only data) with the driver minus without it
#   data, bss       the same for the `data` and `bss` columns (RAM; .data is kept in flash too)
#   own-text        of the cost: the driver's own code and read-only data (from the link map)
#   helpers         the library routines and objects the driver's image has and the other
#                   lacks, by name ("none" if there are none)
#   helpers-text    their bytes of code and read-only data (aliases counted once)
#   helpers-ram     their bytes of RAM
#   exit-text       of the cost: registering the global driver's destructor for exit
#   exit-ram        of data plus bss: the same
#   stack           the driver's deepest call chain, bytes of stack (the board functions it
#                   calls at the end of the chain not included)
#   stack-path      that chain
#   heap            heap routines in the driver's image and in the README's main loop ("none")
#   radio           where the README's main loop keeps its global driver: section and size
#   printf          what a console printf on the C library's vsnprintf adds, integer only
#   printf-float    what floating-point conversions (for "%.1f") add to that
#   printf-heap     heap routines in the image with the integer printf ("none")
#   printf-float-heap   the same with the floating-point printf
#   sizeof          sizeof(FT847) on the target
#   bound           the bound --check holds the cost to
#   no-log-cost     the cost of the driver built with FT847_NO_LOG (its log lines compiled out,
#                   for a board without a console): image every-command-no-log minus the image
#                   without the driver
#   no-log-data, no-log-bss, no-log-own-text   the same figures as above for that image
#   no-log-bound    the bound --check holds the no-log cost to
#   flags           the compiler flags of the images, and the C library
#   sizeof-bound    the bound the targets' builds hold sizeof(FT847) to (a static_assert), once
#   compiler        the cross compiler's version line
#
# Usage: linked-size.sh [--check] [TARGET...]   (default: every target)
#   --check   fail unless the driver's and the main loop's images have no heap routine, no
#             64-bit division and no double-precision routine is among the helpers, the main
#             loop's driver is in .bss, and the cost is within the target's bound; and unless
#             the no-log image's flash holds none of the driver's log texts (which the
#             every-command image's does), the no-log driver refers to no console, and its cost
#             is within its bound
set -euo pipefail
check=false
if [ "${1:-}" = "--check" ]; then
  check=true
  shift
fi
root=$(cd "$(dirname "$0")/.." && pwd)

# target, preset, build directory, tool prefix, bound on the cost in bytes, bound on the
# no-log cost, C library.
# The Cortex-M0+ and RV32IMAC bounds are their costs when the driver lost its heap, 64-bit
# division and double-precision routines (3,744 and 4,372 bytes), plus 5%. The no-log bounds
# are the no-log costs when the option came (2,576, 2,812 and 3,344 bytes), plus 5%.
targets=(
  "cortex-m4f cortex-m4 build-arm arm-none-eabi- 3800 2705 newlib-nano"
  "cortex-m0p cortex-m0plus build-m0plus arm-none-eabi- 3931 2953 newlib-nano"
  "rv32imac rv32imac build-rv32 riscv64-unknown-elf- 4590 3511 picolibc"
)
for wanted in "$@"; do
  printf '%s\n' "${targets[@]}" | grep -q "^$wanted " ||
    { echo "linked-size.sh: unknown target '$wanted' (cortex-m4f, cortex-m0p, rv32imac)" >&2; exit 2; }
done

# Heap routines of newlib and picolibc, and the C++ allocation functions.
heap_pattern='^(malloc|free|calloc|realloc|memalign|_malloc_r|_free_r|_calloc_r|_realloc_r|_memalign_r|_sbrk|_sbrk_r|sbrk|__malloc_.*|_Znw.*|_Zna.*|_Zdl.*|_Zda.*)$'
# 64-bit division and modulo (ARM EABI and generic libgcc names), and double-precision
# arithmetic, comparison and conversion (ARM EABI names and generic soft-float names).
forbidden_pattern='^(__aeabi_uldivmod|__aeabi_ldivmod|__udivmoddi4|__divmoddi4|__udivdi3|__divdi3|__umoddi3|__moddi3|__aeabi_d.*|__aeabi_cd.*|__aeabi_[iulf]*2d|__aeabi_f2d|__aeabi_d2.*|__.*df[23]|__float.*df|__fix.*df.*|__extendsfdf2|__truncdfsf2|__unorddf2)$'

failures=0
problem() {
  echo "FAIL $*" >&2
  failures=$((failures + 1))
}

# "a, b, c" from one word a line.
joined() { paste -sd';' - | sed 's/;/, /g'; }

# Numbered families of names (__riscv_save_0 ... __riscv_save_12) as one: __riscv_save_0..12.
collapsed() {
  awk '{
      stem = $0; sub(/[0-9]+$/, "", stem); number = substr($0, length(stem) + 1)
      if (number == "" || stem !~ /_$/) { order[++n] = $0; next }
      if (!(stem in low)) { order[++n] = stem; low[stem] = high[stem] = number + 0 }
      if (number + 0 < low[stem]) low[stem] = number + 0
      if (number + 0 > high[stem]) high[stem] = number + 0
    }
    END {
      for (i = 1; i <= n; i++) {
        name = order[i]
        if (name in low && low[name] != high[name]) print name low[name] ".." high[name]
        else if (name in low) print name low[name]
        else print name
      }
    }'
}

# Bytes covered by "address size" lines, overlaps counted once.
covered() {
  sort -n | awk '{
      start = $1; end = $1 + $2
      if (start >= top) { total += end - start; top = end }
      else if (end > top) { total += end - top; top = end }
    }
    END { print total + 0 }'
}

# Bytes that the driver's objects place in the flash image, from a GNU ld link map: input
# sections of the driver's library (libft847_driver.a, or the one named second) in the code,
# read-only data and constructor sections.
driver_flash() {
  awk -v library="${2:-libft847_driver.a}" '
    function hex(text,   i, value) {
      value = 0
      for (i = 3; i <= length(text); i++)
        value = value * 16 + index("0123456789abcdef", tolower(substr(text, i, 1))) - 1
      return value
    }
    /^Linker script and memory map/ { mapped = 1 }
    mapped && /^[.][^ ]/ { output = $1 }
    mapped && index($0, "/" library "(") && output ~ /^[.](text|rodata|ARM[.]exidx|init_array)$/ {
      for (i = 1; i < NF; i++) if ($i ~ /^0x/ && $(i + 1) ~ /^0x/) { total += hex($(i + 1)); break }
    }
    END { print total + 0 }' "$1"
}

# The deepest call chain in the call graphs GCC wrote (-fcallgraph-info=su): "bytes chain",
# the chain as mangled names joined by " > ". Functions outside the driver have no frame
# size in these graphs and count as 0.
deepest() {
  awk '
    function depth(node,   children, n, i, d, best) {
      if (node in memo) return memo[node]
      if (node in visiting) return 0
      visiting[node] = 1
      best = 0
      n = split(calls[node], children, " ")
      for (i = 1; i <= n; i++) {
        d = depth(children[i])
        if (d > best) { best = d; next_[node] = children[i] }
      }
      delete visiting[node]
      memo[node] = frame[node] + best
      return memo[node]
    }
    /^node:/ {
      title = $0; sub(/^node: \{ title: "/, "", title); sub(/".*/, "", title)
      if (match($0, /[0-9]+ bytes \(/)) frame[title] = substr($0, RSTART, RLENGTH) + 0
    }
    /^edge:/ {
      from = $0; sub(/^edge: \{ sourcename: "/, "", from); sub(/".*/, "", from)
      to = $0; sub(/.*targetname: "/, "", to); sub(/".*/, "", to)
      calls[from] = calls[from] " " to
    }
    END {
      for (node in frame) if (depth(node) > most) { most = depth(node); top = node }
      chain = top
      for (node = top; node in next_; node = next_[node]) chain = chain " > " next_[node]
      print most + 0, chain
    }' "$@"
}

echo "sizeof-bound $(sed -n 's/.*sizeof(FT847) <= \([0-9]*\).*/\1/p' "$root/ports/cortex-m4/DriverSize.cpp")"
for entry in "${targets[@]}"; do
  read -r name preset dir prefix bound no_log_bound libc <<<"$entry"
  if [ $# -gt 0 ] && [[ ! " $* " == *" $name "* ]]; then
    continue
  fi
  (cd "$root" && cmake --preset "$preset" && cmake --build --preset "$preset") >&2
  build=$root/$dir/ports/linked-image
  driver_objects=$root/$dir/driver/CMakeFiles/ft847_driver.dir

  # Column 1 text, 2 data, 3 bss of an image.
  size_of() { "${prefix}size" -B "$build/$1.elf" | awk -v column="$2" 'NR == 2 { print $column }'; }
  # Symbols defined in an image: name, type letter, address, size.
  defined() {
    "${prefix}nm" -S -t d --defined-only --format=posix "$build/$1.elf" |
      awk 'NF == 4 { print $1, $2, $3 + 0, $4 + 0 }' | sort -u
  }

  work=$(mktemp -d)
  defined without-driver | awk '{ print $1 }' >"$work/base"
  # Symbols that the driver and the sources of the driver's image define: the rest is library
  # code.
  find "$driver_objects" "$build/CMakeFiles/ft847_image_board.dir" \
    "$build/CMakeFiles/every-command.dir" -name '*.obj' -print0 |
    xargs -0 "${prefix}nm" --defined-only --format=posix 2>/dev/null | awk 'NF >= 2 { print $1 }' |
    sort -u >"$work/own"
  defined every-command | awk 'NR == FNR { skip[$1] = 1; next } !($1 in skip)' "$work/base" - |
    awk 'NR == FNR { skip[$1] = 1; next } !($1 in skip)' "$work/own" - >"$work/helpers"

  cost=$(($(size_of every-command 1) - $(size_of without-driver 1)))
  echo "$name-cost $cost"
  echo "$name-data $(($(size_of every-command 2) - $(size_of without-driver 2)))"
  echo "$name-bss $(($(size_of every-command 3) - $(size_of without-driver 3)))"
  echo "$name-own-text $(driver_flash "$build/every-command.map")"
  helpers=$(awk '{ print $1 }' "$work/helpers" | "${prefix}c++filt" | collapsed | joined)
  echo "$name-helpers ${helpers:-none}"
  echo "$name-helpers-text $(awk '$2 ~ /^[TtWwRr]$/ { print $3, $4 }' "$work/helpers" | covered)"
  echo "$name-helpers-ram $(awk '$2 ~ /^[DdBbVv]$/ { print $3, $4 }' "$work/helpers" | covered)"
  echo "$name-exit-text $(($(size_of every-command 1) - $(size_of every-command-no-exit 1)))"
  echo "$name-exit-ram $(($(size_of every-command 2) + $(size_of every-command 3) -
    $(size_of every-command-no-exit 2) - $(size_of every-command-no-exit 3)))"

  read -r stack chain < <(find "$driver_objects" -name '*.ci' -print0 |
    xargs -0 cat | deepest)
  echo "$name-stack $stack"
  echo "$name-stack-path $(echo "$chain" | "${prefix}c++filt" | sed 's/([^()]*)//g; s/ const//g')"

  heap=$( (defined every-command; defined main-loop) | awk '{ print $1 }' | sort -u |
    grep -E "$heap_pattern" | joined || true)
  echo "$name-heap ${heap:-none}"

  # The main loop's global driver: its section letter (b or B: .bss) and size.
  read -r radio_type radio_size < <(defined main-loop | awk '$1 == "radio" { print $2, $4 }') || true
  case ${radio_type:-} in
    b | B) echo "$name-radio .bss $radio_size" ;;
    *) echo "$name-radio ${radio_type:-missing}" ;;
  esac

  # sizeof(FT847) on this target: the size of the symbol ft847ObjectSize in the size check.
  size_probe=$root/$dir/ports/cortex-m4/CMakeFiles/ft847_port_checks.dir/DriverSize.cpp.obj
  echo "$name-sizeof $("${prefix}nm" -S -t d "$size_probe" |
    awk '$4 == "ft847ObjectSize" { print $2 + 0 }')"

  echo "$name-printf $(($(size_of every-command-printf 1) - $(size_of every-command 1)))"
  echo "$name-printf-float $(($(size_of every-command-printf-float 1) - $(size_of every-command-printf 1)))"
  for image in every-command-printf every-command-printf-float; do
    printf_heap=$(defined "$image" | awk '{ print $1 }' | grep -E "$heap_pattern" | joined || true)
    echo "$name-${image#every-command-}-heap ${printf_heap:-none}"
  done
  echo "$name-bound $bound"
  no_log_cost=$(($(size_of every-command-no-log 1) - $(size_of without-driver 1)))
  echo "$name-no-log-cost $no_log_cost"
  echo "$name-no-log-data $(($(size_of every-command-no-log 2) - $(size_of without-driver 2)))"
  echo "$name-no-log-bss $(($(size_of every-command-no-log 3) - $(size_of without-driver 3)))"
  echo "$name-no-log-own-text $(driver_flash "$build/every-command-no-log.map" \
    libft847_driver_no_log.a)"
  echo "$name-no-log-bound $no_log_bound"
  flags=$(awk -F= '/^CMAKE_CXX_FLAGS(_MINSIZEREL)?:/ { sub(/^[^=]*=/, ""); printf "%s ", $0 }' \
    "$root/$dir/CMakeCache.txt" | sed 's/ -DNDEBUG//; s/ *$//')
  echo "$name-flags $flags, $libc"
  echo "$name-compiler $("${prefix}g++" --version | head -n 1)"

  if $check; then
    [ "$cost" -le "$bound" ] || problem "$name: the driver costs $cost bytes, more than $bound"
    [ -z "$heap" ] || problem "$name: heap routines in the image: $heap"
    bad=$(awk '{ print $1 }' "$work/helpers" | grep -E "$forbidden_pattern" | joined || true)
    [ -z "$bad" ] || problem "$name: 64-bit division or double-precision helpers: $bad"
    case ${radio_type:-} in
      b | B) ;;
      *) problem "$name: the main loop's global driver is not in .bss (${radio_type:-missing})" ;;
    esac
    [ "$no_log_cost" -le "$no_log_bound" ] ||
      problem "$name: the driver without its log costs $no_log_cost bytes, more than $no_log_bound"
    # What the part's flash holds: the loaded sections, without symbol names.
    for image in every-command every-command-no-log; do
      "${prefix}objcopy" -O binary "$build/$image.elf" "$work/$image.bin"
    done
    log_texts='FT847 |FT847:|CAT/SAT|Read timeout|read-back mismatch'
    grep -q -a -E "$log_texts" "$work/every-command.bin" ||
      problem "$name: no log text found in the every-command image; the search is broken"
    if grep -q -a -E "$log_texts" "$work/every-command-no-log.bin"; then
      problem "$name: log texts in the no-log image: $(grep -a -o -E "$log_texts" \
        "$work/every-command-no-log.bin" | sort -u | joined)"
    fi
    console=$("${prefix}nm" --undefined-only --format=posix \
      "$root/$dir/ports/cortex-m4/libft847_driver_no_log.a" | awk 'NF >= 2 { print $1 }' |
      "${prefix}c++filt" | grep -E '^(Serial|Log::)' | sort -u | joined || true)
    [ -z "$console" ] || problem "$name: the no-log driver refers to the console: $console"
  fi
  rm -rf "$work"
done

if $check; then
  [ "$failures" -eq 0 ] || exit 1
  echo "OK: linked images without heap, 64-bit division or double-precision helpers, within bounds" >&2
fi
