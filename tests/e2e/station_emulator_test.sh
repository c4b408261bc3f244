#!/usr/bin/env bash
# End to end over a real pseudo-terminal: ft847-station against ft847-emulator.
#   station_emulator_test.sh EMULATOR STATION
# Connect and apply settings, radio off (disconnect), radio on (reconnect, settings again),
# then SIGTERM stops the station with status 0. Every wait has a deadline; both processes are
# killed on every path.
set -euo pipefail
emulator=$1
station=$2

work=$(mktemp -d)
emulator_pid=""
station_pid=""
cleanup() {
    [ -n "$station_pid" ] && kill -KILL "$station_pid" 2>/dev/null || true
    [ -n "$emulator_pid" ] && kill -KILL "$emulator_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    echo "--- station stdout";  cat "$work/station.out" 2>/dev/null || true
    echo "--- station stderr";  cat "$work/station.err" 2>/dev/null || true
    echo "--- emulator output"; cat "$work/emulator.out" 2>/dev/null || true
    exit 1
}

# wait_for FILE TEXT COUNT SECONDS: until FILE holds TEXT on at least COUNT lines.
wait_for() {
    local deadline=$((SECONDS + $4))
    while [ "$(grep -c -F -- "$2" "$1" 2>/dev/null || true)" -lt "$3" ]; do
        [ "$SECONDS" -lt "$deadline" ] || fail "no '$2' (x$3) in $(basename "$1") within $4 s"
        sleep 0.05
    done
}

mkfifo "$work/emulator.in"
exec 3<>"$work/emulator.in"
"$emulator" <&3 >"$work/emulator.out" 2>&1 &
emulator_pid=$!
wait_for "$work/emulator.out" "emulator: pty " 1 3
pty=$(sed -n 's/^emulator: pty //p' "$work/emulator.out")

"$station" --port "$pty" --baud 4800 --rx-freq 145900000 --tx-freq 435300000 \
    --rx-mode fm --tx-mode usb --tone 88.5 --poll-ms 200 \
    >"$work/station.out" 2>"$work/station.err" &
station_pid=$!

wait_for "$work/station.out" "station: connected" 1 4
wait_for "$work/station.out" "station: settings applied" 1 4
wait_for "$work/station.out" "station: TX 435300000 Hz" 1 2
echo status >&3
wait_for "$work/emulator.out" \
    "RX 145900000 Hz FM, TX 435300000 Hz USB, tone code 0E encoder on" 1 2

echo off >&3
wait_for "$work/station.out" "station: disconnected" 1 3

echo on >&3
wait_for "$work/station.out" "station: connected" 2 7
wait_for "$work/station.out" "station: settings applied" 2 4
# The frequencies are already on the VFOs the handshake read back; modes and tone go out again.
wait_for "$work/station.err" "FT847 MODE TX: 08 00 00 00 17 (RX)" 2 1
wait_for "$work/station.err" "FT847 MODE TX: 01 00 00 00 27 (TX)" 2 1
wait_for "$work/station.err" "FT847 TX TONE: 88.5 Hz ENC ON" 2 1

kill -TERM "$station_pid"
status=0
wait "$station_pid" || status=$?
station_pid=""
[ "$status" -eq 0 ] || fail "station exited with $status after SIGTERM"
grep -q -F "station: stopped" "$work/station.out" || fail "station did not stop cleanly"
echo "PASS: station connected, applied its settings, saw the radio go off and come back"
