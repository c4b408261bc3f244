#!/usr/bin/env bash
# The bound of an idle update(), on a board's cost probe (scripts/target-cost.sh) or on the host
# under callgrind (scripts/cost.sh): the idle phase's instructions are at most BOUND times its
# calls. On a board the probe also checks its counter on a function of exactly ten
# instructions: it must count 10.
#   update_cost_test.sh FIGURES-FILE PREFIX BOUND COMMAND...
# PREFIX is what the figures' names start with ("mps2-an386-"; "" on the host).
figures_file=$1
prefix=$2
bound=$3
shift 3
source "$(dirname "$0")/figures.sh" "$figures_file" "$@"
value() { figure "$prefix$1"; }

if [ -n "$prefix" ] && [ "$(value calibration)" != 10 ]; then
    fail "the counter is not exact: a ten-instruction function counted $(value calibration)"
fi
idle=$(value idle-instructions)
updates=$(value idle-updates)
if [ -z "$idle" ] || [ "${updates:-0}" -le 0 ]; then
    fail "no idle figure"
elif [ "$idle" -gt $((bound * updates)) ]; then
    fail "an idle update() costs $(value idle) instructions, more than $bound"
fi
finish "$(value idle) instructions per idle update() (at most $bound)"
