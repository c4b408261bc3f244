#!/usr/bin/env bash
# The bounds of the linked images on a board (scripts/linked-size.sh measures them): the driver's
# cost in flash, with and without its log, within the board's bounds; no heap routine in the
# driver's image or the main loop's; no 64-bit division or double-precision routine among the
# library routines the driver brings; the main loop's global driver in .bss; and without its log,
# none of the driver's log texts in flash and no call of the console, where the image with the
# log has its texts (so that the search itself is shown to work).
#   linked_size_test.sh FIGURES-FILE BOARD FLASH-BOUND NO-LOG-BOUND COMMAND...
figures_file=$1
board=$2
flash_bound=$3
no_log_bound=$4
shift 4
source "$(dirname "$0")/figures.sh" "$figures_file" "$@"
value() { figure "$board-$1"; }

# 64-bit division and modulo (ARM EABI and generic libgcc names), and double-precision
# arithmetic, comparison and conversion (ARM EABI names and generic soft-float names).
forbidden='^(__aeabi_uldivmod|__aeabi_ldivmod|__udivmoddi4|__divmoddi4|__udivdi3|__divdi3|__umoddi3|__moddi3|__aeabi_d.*|__aeabi_cd.*|__aeabi_[iulf]*2d|__aeabi_f2d|__aeabi_d2.*|__.*df[23]|__float.*df|__fix.*df.*|__extendsfdf2|__truncdfsf2|__unorddf2)$'

cost=$(value cost)
no_log_cost=$(value no-log-cost)
[ -n "$cost" ] && [ "$cost" -le "$flash_bound" ] ||
    fail "the driver costs ${cost:-?} bytes of flash, more than $flash_bound"
[ -n "$no_log_cost" ] && [ "$no_log_cost" -le "$no_log_bound" ] ||
    fail "the driver without its log costs ${no_log_cost:-?} bytes, more than $no_log_bound"
[ "$(value heap)" = none ] || fail "heap routines in the images: $(value heap)"
bad=$(value helpers | tr ',' '\n' | sed 's/^ *//' | grep -E "$forbidden" | paste -sd, -)
[ -z "$bad" ] || fail "64-bit division or double-precision routines: $bad"
[[ $(value radio) == ".bss "* ]] ||
    fail "the main loop's global driver is not in .bss: $(value radio)"
[ -n "$(value log-texts)" ] && [ "$(value log-texts)" != none ] ||
    fail "no log text found in the image with the log: the search is broken"
[ "$(value no-log-log-texts)" = none ] ||
    fail "log texts in the image without the log: $(value no-log-log-texts)"
[ "$(value no-log-console)" = none ] ||
    fail "the driver without its log calls the console: $(value no-log-console)"
finish "$board: the driver costs $cost bytes (at most $flash_bound), $no_log_cost without its" \
    "log (at most $no_log_bound); no heap, no 64-bit division or double-precision routine"
