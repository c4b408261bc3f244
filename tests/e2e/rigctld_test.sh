#!/usr/bin/env bash
# End to end: a satellite tracker steers ft847-emulator through ft847-station's rigctld server.
#   rigctld_test.sh EMULATOR STATION TRACKER_CLIENT
# - Gpredict's full-duplex cycle with a moving Doppler: the radio's SAT RX and TX frequencies
#   follow the tracker's, one cycle behind at most, and the tracker sees no error and no knob.
# - Radio off for 5 s in mid-pass (hold-over): still no error; within the driver's
#   reconnection bound plus one cycle after power-on, the radio holds the tracker's newest
#   frequencies.
# - Eight clients at once, a ninth refused; a client that never reads is dropped; the tracker
#   keeps tracking meanwhile.
# - --rigctld-strict: radio commands answer RPRT -20 while the radio is off.
# - A second server on a port in use stops with one line and status 1; one on another address
#   than the loopback's warns that the protocol has no authentication.
# With "eviction" as a fourth argument, instead (it takes about 35 s, as it runs the real
# silence of 30 s that the station waits for):
# - Eight clients that say nothing take the eight places; a tracker that comes later gets in
#   within 40 s, in the place of the one silent longest. Then, with an engaged tracker in the
#   free place, the next newcomer takes another silent client's place, and the engaged tracker
#   keeps tracking without an error.
source "$(dirname "$0")/lib.sh"
client=$3

if [ "${4:-}" = "eviction" ]; then
    start_emulator radio
    start_station station --port "$pty_radio" --rigctld 0
    wait_for "$work/station.out" "station: rigctld on 127.0.0.1 port " 1 3
    port=$(sed -n 's/^station: rigctld on 127.0.0.1 port //p' "$work/station.out")
    "$client" fill "$port" 8 60 >"$work/fill.out" 2>&1 &
    pids+=($!)
    wait_for "$work/fill.out" "answered 8" 1 5
    "$client" enter "$port" 50 >"$work/enter.out" 2>&1 || fail "the late tracker failed"
    took=$(sed -n 's/^entered after //p' "$work/enter.out")
    [ -n "$took" ] || fail "the late tracker was kept out for 50 s"
    [ "$took" -le 40000 ] || fail "the late tracker was kept out for $took ms"
    [ "$took" -ge 28000 ] || fail "a client was evicted after $took ms, before 30 s of silence"
    grep -q "^station: tracker 127.0.0.1 port [0-9]* evicted: silent for 3[0-9] s while all 8 places were taken; its place goes to 127.0.0.1 port [0-9]*$" \
        "$work/station.out" || fail "no status line for the eviction"
    wait_for "$work/fill.out" "closed 0" 1 2

    # An engaged tracker in the free place; the next newcomer takes a silent client's place at
    # once, not the tracker's.
    "$client" track "$port" 6 1000 437800003 145900007 >"$work/track.out" 2>&1 &
    tracker=$!
    pids+=("$tracker")
    wait_for "$work/track.out" "cycle 1 " 1 5
    "$client" enter "$port" 3 >"$work/next.out" 2>&1 || fail "the next tracker failed"
    grep -q "^entered after [0-9]*$" "$work/next.out" || fail "the next tracker was kept out"
    wait_for "$work/fill.out" "closed 1" 1 2
    wait_exit "$tracker" 15
    [ "$exited" -eq 0 ] || fail "the engaged tracker exited with $exited"
    grep -q "^error" "$work/track.out" && fail "the engaged tracker saw an error"
    [ "$(count "$work/fill.out" "closed ")" -eq 2 ] || fail "more than two silent clients went"
    stop_station station
    echo "PASS: eight silent clients kept a tracker out for $took ms, and never an engaged one"
    exit 0
fi

cycle_ms=500
cycles=40
down=437800003
up=145900007
# The driver's reconnection bound at 4800 baud with the emulator's 5 ms latency, plus a cycle.
bound_ms=$((6633 + cycle_ms))

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# last_cycle: the number of the tracker's last reported cycle, or -1.
last_cycle() {
    local n
    n=$(sed -n 's/^cycle \([0-9]*\) .*/\1/p' "$work/track.out" | tail -n 1)
    echo "${n:--1}"
}

# radio_holds K: the emulator's status shows, for each VFO, the frequency the tracker set in
# cycle K or K - 1 (as the radio keeps it, in 10 Hz steps).
radio_holds() {
    local k=$1 rx tx rx_ok=1 tx_ok=1
    local before
    before=$(count "$work/radio.out" "emulator: power")
    say radio status
    local deadline=$((SECONDS + 2))
    while [ "$(count "$work/radio.out" "emulator: power")" -le "$before" ]; do
        [ "$SECONDS" -lt "$deadline" ] || fail "the emulator did not report its status"
        sleep 0.02
    done
    rx=$(grep "emulator: power" "$work/radio.out" | tail -n 1 | sed -n 's/.*RX \([0-9]*\) Hz.*/\1/p')
    tx=$(grep "emulator: power" "$work/radio.out" | tail -n 1 | sed -n 's/.*TX \([0-9]*\) Hz.*/\1/p')
    for j in "$k" $((k - 1)); do
        [ "$j" -ge 0 ] || continue
        [ "$rx" = $(((down + 137 * j) / 10 * 10)) ] && rx_ok=0
        [ "$tx" = $(((up - 73 * j) / 10 * 10)) ] && tx_ok=0
    done
    return $((rx_ok + tx_ok))
}

start_emulator radio
start_station station --port "$pty_radio" --rigctld 0 --poll-ms 1000
wait_for "$work/station.out" "station: rigctld on 127.0.0.1 port " 1 3
port=$(sed -n 's/^station: rigctld on 127.0.0.1 port //p' "$work/station.out")
wait_for "$work/station.out" "station: connected" 1 4

# A second station on the same TCP port: one line, status 1, before it touches any device.
second=0
"$station" --port "$work/no-such-device" --rigctld "$port" >"$work/second.out" \
    2>"$work/second.err" || second=$?
[ "$second" -eq 1 ] || fail "a second server on port $port exited with $second, not 1"
grep -qx "ft847-station: cannot listen on 127.0.0.1 port $port: Address already in use" \
    "$work/second.err" || fail "a second server on port $port did not say why it stopped"

# On any address but the loopback's, the station warns that anyone who reaches it controls the
# transmitter (this one then stops: its device does not exist).
open=0
"$station" --port "$work/no-such-device" --rigctld 0.0.0.0:0 >"$work/open.out" \
    2>"$work/open.err" || open=$?
[ "$open" -eq 1 ] || fail "a station without its device exited with $open, not 1"
grep -q "^ft847-station: the rigctld protocol has no authentication: whoever reaches 0.0.0.0 port [1-9][0-9]* controls the transmitter$" \
    "$work/open.err" || fail "no warning for a server open to the network"

"$client" track "$port" "$cycles" "$cycle_ms" "$down" "$up" >"$work/track.out" 2>&1 &
tracker=$!
pids+=("$tracker")

# The radio follows, one cycle behind at most.
wait_for "$work/track.out" "cycle 4 " 1 6
for sample in 1 2; do
    k=$(last_cycle)
    radio_holds "$k" || radio_holds $((k + 1)) || fail "the radio is not at the tracker's cycle $k"
    sleep 0.7
done

# A full house beside the tracker, and a client that never reads.
"$client" fill "$port" 8 1 >"$work/fill.out" 2>&1 || fail "the fill client failed"
grep -qx "answered 7" "$work/fill.out" || fail "seven more clients were not all answered"
grep -qx "closed 7" "$work/fill.out" || fail "the ninth client was not refused"
grep -q "^closed [0-6]$" "$work/fill.out" && fail "one of the eight was closed"
"$client" hog "$port" 10 >"$work/hog.out" 2>&1 || fail "the hog client failed"
grep -qx "dropped" "$work/hog.out" || fail "a client that never reads was not dropped"

# Radio off for 5 s in mid-pass.
say radio off
wait_for "$work/station.out" "station: disconnected" 1 4
sleep 5
say radio on
on_ms=$(now_ms)
while :; do
    k=$(last_cycle)
    if radio_holds "$k"; then
        break
    fi
    [ $(($(now_ms) - on_ms)) -lt "$bound_ms" ] ||
        fail "the radio did not hold the tracker's newest frequencies ${bound_ms} ms after power-on"
    sleep 0.1
done
echo "newest frequencies on the radio $(($(now_ms) - on_ms)) ms after power-on"

wait_exit "$tracker" 30
[ "$exited" -eq 0 ] || fail "the tracker client exited with $exited"
grep -q "^error" "$work/track.out" && fail "the tracker saw an error"
grep -q "^knob" "$work/track.out" && fail "the tracker saw the knob turn, and nobody turned it"
grep -qx "quit RPRT 0" "$work/track.out" || fail "the tracker did not end its session"
stop_station station

# Strict mode: while the radio is off, radio commands fail.
start_emulator strict
start_station strict --port "$pty_strict" --rigctld 0 --rigctld-strict --poll-ms 200
wait_for "$work/strict.out" "station: connected" 1 4
port=$(sed -n 's/^station: rigctld on 127.0.0.1 port //p' "$work/strict.out")
say strict off
wait_for "$work/strict.out" "station: disconnected" 1 4
"$client" track "$port" 1 100 "$down" "$up" >"$work/strict-track.out" 2>&1 ||
    fail "the strict tracker failed"
grep -q "^error F 437800003 RPRT -20$" "$work/strict-track.out" ||
    fail "in strict mode a set did not fail with RPRT -20 while the radio was off"
stop_station strict
echo "PASS: a tracker steered the radio through a power cycle, eight clients, a hog and strict mode"
