#!/usr/bin/env bash
# End to end over a real pseudo-terminal: ft847-station against ft847-emulator, run as systemd
# runs the packaged unit, with the test in systemd's place (its own datagram socket as
# NOTIFY_SOCKET, a watchdog of 400 ms) and a tracker connected from the start to the end.
#   station_emulator_test.sh EMULATOR STATION TRACKER_CLIENT SERVICE_MANAGER
# - READY=1 once the device is open and the tracker port listens; connect and apply settings;
#   STATUS= has the VFOs and the tracker.
# - Reloads (SIGHUP): a new frequency reaches the radio; a file that no longer reads changes
#   nothing; a new port is refused with one line and the rest applies. RELOADING=1, then
#   READY=1, each time, and the tracker stays connected.
# - Radio off (disconnect; STATUS= says so), radio on (reconnect, settings again; STATUS= too),
#   then SIGTERM stops the station with status 0 and STOPPING=1.
# - WATCHDOG=1 all along (every 200 ms; the notifier's unit tests hold the pacing, and that the
#   status goes only on change).
# (station_port_test.sh has the status of a station waiting for its device, and of one whose
# radio does not answer.)
source "$(dirname "$0")/lib.sh"
client=$3
manager=$4

# conf PORT RX_HZ [LINE]: the station's configuration file.
conf() {
    cat >"$work/radio.conf" <<CONF
port = $1
baud = 4800
rx-freq = $2
rx-mode = fm
tx-freq = 435300000
tx-mode = usb
tone = 88.5
poll-ms = 200
rigctld = 0
${3:-}
CONF
}

# reload: SIGHUP, then RELOADING=1 and READY=1 once more.
reload() {
    local ready
    ready=$(count "$work/systemd.out" "READY=1")
    kill -HUP "$pid_station"
    wait_for "$work/systemd.out" "READY=1" $((ready + 1)) 2
    [ "$(count "$work/systemd.out" "RELOADING=1")" -eq "$ready" ] || fail "no RELOADING=1"
}

start_emulator radio
start_service_manager systemd "$manager"
conf "$pty_radio" 145900000
start_service station systemd 400000 --config "$work/radio.conf"

wait_for "$work/systemd.out" "READY=1" 1 3
grep -q "^station: rigctld on 127.0.0.1 port [1-9]" "$work/station.out" ||
    fail "READY=1 before the tracker port listened"
ls -l "/proc/$pid_station/fd" | grep -q -F -- "-> $pty_radio" || fail "the device is not open"
port=$(sed -n 's/^station: rigctld on 127.0.0.1 port //p' "$work/station.out")
"$client" fill "$port" 1 60 >"$work/tracker.out" 2>&1 &
pids+=($!)
wait_for "$work/tracker.out" "answered 1" 1 3

wait_for "$work/station.out" "station: connected" 1 4
wait_for "$work/station.out" "station: settings applied" 1 4
wait_for "$work/station.out" "station: TX 435300000 Hz" 1 2
say radio status
wait_for "$work/radio.out" \
    "RX 145900000 Hz FM, TX 435300000 Hz USB, tone code 0E encoder on" 1 2
grep -q "STATUS=connecting to the radio on $pty_radio at 4800 bps" "$work/systemd.out" ||
    fail "no status before the radio answered"
wait_for "$work/systemd.out" \
    "STATUS=radio connected; RX 145900000 Hz FM, TX 435300000 Hz USB; 1 tracker" 1 2

# A new downlink frequency in the file goes to the radio.
conf "$pty_radio" 145910000
reload
wait_for "$work/station.out" "station: reloaded: rx-freq changed" 1 3
wait_for "$work/station.out" "station: RX 145910000 Hz" 1 2
wait_for "$work/systemd.out" "STATUS=radio connected; RX 145910000 Hz FM" 1 2

# A file that no longer reads changes nothing: the polls after it read the same frequency.
conf "$pty_radio" 145920000 "colour = red"
reload
wait_for "$work/station.err" \
    "ft847-station: reload refused, nothing changed: $work/radio.conf:10: unknown option 'colour'" 1 3
polls=$(count "$work/station.out" "station: RX 145910000 Hz")
wait_for "$work/station.out" "station: RX 145910000 Hz" $((polls + 2)) 2

# A new port needs a restart: the station keeps its device, and the new frequency applies.
conf "$work/ttyUSB9" 145930000
reload
wait_for "$work/station.err" \
    "ft847-station: reload: port $work/ttyUSB9 needs a restart; the station keeps $pty_radio" 1 3
wait_for "$work/station.out" "station: RX 145930000 Hz" 1 2
[ "$(count "$work/station.err" "reload")" -eq 2 ] || fail "more than one line for each reload"
grep -q "RX 145920000" "$work/station.out" "$work/station.err" "$work/radio.out" &&
    fail "the file that did not read changed the radio"

say radio off
wait_for "$work/station.out" "station: disconnected" 1 3
wait_for "$work/systemd.out" "STATUS=connecting to the radio on $pty_radio at 4800 bps; 1 tracker" 1 2

say radio on
wait_for "$work/station.out" "station: connected" 2 7
wait_for "$work/station.out" "station: settings applied" 2 4
# The frequencies are already on the VFOs the handshake read back; modes and tone go out again.
wait_for "$work/station.err" "FT847 MODE TX: 08 00 00 00 17 (RX)" 2 3
wait_for "$work/station.err" "FT847 MODE TX: 01 00 00 00 27 (TX)" 2 3
wait_for "$work/station.err" "FT847 TX TONE: 88.5 Hz ENC ON" 2 3
wait_for "$work/systemd.out" "STATUS=radio connected; RX 145930000 Hz FM, TX 435300000 Hz USB; 1 tracker" 1 2
[ "$(count "$work/tracker.out" "closed")" -eq 0 ] || fail "the tracker was disconnected"

stop_station station
grep -q -F "station: stopped" "$work/station.out" || fail "station did not stop cleanly"
wait_for "$work/systemd.out" "STOPPING=1" 1 3

# The watchdog's pings come from the loop all along: at least 20, and never a second without
# one. (Their pacing, every half of the interval, is the notifier's unit tests' to hold, on a
# clock of their own: a busy machine may hold the station or this socket's reader back.)
awk '$2 == "WATCHDOG=1" { if (n++ && $1 - last >= 1000) bad = bad " " $1 - last; last = $1 }
     END { if (n < 20 || bad != "") { print n " pings, gaps" bad; exit 1 } }' \
    "$work/systemd.out" || fail "the watchdog was not pinged all along"
echo "PASS: the station under a service manager: ready, its status through a power cycle, the watchdog, and reloads with a tracker connected"
