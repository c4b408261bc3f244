#!/usr/bin/env bash
# CPU use and wake-ups of ft847-station and ft847-emulator while the station is connected and
# idle (polling both VFOs once a second, the default): both run as real processes on a
# pseudo-terminal; once the station has applied its settings, the CPU time each one used
# (utime + stime in /proc/PID/stat, in clock ticks, and the scheduler's own count in
# nanoseconds, /proc/PID/schedstat) and the times it was switched in (context switches in
# /proc/PID/status) are counted over a fixed time.
#
# Usage: scripts/station-cpu.sh [--seconds N] [--check] [--readme]
#                               [--station PATH] [--emulator PATH]
#   --check   fail unless each program stays under 1 % of one core and 100 wake-ups a second
#             (generous bounds: the target is under 0.3 %)
#   --readme  write the figures into README.md, between the "station cpu" markers
# The programs default to the "default" preset's build (build/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=60
check=0
readme=0
station=$root/build/station/ft847-station
emulator=$root/build/emulator/ft847-emulator
while [ $# -gt 0 ]; do
    case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --check) check=1; shift ;;
    --readme) readme=1; shift ;;
    --station) station=$2; shift 2 ;;
    --emulator) emulator=$2; shift 2 ;;
    *) echo "station-cpu.sh: unknown argument '$1'" >&2; exit 2 ;;
    esac
done

source "$root/scripts/lib/processes.sh"

wait_for() {  # FILE TEXT SECONDS
    local deadline=$((SECONDS + $3))
    until grep -q -F -- "$2" "$1" 2>/dev/null; do
        if [ "$SECONDS" -ge "$deadline" ]; then
            echo "station-cpu.sh: no '$2' within $3 s" >&2
            cat "$work"/* >&2
            exit 1
        fi
        sleep 0.05
    done
}

mkfifo "$work/emulator.in"
exec 3<>"$work/emulator.in"
"$emulator" <&3 >"$work/emulator.out" 2>&1 &
emulator_pid=$!
pids+=("$emulator_pid")
wait_for "$work/emulator.out" "emulator: pty " 3
pty=$(sed -n 's/^emulator: pty //p' "$work/emulator.out")
"$station" --port "$pty" --rx-freq 145900000 --tx-freq 435300000 --rx-mode fm --tx-mode fm \
    >"$work/station.out" 2>"$work/station.err" &
station_pid=$!
pids+=("$station_pid")
wait_for "$work/station.out" "station: settings applied" 8
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

if [ "$readme" -eq 1 ]; then
    python3 - "$root/README.md" <<PY
import re, sys
path = sys.argv[1]
text = open(path).read()
begin = "<!-- station cpu: begin (written by scripts/station-cpu.sh --readme) -->"
end = "<!-- station cpu: end -->"
table = f"""{begin}

Measured by \`scripts/station-cpu.sh\` over $seconds s while the station was connected and idle,
polling both VFOs once a second ($polls polls), on a pseudo-terminal at 4800 bps. CPU time from
\`/proc/PID/stat\` (in clock ticks: one is $tick_percent % over this time) and from the scheduler's
nanosecond count in \`/proc/PID/schedstat\`; wake-ups from the context switches in
\`/proc/PID/status\`:

| Program | CPU, % of one core (stat) | CPU, % of one core (schedstat) | Wake-ups per second |
|---|---:|---:|---:|
| \`ft847-station\` | $station_cpu | $station_precise | $station_wakes |
| \`ft847-emulator\` | $emulator_cpu | $emulator_precise | $emulator_wakes |

{end}"""
new, n = re.subn(re.escape(begin) + ".*?" + re.escape(end), table, text, flags=re.S)
if n != 1:
    sys.exit("README.md has no station cpu markers")
open(path, "w").write(new)
PY
fi
exit $status
