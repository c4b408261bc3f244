#!/usr/bin/env bash
# The station's standard streams, as a careless user leaves them: closed, full, read by a
# program that quits, or a terminal that closes. The radio is driven all the same, and one
# SIGTERM ends the station.
#   station_streams_test.sh EMULATOR STATION
source "$(dirname "$0")/lib.sh"

settings=(--rx-freq 145900000 --rx-mode fm --tx-freq 435300000 --tx-mode usb --tone 88.5)
applied="RX 145900000 Hz FM, TX 435300000 Hz USB, tone code 0E encoder on"

# radio_has NAME SECONDS: emulator NAME reports the settings within SECONDS.
radio_has() {
    local deadline=$((SECONDS + $2))
    while [ "$(count "$work/$1.out" "$applied")" -lt 1 ]; do
        [ "$SECONDS" -lt "$deadline" ] || fail "$1 never held the station's settings"
        say "$1" status
        sleep 0.2
    done
}

# Started with stdout closed, the device would be descriptor 1 and "station: connected" would
# go to the radio; with stderr closed, the driver's log would.
start_emulator closed_out
"$station" --port "$pty_closed_out" "${settings[@]}" >&- 2>"$work/closed_out_station.err" &
pid_closed_out_station=$!
pids+=($!)
radio_has closed_out 6
stop_station closed_out_station
[ "$(count "$work/closed_out_station.err" "FT847 ERROR")" -eq 0 ] || fail "errors with stdout closed"

start_emulator closed_err
"$station" --port "$pty_closed_err" "${settings[@]}" >"$work/closed_err_station.out" 2>&- &
pid_closed_err_station=$!
pids+=($!)
wait_for "$work/closed_err_station.out" "station: settings applied" 1 6
radio_has closed_err 2
wait_for "$work/closed_err_station.out" "station: RX 145900000 Hz" 1 2
stop_station closed_err_station
echo "ok: closed stdout or stderr: nothing but frames reach the radio"

# A full stdout: a FIFO that is held open and never read, filled before the station starts.
start_emulator full
mkfifo "$work/full.fifo"
exec {full_fd}<>"$work/full.fifo"
dd if=/dev/zero of="$work/full.fifo" bs=4096 count=1024 oflag=nonblock 2>/dev/null || true
"$station" --port "$pty_full" "${settings[@]}" --poll-ms 100 >"$work/full.fifo" \
    2>"$work/full_station.err" &
pid_full_station=$!
pids+=($!)
radio_has full 6
say full off  # the station still sees the radio go, though it cannot say so on stdout
wait_for "$work/full_station.err" "FT847 ERROR: Read timeout" 1 3
stop_station full_station
wait_for "$work/full_station.err" "status lines and 0 log lines could not be written" 1 1
echo "ok: full stdout: the radio is driven, one SIGTERM ends the station, the drops are counted"

# A reader that quits after one line: the next write fails (EPIPE, no SIGPIPE death) and the
# station keeps driving the radio.
start_emulator quitter
mkfifo "$work/quitter.fifo"
head -n 1 <"$work/quitter.fifo" >"$work/quitter_head.out" &
pid_head=$!
pids+=($!)
"$station" --port "$pty_quitter" "${settings[@]}" --poll-ms 100 >"$work/quitter.fifo" \
    2>"$work/quitter_station.err" &
pid_quitter_station=$!
pids+=($!)
wait_exit "$pid_head" 6
radio_has quitter 6
say quitter off
wait_for "$work/quitter_station.err" "FT847 ERROR: Read timeout" 1 3
stop_station quitter_station
[ "$(cat "$work/quitter_head.out")" = "station: connected" ] || fail "head read something else"

# A terminal (script(1) plays the terminal emulator): SIGHUP reloads the station while the
# terminal is open; the kernel's SIGHUP of the terminal's hang-up, when its emulator is gone,
# ends it.
start_emulator tty
script -qfc "exec $station --port $pty_tty" "$work/tty.typescript" </dev/null >/dev/null 2>&1 &
pid_script=$!
pids+=($!)
wait_for "$work/tty.typescript" "station: settings applied" 1 6
pid_tty_station=$(pgrep -P "$pid_script")
pids+=("$pid_tty_station")
kill -HUP "$pid_tty_station"
wait_for "$work/tty.typescript" "station: reloaded: nothing changed" 1 2
disown "$pid_script"  # no word from the shell about its death
kill -KILL "$pid_script"
deadline=$((SECONDS + 3))
while kill -0 "$pid_tty_station" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || fail "the station outlived its terminal"
    sleep 0.05
done

# A shell in a terminal: when the terminal closes, the shell passes the hang-up on to its jobs
# (a process's SIGHUP, not the kernel's), and that ends them too, as it does when a process of
# the terminal's session that is not its leader passes it on (a shell under `sh -c`, here a
# relay). A job disowned hears nothing; a SIGHUP sent to it later asks for a reload.
mkfifo "$work/shell.in"
exec {shell_fd}<>"$work/shell.in"
# exec: the interactive shell leads the session whatever $SHELL runs the command.
script -qfc "exec bash --norc --noprofile -i" /dev/null <"$work/shell.in" >/dev/null 2>&1 &
pid_shell=$!
pids+=($!)
start_job() {
    printf '%q --port %q --wait-for-port >%q 2>&1 & echo $! >%q\n' "$station" "$work/no_$1" \
        "$work/$1.out" "$work/$1.pid" >&"$shell_fd"
}
start_job job
start_job disowned
echo disown >&"$shell_fd"
start_job relayed
echo disown >&"$shell_fd"
# shellcheck disable=SC2016  # expanded by the relay's shell
printf 'bash -c %q &\n' 'trap "kill -HUP $(cat '"$work/relayed.pid"'); exit" HUP
    while :; do sleep 0.05; done' >&"$shell_fd"
for job in job disowned relayed; do
    wait_for "$work/$job.out" "station: waiting for" 1 6
    wait_for "$work/$job.pid" "" 1 3
    pids+=("$(cat "$work/$job.pid")")
done
disown "$pid_shell"
kill -KILL "$pid_shell"
exec {shell_fd}>&-
wait_for "$work/job.out" "station: stopped" 1 3
wait_for "$work/relayed.out" "station: stopped" 1 3
kill -HUP "$(cat "$work/disowned.pid")"
wait_for "$work/disowned.out" "station: reloaded: nothing changed" 1 3
[ "$(count "$work/disowned.out" "station: stopped")" -eq 0 ] || fail "the disowned job ended"
kill -TERM "$(cat "$work/disowned.pid")"
wait_for "$work/disowned.out" "station: stopped" 1 3
echo "PASS: closed, full and abandoned standard streams, and a terminal that closes"
