#!/usr/bin/env bash
# Rewrites the generated sections of README.md: the footprint and cost figures (from
# target-build.sh, footprint.sh and cost.sh) and the main-loop example (copied from
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
replace main-loop "$work/main-loop"
echo "README.md: figures and main-loop example rewritten"
