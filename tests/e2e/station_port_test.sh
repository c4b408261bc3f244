#!/usr/bin/env bash
# The station's serial device: one program at a time, a device that vanishes and returns, a
# radio switched off while the station does not poll, a radio at another speed.
# Two of the stations run as under systemd, with the test's own socket in its place: one
# waiting for its device, one whose radio does not answer: the status of each says so.
#   station_port_test.sh EMULATOR STATION SERVICE_MANAGER
source "$(dirname "$0")/lib.sh"
start_service_manager systemd "$3"

# Two stations on one port: the second gets one line and status 1 (CI runs as root, which
# exclusive mode alone would let through), or waits for the port with --wait-for-port.
start_emulator shared
start_station first --port "$pty_shared" --rx-freq 145900000 --poll-ms 200
wait_for "$work/first.out" "station: settings applied" 1 5
start_station second --port "$pty_shared"
wait_exit "$pid_second" 4
[ "$exited" -eq 1 ] || fail "second station exited with $exited"
[ "$(cat "$work/second.err")" = "ft847-station: cannot open $pty_shared: Device or resource busy" ] ||
    fail "second station said something else"
# A station that is killed cannot clear the terminal's exclusive mode; the emulator does.
say shared status
wait_for "$work/shared.out" "in exclusive use" 1 2
kill -KILL "$pid_first"
wait "$pid_first" 2>/dev/null || true
deadline=$((SECONDS + 4))
until say shared status && sleep 0.1 && tail -n 1 "$work/shared.out" | grep -q "line 4800 bps$"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "the terminal stayed in exclusive use"
done
[ "$(count "$work/first.err" "FT847 ERROR")" -eq 0 ] || fail "the first station was disturbed"

start_station third --port "$pty_shared" --poll-ms 200
wait_for "$work/third.out" "station: connected" 1 5
start_service waiting systemd 0 --port "$pty_shared" --wait-for-port
wait_for "$work/waiting.out" "station: waiting for $pty_shared" 1 2
wait_for "$work/systemd.out" "STATUS=waiting for $pty_shared" 1 3
stop_station third
wait_for "$work/waiting.out" "station: connected" 1 7
stop_station waiting
echo "ok: one station per port; --wait-for-port takes it when the first is gone"

# --poll-ms 0 and a device that vanishes: the hang-up is seen at once, with no read in flight;
# the same path, now a new device, is opened again and the link comes back.
start_emulator before
ln -s "$pty_before" "$work/ttyUSB0"
start_station idle --port "$work/ttyUSB0" --rx-freq 145900000 --poll-ms 0
wait_for "$work/idle.out" "station: settings applied" 1 5
say before quit
wait_exit "$pid_before" 2
wait_for "$work/idle.out" "station: disconnected" 1 2
start_emulator after
ln -sf "$pty_after" "$work/ttyUSB0"
wait_for "$work/idle.out" "station: connected" 2 7
wait_for "$work/idle.out" "station: settings applied" 2 4
say after status
wait_for "$work/after.out" "RX 145900000 Hz" 1 2

# --poll-ms 0 and a radio switched off: the link check notices within 5 s and a read's 0.5 s.
say after off
wait_for "$work/idle.out" "station: disconnected" 2 7
[ "$(count "$work/idle.out" "station: RX")" -eq 0 ] || fail "link checks were reported as polls"
stop_station idle
echo "ok: --poll-ms 0 sees a vanished device and a radio switched off"

# A station at 57600 bps and a radio at 4800 bps: the radio hears garbage and answers nothing.
# The first handshake's read times out 2 s after the start, and a status line says what was
# tried and why a radio is silent.
start_emulator slow --baud 4800
start_service fast systemd 0 --port "$pty_slow" --baud 57600
wait_for "$work/slow.out" "emulator: line at 57600 bps, radio at 4800 bps: not answering" 1 2
silent="no reply from the radio on $pty_slow at 57600 bps: it may be off, set to another \
CAT rate, on a wrong cable, or an early FT-847 without the read commands"
wait_for "$work/fast.out" "station: $silent" 1 4
wait_for "$work/systemd.out" "STATUS=no reply from the radio on $pty_slow at 57600 bps: " 1 3
wait_for "$work/fast.err" "FT847 ERROR: Read timeout" 1 4
[ "$(count "$work/fast.out" "station: connected")" -eq 0 ] || fail "connected at the wrong speed"
stop_station fast
echo "PASS: exclusive port, vanished device, radio off without polls, wrong line speed"
