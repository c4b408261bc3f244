#!/usr/bin/env bash
# Both programs' command lines and the emulator's input, as a careless user gives them.
#   programs_cli_test.sh EMULATOR STATION
source "$(dirname "$0")/lib.sh"

# run NAME PROGRAM ARGS...: runs to the end (bounded) with output in NAME.out and NAME.err.
run() {
    local name=$1
    shift
    "$@" </dev/null >"$work/$name.out" 2>"$work/$name.err" &
    pids+=($!)
    wait_exit "$!" 3
}

# expect_refused NAME STATUS ERROR: the run ended with STATUS and exactly one stderr line.
expect_refused() {
    [ "$exited" -eq "$2" ] || fail "$1: status $exited, not $2"
    [ "$(cat "$work/$1.err")" = "$3" ] || fail "$1: stderr is not '$3'"
    [ ! -s "$work/$1.out" ] || fail "$1: wrote to stdout"
}

for program in emulator station; do
    run "${program}_help" "${!program}" --help
    [ "$exited" -eq 0 ] || fail "$program --help: status $exited"
    grep -q "^usage: ft847-$program" "$work/${program}_help.out" || fail "$program --help: no usage"
done

run emulator_operand "$emulator" x
expect_refused emulator_operand 2 "ft847-emulator: unexpected argument 'x'"
run emulator_baud "$emulator" --baud=1200
expect_refused emulator_baud 2 "ft847-emulator: baud rate '1200' is not one of 4800, 9600, 57600"
run emulator_latency "$emulator" --lat=1001
expect_refused emulator_latency 2 "ft847-emulator: latency '1001' is not 0 to 1000 ms"
run station_escape "$station" --port p --rx-freq $'1\n\e[2J'
expect_refused station_escape 2 \
    "ft847-station: frequency '1\\n\\x1b[2J' is not a whole number of Hz from 10 to 999999990"
run station_missing "$station" --port $'/dev/null/\e[2J'
expect_refused station_missing 1 "ft847-station: cannot open /dev/null/\\x1b[2J: Not a directory"
echo "ok: --help, and one line naming the problem"

# The emulator ends at the end of its input, after a last line that has no newline.
printf 'status' | "$emulator" >"$work/eof.out" 2>&1 &
pids+=($!)
wait_exit "$!" 3
[ "$exited" -eq 0 ] || fail "emulator at the end of input: status $exited"
grep -q "^emulator: power on, CAT off" "$work/eof.out" || fail "the last line was dropped"

# "quit" with a CR LF line end ends it while its input stays open.
start_emulator crlf
printf 'off\r\nquit\r\n' >&"$in_crlf"
wait_exit "$pid_crlf" 3
[ "$exited" -eq 0 ] || fail "emulator after quit: status $exited"
grep -q "^emulator: off$" "$work/crlf.out" || fail "'off' with CR LF was not taken"

# A frequency off the 10 Hz step is said once, and what is sent.
start_emulator radio
start_station step --port "$pty_radio" --tx-freq 145900015
wait_for "$work/step.out" "station: settings applied" 1 5
stop_station step
[ "$(count "$work/step.err" "--tx-freq 145900015 is sent as 145900010 Hz")" -eq 1 ] ||
    fail "no note about the 10 Hz step"
echo "PASS: command lines and the emulator's input"
