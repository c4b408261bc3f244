#!/usr/bin/env bash
# What a firmware pays for the driver, from the linked images of a board whose row in
# ports/boards/boards.txt names linked-images (tools/linked-size): an image without the driver
# and one that calls every public command, both linked with the C library and --gc-sections.
# Reads the board's build, which the host build makes (build/boards/<board>), and prints one
# "name value" line per figure, in bytes, each name prefixed with the board:
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
#   sizeof          sizeof(FT847) on the board's target
#   bound           the board's flash-bound, which CTest holds the cost to
#   no-log-cost     the cost of the driver built with FT847_NO_LOG (its log lines compiled out,
#                   for a board without a console): image every-command-no-log minus the image
#                   without the driver
#   no-log-data, no-log-bss, no-log-own-text   the same figures as above for that image
#   no-log-bound    the board's no-log-bound, which CTest holds the no-log cost to
#   log-texts       the driver's log texts found in the flash of the every-command image
#   no-log-log-texts    the same in the no-log image ("none")
#   no-log-console  the console functions the no-log driver refers to ("none")
#   processor       the board's processor
#   flags           the compiler flags of the images, and the C library
#   sizeof-bound    the bound the boards' builds hold sizeof(FT847) to (a static_assert)
#   compiler        the cross compiler's version line
# tests/target/linked_size_test.sh holds the figures to the board's bounds.
#
# Usage: linked-size.sh BOARD [BUILD-DIRECTORY]   (default: build/boards/BOARD)
set -euo pipefail
source "$(dirname "$0")/boards.sh"
[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: linked-size.sh BOARD [BUILD-DIRECTORY]" >&2; exit 2; }
name=$1
board_row "$name" >/dev/null || exit 2
boards_with linked-images | grep -qx "$name" ||
  { echo "linked-size.sh: the board $name builds no linked images" >&2; exit 2; }
dir=${2:-$(board_build "$name")}
prefix=$(arch_fact "$name" prefix)
bound=$(board_value "$name" flash-bound)
no_log_bound=$(board_value "$name" no-log-bound)
libc=$(arch_fact "$name" c-library)
build=$dir/tools/linked-size
[ -f "$build/every-command.elf" ] ||
  { echo "linked-size.sh: no images in $build: build the board first (cmake --build --preset default)" >&2
    exit 1; }
driver_objects=$dir/driver/CMakeFiles/ft847_driver.dir

# Heap routines of newlib and picolibc, and the C++ allocation functions.
heap_pattern='^(malloc|free|calloc|realloc|memalign|_malloc_r|_free_r|_calloc_r|_realloc_r|_memalign_r|_sbrk|_sbrk_r|sbrk|__malloc_.*|_Znw.*|_Zna.*|_Zdl.*|_Zda.*)$'
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
    mapped && (index(" " $0, " " library "(") || index($0, "/" library "(")) &&
      output ~ /^[.](text|rodata|ARM[.]exidx|init_array)$/ {
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

# Column 1 text, 2 data, 3 bss of an image.
size_of() { "${prefix}size" -B "$build/$1.elf" | awk -v column="$2" 'NR == 2 { print $column }'; }
# Symbols defined in an image: name, type letter, address, size.
defined() {
  "${prefix}nm" -S -t d --defined-only --format=posix "$build/$1.elf" |
    awk 'NF == 4 { print $1, $2, $3 + 0, $4 + 0 }' | sort -u
}

work=$(mktemp -d)
defined without-driver | awk '{ print $1 }' >"$work/base"
# Symbols that the driver, the sources of the driver's image and the start-up code define: the
# rest is library code.
find "$driver_objects" "$build/CMakeFiles/ft847_image_board.dir" \
  "$build/CMakeFiles/ft847_every_command.dir" "$build/CMakeFiles/ft847_console_text.dir" \
  "$dir/ports/boards/CMakeFiles/ft847_startup_bare.dir" -name '*.obj' -print0 |
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

# sizeof(FT847) on this target: the size of the symbol ft847ObjectSize in the size check, and
# the bound the boards' builds hold it to (a static_assert), written once.
size_probe=$dir/tests/object/CMakeFiles/ft847_port_checks.dir/DriverSize.cpp.obj
echo "$name-sizeof $("${prefix}nm" -S -t d "$size_probe" |
  awk '$4 == "ft847ObjectSize" { print $2 + 0 }')"
echo "sizeof-bound $(sed -n 's/.*sizeof(FT847) <= \([0-9]*\).*/\1/p' \
  "$(dirname "$0")/../tests/object/DriverSize.cpp")"

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
  "$dir/CMakeCache.txt" | sed 's/ -DNDEBUG//; s/ *$//')
echo "$name-processor $(board_fact "$name" processor)"
echo "$name-flags $flags, $libc"
echo "$name-compiler $("${prefix}g++" --version | head -n 1)"

# What the part's flash holds: the loaded sections, without symbol names. The driver's log
# texts are in the every-command image's flash, and in the no-log image's none.
for image in every-command every-command-no-log; do
  "${prefix}objcopy" -O binary "$build/$image.elf" "$work/$image.bin"
done
log_texts='FT847 |FT847:|CAT/SAT|Read timeout|read-back mismatch'
found() { grep -a -o -E "$log_texts" "$work/$1.bin" | sort -u | joined || true; }
texts=$(found every-command)
echo "$name-log-texts ${texts:-none}"
texts=$(found every-command-no-log)
echo "$name-no-log-log-texts ${texts:-none}"
console=$("${prefix}nm" --undefined-only --format=posix \
  "$build/libft847_driver_no_log.a" | awk 'NF >= 2 { print $1 }' |
  "${prefix}c++filt" | grep -E '^(Serial|Log::)' | sort -u | joined || true)
echo "$name-no-log-console ${console:-none}"
rm -rf "$work"
