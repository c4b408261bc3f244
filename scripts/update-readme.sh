#!/usr/bin/env bash
# Rewrites the generated sections of README.md: the footprint and cost figures (from
# target-build.sh, footprint.sh and cost.sh), the outside symbols of the driver object, the
# linked-image figures (from linked-size.sh) and the main-loop example (copied from
# ports/cortex-m4/example/MainLoop.cpp, which the cross build compiles). Everything between a
# "<!-- NAME:begin" line and its "<!-- NAME:end -->" line is replaced; the rest is left as is.
#
# Usage: scripts/update-readme.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
readme=$root/README.md
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

bash "$root/scripts/target-build.sh" >"$work/target.log" 2>&1 ||
  { cat "$work/target.log"; exit 1; }
bash "$root/scripts/footprint.sh" "$root/build-arm" >"$work/footprint"
bash "$root/scripts/cost.sh" --check >"$work/cost" 2>"$work/cost.log" ||
  { cat "$work/cost.log"; exit 1; }
bash "$root/scripts/linked-size.sh" --check >"$work/linked" 2>"$work/linked.log" ||
  { cat "$work/linked.log"; exit 1; }

value() { awk -v key="$2" '$1 == key { $1 = ""; sub(/^ /, ""); print }' "$work/$1"; }

{
  echo "Cortex-M4 (\`-mcpu=cortex-m4 -mthumb -mfloat-abi=hard -mfpu=fpv4-sp-d16 -Os\`), the driver"
  echo "object \`build-arm/ft847_driver.o\`, built by $(value footprint compiler):"
  echo
  echo "| Section | Bytes | Bound |"
  echo "|---|---:|---|"
  echo "| \`.text\`: code | $(value footprint text) | |"
  echo "| \`.rodata\`: log texts, tone tables, vtable | $(value footprint rodata) | |"
  echo "| \`text\` column of \`arm-none-eabi-size\`: code plus read-only data | $(value footprint size-text) | at most 3,300 (CI) |"
  echo "| \`.data\` | $(value footprint data) | none (CI) |"
  echo "| \`.bss\` | $(value footprint bss) | none (CI) |"
  echo "| \`sizeof(FT847)\` on the 32-bit target | $(value footprint sizeof) | at most 80 (\`static_assert\`) |"
  echo
  echo "Instructions per \`update()\` call on x86-64 at -O2, counted by $(value cost valgrind)'s"
  echo "callgrind, built by $(value cost compiler):"
  echo
  echo "| Phase | Instructions per call | Calls | Bound |"
  echo "|---|---:|---:|---|"
  echo "| connected and idle | $(value cost idle) | $(value cost idle-updates) | at most 20 (CI) |"
  echo "| connect handshake, \`begin()\` to connected | $(value cost handshake) | $(value cost handshake-updates) | |"
  echo "| \`setModeFm()\` with read-back, until no longer busy | $(value cost command) | $(value cost command-updates) | |"
} >"$work/figures"

# The outside symbols of the driver object, demangled: the platform's, and anything else.
platform='^(Serial|millis\(\)|settings[A-Za-z]*\(.*\)|rigControl[A-Za-z]*\(.*\)|HardwareSerial::.*|Log::.*)$'
arm-none-eabi-nm --undefined-only --format=posix "$root/build-arm/ft847_driver.o" |
  awk '{ print $1 }' | arm-none-eabi-c++filt | sort >"$work/undefined"
{
  echo "From the platform: $(grep -E "$platform" "$work/undefined" | sed 's/.*/`&`/' | paste -sd';' - |
    sed 's/;/, /g')."
  echo
  other=$(grep -vE "$platform" "$work/undefined" | sed 's/.*/`&`/' | paste -sd';' - |
    sed 's/;/, /g' || true)
  echo "Anything else: ${other:-nothing}."
} >"$work/object-symbols"

thousands() { sed ':a; s/\B[0-9]\{3\}\>/,&/; ta'; }
quoted() { sed '/^none$/!{ s/, /`, `/g; s/^/`/; s/$/`/; }'; }
linked() { value linked "$1-$2"; }
# A list of heap routines in a few words: the allocator entry points, and how many more.
heap_brief() {
  tr -d ' ' | tr ',' '\n' | awk '
    /^(malloc|_malloc_r|_calloc_r|_realloc_r|_sbrk)$/ { named = named (named == "" ? "" : ", ") "`" $0 "`"; next }
    /^none$/ { none = 1; next }
    { more++ }
    END { if (none) print "none"; else print named (more ? " and " more " more" : "") }'
}
linked_table() {
  local t=$1 title=$2
  local cost own helpers_text data bss radio helpers_ram
  cost=$(linked "$t" cost)
  own=$(linked "$t" own-text)
  helpers_text=$(linked "$t" helpers-text)
  helpers_ram=$(linked "$t" helpers-ram)
  data=$(linked "$t" data)
  bss=$(linked "$t" bss)
  radio=$(linked "$t" radio | awk '{ print $2 }')
  echo "$title (\`$(linked "$t" flags | sed 's/, [^,]*$//')\`, $(linked "$t" flags |
    sed 's/.*, //')), built by $(linked "$t" compiler):"
  echo
  echo "| What | Flash bytes | RAM bytes | Bound (CI) |"
  echo "|---|---:|---:|---|"
  echo "| the driver, linked: the image with it minus the image without | $cost | $((data + bss)) | flash at most $(linked "$t" bound | thousands); no heap routine |"
  echo "| of which its own code and read-only data, and its object in \`.bss\` | $own | $radio | |"
  if [ "$(linked "$t" helpers)" = none ]; then
    echo "| of which library routines | 0 | 0 | none for 64-bit division or \`double\` |"
  else
    echo "| of which library routines: $(linked "$t" helpers | quoted) | $helpers_text | $helpers_ram | none for 64-bit division or \`double\` |"
  fi
  echo "| of which the firmware's calls of every command and its construction of the driver | $((cost - own - helpers_text)) | $((data + bss - radio - helpers_ram)) | |"
  echo "| stack of the deepest call chain in the driver: $(linked "$t" stack-path | sed 's/ > / → /g; s/[A-Za-z0-9_]*::[A-Za-z0-9_]*/`&()`/g') | | $(linked "$t" stack) | |"
}
{
  echo "Linked with \`--gc-sections\` by \`scripts/linked-size.sh\` (images in \`build-arm\`, \`build-m0plus\`, \`build-rv32\`):"
  echo
  linked_table cortex-m4f "Cortex-M4F"
  echo
  linked_table cortex-m0p "Cortex-M0+"
  echo
  linked_table rv32imac "RV32IMAC"
  echo
  echo "| Beyond the driver | Cortex-M4F | Cortex-M0+ | RV32IMAC |"
  echo "|---|---:|---:|---:|"
  row() {
    local label=$1 key=$2
    echo "| $label | $(linked cortex-m4f "$key") | $(linked cortex-m0p "$key") | $(linked rv32imac "$key") |"
  }
  echo "| registering the global driver's destructor for exit, flash / RAM bytes (included above) | $(linked cortex-m4f exit-text) / $(linked cortex-m4f exit-ram) | $(linked cortex-m0p exit-text) / $(linked cortex-m0p exit-ram) | $(linked rv32imac exit-text) / $(linked rv32imac exit-ram) |"
  row "a console \`printf\` on the C library's \`vsnprintf\`, integer conversions only, flash bytes" printf
  row "floating-point conversions added, for the tone line's \`%.1f\`, flash bytes" printf-float
  echo "| heap routines with that integer \`printf\` | $(linked cortex-m4f printf-heap | heap_brief) | $(linked cortex-m0p printf-heap | heap_brief) | $(linked rv32imac printf-heap | heap_brief) |"
  echo "| heap routines with the floating-point \`printf\` | $(linked cortex-m4f printf-float-heap | heap_brief) | $(linked cortex-m0p printf-float-heap | heap_brief) | $(linked rv32imac printf-float-heap | heap_brief) |"
} >"$work/linked-figures"

{
  echo '```cpp'
  cat "$root/ports/cortex-m4/example/MainLoop.cpp"
  echo '```'
} >"$work/main-loop"

replace() {
  local name=$1 body=$2
  grep -q "^<!-- $name:begin" "$readme" || { echo "README.md lacks the $name markers" >&2; exit 1; }
  awk -v begin="^<!-- $name:begin" -v end="^<!-- $name:end -->" -v body="$body" '
    $0 ~ begin { print; while ((getline line < body) > 0) print line; skipping = 1; next }
    $0 ~ end   { skipping = 0 }
    !skipping  { print }' "$readme" >"$work/readme"
  cp "$work/readme" "$readme"
}
replace figures "$work/figures"
replace object-symbols "$work/object-symbols"
replace linked "$work/linked-figures"
replace main-loop "$work/main-loop"
echo "README.md: figures and main-loop example rewritten"
