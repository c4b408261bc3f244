#!/usr/bin/env bash
# Figures of the station's tracker interface, from ft847-emulator, ft847-station --rigctld and
# the Gpredict-like tracker of the end-to-end tests, all real processes on this machine:
#   latency       from a tracker's "F hz" to the set frame's arrival on the radio's line, with
#                 the link idle: median and largest of 20 (the tracker stamps its send, the
#                 emulator each frame it receives, both on the monotonic clock)
#   power-on      from switching the radio on after 5 s off in mid-pass (tracking at 1 Hz) to
#                 the radio holding the tracker's newest SAT RX and TX frequencies (those of
#                 its last cycle or the one before), checked every 100 ms
#   cpu           the station's CPU use over 10 s while tracking at 1 Hz (utime + stime, and
#                 the scheduler's nanosecond count), with its wake-ups a second
#
# Prints them as "name value" lines: latency-median-ms, latency-max-ms, power-on-ms,
# tracker-errors, cpu-percent, cpu-percent-schedstat, wakeups-per-second.
#
# Usage: scripts/rigctld-figures.sh
# The programs come from the "default" preset's build (build/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 0 ] || { echo "rigctld-figures.sh: takes no arguments" >&2; exit 2; }
build=$root/build
station=$build/station/ft847-station
emulator=$build/emulator/ft847-emulator
client=$build/tests/ft847_tracker_client
for program in "$station" "$emulator" "$client"; do
    [ -x "$program" ] || { echo "rigctld-figures.sh: $program missing: build the default preset" >&2; exit 1; }
done

source "$root/tests/e2e/lib.sh" "$emulator" "$station"

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# start NAME EMULATOR_ARGS -- STATION_ARGS: an emulator NAME_radio with its input on a FIFO, and
# a station NAME_station on its pseudo-terminal with the rigctld server on a free port. Sets
# port and station_pid.
start() {
    local name=$1
    shift
    local emulator_args=()
    while [ "$1" != "--" ]; do emulator_args+=("$1"); shift; done
    shift
    start_emulator "${name}_radio" "${emulator_args[@]}"
    local pty_var="pty_${name}_radio" pid_var="pid_${name}_station"
    start_station "${name}_station" --port "${!pty_var}" --rigctld 0 "$@"
    station_pid=${!pid_var}
    wait_for "$work/${name}_station.out" "station: connected" 1 5
    port=$(sed -n 's/^station: rigctld on 127.0.0.1 port //p' "$work/${name}_station.out")
}

# Latency: polling off, so that the link is idle when each set comes.
start latency --log-frames -- --poll-ms 0
wait_for "$work/latency_station.out" "station: settings applied" 1 3
"$client" latency "$port" 20 700 437800000 >"$work/latency-client.out" || fail "tracker failed"
sleep 0.3
latencies=$(awk '
    FNR == NR && $1 == "sent" {
        tens = sprintf("%08d", $2 / 10)
        key = substr(tens, 1, 2) " " substr(tens, 3, 2) " " substr(tens, 5, 2) " " substr(tens, 7, 2)
        sent[key " 11"] = $3
        next
    }
    $2 == "frame" {
        key = $3 " " $4 " " $5 " " $6 " " $7
        if (key in sent) { print ($9 - sent[key]) / 1000; delete sent[key] }
    }' "$work/latency-client.out" "$work/latency_radio.out" | sort -n)
samples=$(grep -c . <<<"$latencies" || true)
[ "$samples" -eq 20 ] || fail "$samples of 20 sets reached the radio"
latency_median=$(awk '{ v[NR] = $1 } END { printf "%.1f", (v[10] + v[11]) / 2 }' <<<"$latencies")
latency_max=$(tail -n 1 <<<"$latencies" | awk '{ printf "%.1f", $1 }')

# Power-on and CPU: tracking at 1 Hz with polls at 1 s, the radio off for 5 s in mid-pass.
start track -- --poll-ms 1000
down=437800003
up=145900007
"$client" track "$port" 40 1000 "$down" "$up" >"$work/track.out" 2>&1 &
pids+=($!)
wait_for "$work/track.out" "cycle 2 " 1 5
t0=$(ticks "$station_pid"); n0=$(runtime "$station_pid"); w0=$(switches "$station_pid")
sleep 10
t1=$(ticks "$station_pid"); n1=$(runtime "$station_pid"); w1=$(switches "$station_pid")
hz=$(getconf CLK_TCK)
cpu=$(awk -v t=$((t1 - t0)) -v hz="$hz" 'BEGIN { printf "%.2f", 100 * t / hz / 10 }')
cpu_precise=$(awk -v ns=$((n1 - n0)) 'BEGIN { printf "%.3f", 100 * ns / 1e9 / 10 }')
wakes=$(awk -v n=$((w1 - w0)) 'BEGIN { printf "%.1f", n / 10 }')

say track_radio off
wait_for "$work/track_station.out" "station: disconnected" 1 4
sleep 5
before=$(grep -c "emulator: power" "$work/track_radio.out" || true)
say track_radio on
on_ms=$(now_ms)
power_on_ms=""
while [ -z "$power_on_ms" ]; do
    [ $(($(now_ms) - on_ms)) -lt 20000 ] || fail "the radio never held the newest frequencies"
    say track_radio status
    while [ "$(grep -c "emulator: power" "$work/track_radio.out" || true)" -le "$before" ]; do
        sleep 0.01
    done
    before=$((before + 1))
    line=$(grep "emulator: power" "$work/track_radio.out" | tail -n 1)
    rx=$(sed -n 's/.*RX \([0-9]*\) Hz.*/\1/p' <<<"$line")
    tx=$(sed -n 's/.*TX \([0-9]*\) Hz.*/\1/p' <<<"$line")
    k=$(sed -n 's/^cycle \([0-9]*\) .*/\1/p' "$work/track.out" | tail -n 1)
    rx_ok=0
    tx_ok=0
    for j in "$k" $((k - 1)); do
        [ "$rx" = $(((down + 137 * j) / 10 * 10)) ] && rx_ok=1
        [ "$tx" = $(((up - 73 * j) / 10 * 10)) ] && tx_ok=1
    done
    if [ "$rx_ok" -eq 1 ] && [ "$tx_ok" -eq 1 ]; then
        power_on_ms=$(($(now_ms) - on_ms))
    else
        sleep 0.1
    fi
done
errors=$(grep -c "^error" "$work/track.out" || true)

echo "latency-median-ms $latency_median"
echo "latency-max-ms $latency_max"
echo "power-on-ms $power_on_ms"
echo "tracker-errors $errors"
echo "cpu-percent $cpu"
echo "cpu-percent-schedstat $cpu_precise"
echo "wakeups-per-second $wakes"
