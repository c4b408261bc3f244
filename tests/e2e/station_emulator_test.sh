#!/usr/bin/env bash
# End to end over a real pseudo-terminal: ft847-station against ft847-emulator.
#   station_emulator_test.sh EMULATOR STATION
# Connect and apply settings, radio off (disconnect), radio on (reconnect, settings again),
# then SIGTERM stops the station with status 0.
source "$(dirname "$0")/lib.sh"

start_emulator radio
start_station station --port "$pty_radio" --baud 4800 --rx-freq 145900000 --tx-freq 435300000 \
    --rx-mode fm --tx-mode usb --tone 88.5 --poll-ms 200

wait_for "$work/station.out" "station: connected" 1 4
wait_for "$work/station.out" "station: settings applied" 1 4
wait_for "$work/station.out" "station: TX 435300000 Hz" 1 2
say radio status
wait_for "$work/radio.out" \
    "RX 145900000 Hz FM, TX 435300000 Hz USB, tone code 0E encoder on" 1 2

say radio off
wait_for "$work/station.out" "station: disconnected" 1 3

say radio on
wait_for "$work/station.out" "station: connected" 2 7
wait_for "$work/station.out" "station: settings applied" 2 4
# The frequencies are already on the VFOs the handshake read back; modes and tone go out again.
wait_for "$work/station.err" "FT847 MODE TX: 08 00 00 00 17 (RX)" 2 1
wait_for "$work/station.err" "FT847 MODE TX: 01 00 00 00 27 (TX)" 2 1
wait_for "$work/station.err" "FT847 TX TONE: 88.5 Hz ENC ON" 2 1

stop_station station
grep -q -F "station: stopped" "$work/station.out" || fail "station did not stop cleanly"
echo "PASS: station connected, applied its settings, saw the radio go off and come back"
