#!/usr/bin/env bash
# CPU use and wake-ups of ft847-station and ft847-emulator while the station is connected and
# idle (polling both VFOs once a second, the default): both run as real processes on a
# pseudo-terminal; once the station has applied its settings, the CPU time each one used
# (utime + stime in /proc/PID/stat, in clock ticks, and the scheduler's own count in
# nanoseconds, /proc/PID/schedstat) and the times it was switched in (context switches in
# /proc/PID/status) are counted over a fixed time.
#
# Prints one "name value" line per figure:
#   seconds, polls               the time measured over and the polls the station reported in it
#   station-cpu-percent          utime + stime over that time, % of one core (clock ticks)
#   station-cpu-percent-schedstat   the same from the scheduler's nanosecond count
#   station-wakeups-per-second   context switches a second
#   emulator-...                 the same for ft847-emulator
#   resolution-percent           what one clock tick is over that time, % of one core
#
# Usage: scripts/station-cpu.sh [--seconds N] [--check] [--station PATH] [--emulator PATH]
#                               [--service MANAGER [--watchdog-usec N]]
#   --check   fail unless each program stays under 1 % of one core and 100 wake-ups a second
#             (generous bounds: the target is under 0.3 %)
#   --service the station runs as the unit runs it, with MANAGER (tests/e2e/service_manager.cpp)
#             in systemd's place: it keeps its status current and pings its watchdog every half
#             of N µs (default 20000000, the unit's WatchdogSec=)
# The programs default to the "default" preset's build (build/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=60
check=0
station=$root/build/station/ft847-station
emulator=$root/build/emulator/ft847-emulator
manager=""
watchdog=20000000
while [ $# -gt 0 ]; do
    case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --check) check=1; shift ;;
    --station) station=$2; shift 2 ;;
    --emulator) emulator=$2; shift 2 ;;
    --service) manager=$2; shift 2 ;;
    --watchdog-usec) watchdog=$2; shift 2 ;;
    *) echo "station-cpu.sh: unknown argument '$1'" >&2; exit 2 ;;
    esac
done

source "$root/tests/e2e/lib.sh" "$emulator" "$station"

start_emulator radio
emulator_pid=$pid_radio
options=(--port "$pty_radio" --rx-freq 145900000 --tx-freq 435300000 --rx-mode fm --tx-mode fm)
if [ -n "$manager" ]; then
    start_service_manager systemd "$manager"
    start_service station systemd "$watchdog" "${options[@]}"
else
    start_station station "${options[@]}"
fi
station_pid=$pid_station
wait_for "$work/station.out" "station: settings applied" 1 8
sleep 1  # the first polls

s_ticks=$(ticks "$station_pid"); s_switches=$(switches "$station_pid"); s_ns=$(runtime "$station_pid")
e_ticks=$(ticks "$emulator_pid"); e_switches=$(switches "$emulator_pid"); e_ns=$(runtime "$emulator_pid")
polls_before=$(grep -c "station: RX" "$work/station.out" || true)
sleep "$seconds"
s_ticks=$(($(ticks "$station_pid") - s_ticks)); s_switches=$(($(switches "$station_pid") - s_switches))
e_ticks=$(($(ticks "$emulator_pid") - e_ticks)); e_switches=$(($(switches "$emulator_pid") - e_switches))
s_ns=$(($(runtime "$station_pid") - s_ns)); e_ns=$(($(runtime "$emulator_pid") - e_ns))
polls=$(($(grep -c "station: RX" "$work/station.out" || true) - polls_before))
kill -TERM "$station_pid"
hz=$(getconf CLK_TCK)

percent() { awk -v t="$1" -v hz="$hz" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * t / hz / s }'; }
precise() { awk -v ns="$1" -v s="$seconds" 'BEGIN { printf "%.3f", 100 * ns / 1e9 / s }'; }
rate() { awk -v n="$1" -v s="$seconds" 'BEGIN { printf "%.1f", n / s }'; }
station_cpu=$(percent "$s_ticks"); emulator_cpu=$(percent "$e_ticks")
station_wakes=$(rate "$s_switches"); emulator_wakes=$(rate "$e_switches")
station_precise=$(precise "$s_ns"); emulator_precise=$(precise "$e_ns")
tick_percent=$(awk -v hz="$hz" -v s="$seconds" 'BEGIN { printf "%.2f", 100 / hz / s }')
echo "seconds $seconds"
echo "polls $polls"
echo "station-cpu-percent $station_cpu"
echo "station-cpu-percent-schedstat $station_precise"
echo "station-wakeups-per-second $station_wakes"
echo "emulator-cpu-percent $emulator_cpu"
echo "emulator-cpu-percent-schedstat $emulator_precise"
echo "emulator-wakeups-per-second $emulator_wakes"
echo "resolution-percent $tick_percent"
if [ -n "$manager" ]; then
    echo "watchdog-pings $(grep -c "WATCHDOG=1" "$work/systemd.out" || true)"
fi

status=0
if [ "$check" -eq 1 ]; then
    for program in station emulator; do
        cpu_var=${program}_cpu
        wakes_var=${program}_wakes
        if awk -v c="${!cpu_var}" -v w="${!wakes_var}" 'BEGIN { exit !(c >= 1 || w >= 100) }'; then
            echo "FAIL: ft847-$program used ${!cpu_var} % of a core, ${!wakes_var} wake-ups/s" >&2
            status=1
        fi
    done
    [ "$polls" -ge $((seconds - 1)) ] || { echo "FAIL: only $polls polls" >&2; status=1; }
fi

exit $status
