#!/usr/bin/env bash
# Memory and descriptors of ft847-station's tracker server under client churn: the emulator and
# the station run as real processes, and the churn client of the end-to-end tests (about 50
# connections a second) opens short sessions, closes without a word, sends random bytes, NUL
# and over-long lines, resets connections in mid-line and with replies owed, and holds
# connections so that the eight places fill up and newcomers are refused. The station's
# resident memory (VmRSS in /proc/PID/status) and its open descriptors (/proc/PID/fd) are read
# once it is connected and before the churn, and again once the churn has ended and the
# station has let go of every client.
#
# Usage: scripts/rigctld-churn.sh [--seconds N] [--check [--descriptors-only]]
#                                 [--station PATH] [--emulator PATH] [--client PATH]
#   --seconds  how long the churn lasts (default 300)
#   --check    fail unless resident memory grew by 512 KB at most and the descriptors are the
#              same as before
#   --descriptors-only  check the descriptors alone (for a station built with AddressSanitizer,
#              whose quarantine of freed memory makes resident memory say nothing)
# Prints its figures as "name value" lines. The programs default to the "default" preset's
# build (build/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=300
check=0
memory=1
station=$root/build/station/ft847-station
emulator=$root/build/emulator/ft847-emulator
client=$root/build/tests/ft847_tracker_client
while [ $# -gt 0 ]; do
    case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --check) check=1; shift ;;
    --descriptors-only) memory=0; shift ;;
    --station) station=$2; shift 2 ;;
    --emulator) emulator=$2; shift 2 ;;
    --client) client=$2; shift 2 ;;
    *) echo "rigctld-churn.sh: unknown argument '$1'" >&2; exit 2 ;;
    esac
done
for program in "$station" "$emulator" "$client"; do
    [ -x "$program" ] || { echo "rigctld-churn.sh: $program missing: build the default preset" >&2; exit 1; }
done

source "$root/tests/e2e/lib.sh" "$emulator" "$station"

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
descriptors() { find "/proc/$1/fd" -mindepth 1 -maxdepth 1 | wc -l; }

start_emulator radio
start_station station --port "$pty_radio" --rigctld 0 --rx-freq 145900000
station_pid=$pid_station
wait_for "$work/station.out" "station: settings applied" 1 8
port=$(sed -n 's/^station: rigctld on 127.0.0.1 port //p' "$work/station.out")
sleep 1

rss_before=$(rss_kb "$station_pid")
fds_before=$(descriptors "$station_pid")
"$client" churn "$port" "$seconds" >"$work/churn.out" 2>&1 || fail "the churn client failed"
kill -0 "$station_pid" 2>/dev/null || fail "the station died under churn"
# A client that quit has 5 s to take its last replies: wait until every one is let go.
deadline=$((SECONDS + 10))
while [ "$(descriptors "$station_pid")" -ne "$fds_before" ] && [ "$SECONDS" -lt "$deadline" ]; do
    sleep 0.2
done
rss_after=$(rss_kb "$station_pid")
fds_after=$(descriptors "$station_pid")
connections=$(sed -n 's/^connections //p' "$work/churn.out")
refused=$(grep -c " refused: " "$work/station.out" || true)

echo "seconds $seconds"
echo "connections $connections"
echo "refused $refused"
echo "rss-before-kb $rss_before"
echo "rss-after-kb $rss_after"
echo "rss-growth-kb $((rss_after - rss_before))"
echo "descriptors-before $fds_before"
echo "descriptors-after $fds_after"

status=0
if [ "$check" -eq 1 ]; then
    if [ "$memory" -eq 1 ] && [ $((rss_after - rss_before)) -gt 512 ]; then
        echo "FAIL: resident memory grew by $((rss_after - rss_before)) KB under churn" >&2
        status=1
    fi
    if [ "$fds_after" -ne "$fds_before" ]; then
        echo "FAIL: $fds_before descriptors before the churn, $fds_after after" >&2
        status=1
    fi
    [ "$connections" -gt 0 ] || { echo "FAIL: no connection was made" >&2; status=1; }
fi
exit $status
