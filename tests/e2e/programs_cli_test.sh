#!/usr/bin/env bash
# Both programs' command lines, the station's configuration file, and the emulator's input, as
# a careless user gives them.
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
for program in emulator station; do
    run "${program}_version" "${!program}" --version
    [ "$exited" -eq 0 ] || fail "$program --version: status $exited"
    grep -qx "ft847-$program [0-9]*\.[0-9]*\.[0-9]*" "$work/${program}_version.out" ||
        fail "$program --version: no version"
done

# A bad line of a configuration file is named with the file and the line, before any port is
# opened (this one does not exist).
printf '# a station\nport = %s/no-such-device\ncolour = red\n' "$work" >"$work/bad.conf"
run station_bad_key "$station" --config "$work/bad.conf"
expect_refused station_bad_key 2 "ft847-station: $work/bad.conf:3: unknown option 'colour'"
run station_no_conf "$station" --config "$work/none.conf"
expect_refused station_no_conf 2 \
    "ft847-station: cannot read $work/none.conf: No such file or directory"
# --check says what a start would say of the file, and opens nothing: the packaged example
# (whose device is not here) passes in silence, the bad one fails as a start does.
run station_check "$station" --config "$(dirname "$0")/../../packaging/radio.conf" --check
[ "$exited" -eq 0 ] || fail "--check of the packaged example: status $exited"
[ ! -s "$work/station_check.out" ] && [ ! -s "$work/station_check.err" ] ||
    fail "--check of the packaged example said something"
run station_check_bad "$station" --check --config "$work/bad.conf"
expect_refused station_check_bad 2 "ft847-station: $work/bad.conf:3: unknown option 'colour'"
echo "ok: --help, --version, --check, and one line naming the problem"

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
grep -q "^[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\.[0-9][0-9][0-9] FT847 " "$work/step.err" ||
    fail "the driver's log on a terminal or file has no time stamps"

# The settings from a configuration file reach the radio, the command line overrides one of
# them; under systemd (standard error is the journal's stream) the journal stamps the lines.
cat >"$work/radio.conf" <<CONF
# the radio on the emulator
port = $pty_radio
rx-freq = 145900000   # downlink
rx-mode = fm
tx-freq = 435300000
tx-mode = usb
CONF
: >"$work/conf.err"
JOURNAL_STREAM=$(stat -c '%d:%i' "$work/conf.err") \
    start_station conf --config "$work/radio.conf" --tx-mode fm
wait_for "$work/conf.out" "station: settings applied" 1 5
say radio status
wait_for "$work/radio.out" "RX 145900000 Hz FM, TX 435300000 Hz FM" 1 2
stop_station conf
grep -q "^FT847 " "$work/conf.err" || fail "no driver log under the journal"
grep -q "^[0-9:.]* FT847 " "$work/conf.err" && fail "a second time stamp under the journal"
echo "PASS: command lines, configuration files and the emulator's input"
