#!/usr/bin/env bash
# Checks a cross-built driver object for what a heap-free, exception-free, RTTI-free firmware
# module must not need, and optionally bounds its size:
#   - no undefined reference to malloc, calloc, realloc, free, operator new or new[],
#     __cxa_* (exception and guard support), __gxx_personality* (unwinding);
#   - no typeinfo symbol at all, referenced or defined;
#   - nothing in .data or .bss (or common symbols): all state lives in the driver object;
#   - with --max-text N: the `text` column of arm-none-eabi-size (code plus read-only data) at
#     most N bytes.
# operator delete is allowed: the deleting destructor of a class with a virtual destructor
# refers to it, and nothing calls that destructor on an object that was never new'd.
#
# Usage: check-driver-object.sh [--max-text BYTES] OBJECT
set -euo pipefail

max_text=""
if [ "${1:-}" = "--max-text" ]; then
  max_text=$2
  shift 2
fi
[ $# -eq 1 ] || { echo "usage: $0 [--max-text BYTES] OBJECT" >&2; exit 2; }
object=$1
nm=${NM:-arm-none-eabi-nm}
size=${SIZE:-arm-none-eabi-size}
cxxfilt=${CXXFILT:-arm-none-eabi-c++filt}

problems=0
report() {
  echo "FORBIDDEN in $(basename "$object"): $*"
  problems=$((problems + 1))
}

# Mangled names: _Znw* / _Zna* are every operator new and new[]; _ZTI* / _ZTS* are typeinfo
# objects and their names.
while read -r symbol; do
  case $symbol in
    malloc | calloc | realloc | free | _malloc_r | _calloc_r | _realloc_r | _free_r | \
      _Znw* | _Zna* | __cxa_* | __gxx_personality*)
      report "undefined reference to $symbol ($("$cxxfilt" "$symbol"))" ;;
  esac
done < <("$nm" --undefined-only --format=posix "$object" | awk '{ print $1 }')

while read -r symbol; do
  report "typeinfo symbol $symbol ($("$cxxfilt" "$symbol"))"
done < <("$nm" --format=posix "$object" | awk '$1 ~ /^_ZT[IS]/ { print $1 }')

while read -r symbol; do
  report "common symbol $symbol (would land in .bss)"
done < <("$nm" --format=posix "$object" | awk '$2 == "C" { print $1 }')

while read -r section bytes; do
  report "$bytes bytes in section $section"
done < <("$size" -A "$object" | awk '$1 ~ /^\.(data|bss)(\.|$)/ && $2 > 0 { print $1, $2 }')

if [ -n "$max_text" ]; then
  text=$("$size" -B "$object" | awk 'NR == 2 { print $1 }')
  if [ "$text" -gt "$max_text" ]; then
    report "code plus read-only data is $text bytes, more than $max_text"
  fi
fi

if [ "$problems" -gt 0 ]; then
  exit 1
fi
echo "OK: $(basename "$object") needs no heap, exception or RTTI support and has no .data/.bss${max_text:+; text within $max_text bytes}"
