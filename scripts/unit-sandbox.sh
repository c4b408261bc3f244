#!/usr/bin/env bash
# The unit's sandbox against what the station does. Runs ft847-station as the unit runs it (a
# configuration file, NOTIFY_SOCKET and a watchdog, the tracker server) under strace, against
# the emulator: a tracker sets a frequency, ExecReload's /bin/kill has it reload, SIGTERM stops
# it. Then checks, against the unit's own lines:
#   - every system call of the station and of /bin/kill is one SystemCallFilter= lets through
#     (its allow list less its deny list, groups expanded by systemd-analyze syscall-filter);
#   - every socket the station opens is of a family RestrictAddressFamilies= allows.
#
# Prints "name value" lines:
#   syscalls                  distinct system calls the station made
#   syscalls-refused          those of the station and of /bin/kill the filter refuses, or none
#   socket-families           the families of the station's sockets
#   socket-families-refused   those the unit refuses, or none
#
# Usage: scripts/unit-sandbox.sh UNIT [--check] [--station PATH] [--emulator PATH]
#                                [--manager PATH]
#   UNIT      the unit file (ft847-station@.service, as installed)
#   --check   fail unless nothing is refused
# The programs default to the "default" preset's build (build/); --manager is the test's
# service manager (tests/e2e/service_manager.cpp). Needs strace and systemd-analyze.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
unit=${1:?usage: unit-sandbox.sh UNIT [--check] [--station PATH] [--emulator PATH] [--manager PATH]}
shift
check=0
station=$root/build/station/ft847-station
emulator=$root/build/emulator/ft847-emulator
manager=$root/build/tests/ft847_service_manager
while [ $# -gt 0 ]; do
    case $1 in
    --check) check=1; shift ;;
    --station) station=$2; shift 2 ;;
    --emulator) emulator=$2; shift 2 ;;
    --manager) manager=$2; shift 2 ;;
    *) echo "unit-sandbox.sh: unknown argument '$1'" >&2; exit 2 ;;
    esac
done
unit_lines() { sed -n "s/^$1=//p" "$unit"; }

source "$root/tests/e2e/lib.sh" "$emulator" "$station"

start_emulator radio
start_service_manager systemd "$manager"
cat >"$work/radio.conf" <<CONF
port = $pty_radio
rx-freq = 145900000
rigctld = 0
poll-ms = 200
CONF
NOTIFY_SOCKET=$notify_systemd WATCHDOG_USEC=400000 start_program traced \
    strace -f -qq -o "$work/station.trace" "$station" --config "$work/radio.conf"
wait_for "$work/traced.out" "station: settings applied" 1 8
# Killing strace would leave the station running, and opening its pseudo-terminal's path again
# whenever a new terminal took that number: the cleanup kills the station itself too.
main_pid=$(awk '{ print $1; exit }' "$work/station.trace")
pids+=("$main_pid")
port=$(sed -n 's/^station: rigctld on 127.0.0.1 port //p' "$work/traced.out")
exec {tracker}<>"/dev/tcp/127.0.0.1/$port"
echo "F 145910000" >&"$tracker"
read -r -t 3 reply <&"$tracker" || fail "the tracker got no reply"
[ "$reply" = "RPRT 0" ] || fail "the tracker's set was answered '$reply'"
wait_for "$work/traced.out" "station: RX 145910000 Hz" 1 3
strace -f -qq -o "$work/kill.trace" /bin/kill -HUP "$main_pid"
wait_for "$work/traced.out" "station: reloaded" 1 3
exec {tracker}>&-
kill -TERM "$main_pid"
wait_exit "$pid_traced" 3
[ "$exited" -eq 0 ] || fail "the station exited with $exited"

# The names of the calls in a trace, one a line.
calls() { sed -n 's/^[0-9]* *\([a-z0-9_]*\)(.*/\1/p' "$1" | sort -u; }
# The system calls of a filter's groups and names, groups expanded (from one listing of them
# all).
systemd-analyze syscall-filter >"$work/groups" 2>/dev/null
expand() {
    awk -v wanted="$*" '
        /^@/ { group = $1; next }
        /^ *#/ || NF == 0 { next }
        { members[group] = members[group] " " $1 }
        function walk(name,   list, n, i) {
            if (name in seen) return
            seen[name] = 1
            if (substr(name, 1, 1) != "@") { print name; return }
            n = split(members[name], list, " ")
            for (i = 1; i <= n; i++) walk(list[i])
        }
        END { n = split(wanted, names, " "); for (i = 1; i <= n; i++) walk(names[i]) }' "$work/groups"
}
allowed=() denied=()
while read -r line; do
    if [ "${line:0:1}" = "~" ]; then denied+=(${line:1}); else allowed+=($line); fi
done < <(unit_lines SystemCallFilter)
[ ${#allowed[@]} -gt 0 ] || fail "the unit has no allow list in SystemCallFilter="
expand "${allowed[@]}" | sort -u >"$work/allowed"
expand "${denied[@]}" | sort -u >"$work/denied"
comm -23 "$work/allowed" "$work/denied" >"$work/filter"
calls "$work/station.trace" >"$work/station.calls"
refused=$(cat "$work/station.calls" <(calls "$work/kill.trace") | sort -u |
    comm -23 - "$work/filter" | tr '\n' ' ')
refused=${refused% }

families=$(sed -n 's/.*socket(\(AF_[A-Z0-9]*\),.*/\1/p' "$work/station.trace" | sort -u | tr '\n' ' ')
families_refused=""
for family in $families; do
    [[ " $(unit_lines RestrictAddressFamilies | tr '\n' ' ') " == *" $family "* ]] ||
        families_refused+="$family "
done

echo "syscalls $(grep -c . "$work/station.calls")"
echo "syscalls-refused ${refused:-none}"
echo "socket-families ${families% }"
families_refused=${families_refused% }
echo "socket-families-refused ${families_refused:-none}"
if [ "$check" -eq 1 ] && [ -n "$refused$families_refused" ]; then
    echo "FAIL: the unit refuses $refused $families_refused" >&2
    exit 1
fi
