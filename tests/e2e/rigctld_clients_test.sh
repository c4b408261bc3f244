#!/usr/bin/env bash
# End to end: the programs that operators point at the station, each replaying its own command
# sequence (tracker_client replay) against ft847-station and ft847-emulator, one station for all.
#   rigctld_clients_test.sh EMULATOR STATION TRACKER_CLIENT DIR start|stop|CLIENT
# - start: the emulator, and a station with a tracker server, left running with their files in
#   DIR once the station has polled the radio.
# - CLIENT (skyroof, cqrlog, look4sat, log4om, network-client, gpredict): that program's
#   sequence gets the replies the program needs, what it read is what the radio holds, and the
#   radio ends on what it set. A program that never reads keeps its connection.
# - stop: SIGTERM ends the station and the emulator.
E2E_WORK=$4
source "$(dirname "$0")/lib.sh"
client=$3
action=$5

case $action in
start)
    # Programs that an interrupted run left behind, if they are still these programs.
    if [ -f "$work/pids" ]; then
        while read -r pid; do
            grep -qs -F -e "$emulator" -e "$station" "/proc/$pid/cmdline" && kill -KILL "$pid"
        done <"$work/pids"
    fi
    rm -rf "${work:?}"/*
    start_emulator radio
    start_station station --port "$pty_radio" --rigctld 0 --poll-ms 3000
    wait_for "$work/station.out" "station: rigctld on 127.0.0.1 port " 1 3
    sed -n 's/^station: rigctld on 127.0.0.1 port //p' "$work/station.out" >"$work/port"
    # Both VFOs polled: the station knows the radio's frequencies and modes.
    wait_for "$work/station.out" "station: TX " 1 5
    hand_over
    echo "PASS: a station with a tracker server on port $(cat "$work/port")"
    ;;
stop)
    read -r -d '' -a running <"$work/pids" || true
    kill -TERM "${running[@]}" 2>/dev/null || true
    deadline=$((SECONDS + 2))
    for pid in "${running[@]}"; do
        # Not this script's children: one that ended may stay a zombie until its new parent
        # reaps it.
        while kill -0 "$pid" 2>/dev/null && ! grep -q '^[0-9]* (.*) Z' "/proc/$pid/stat"; do
            [ "$SECONDS" -lt "$deadline" ] || fail "process $pid still running after SIGTERM"
            sleep 0.05
        done
    done
    grep -q -F "station: stopped" "$work/station.out" || fail "the station did not stop cleanly"
    rm -rf "$work"
    echo "PASS: the station and the emulator stopped"
    ;;
*)
    [ -f "$work/port" ] || fail "no station running in $work"
    attach_emulator radio
    trackers() { grep -c -E "^station: tracker .* connected$" "$work/station.out" || true; }
    connected=$(trackers)
    "$client" replay "$(cat "$work/port")" "$action" >"$work/$action.replay" 2>&1 ||
        fail "$action: $(cat "$work/$action.replay")"
    grep "^error" "$work/$action.replay" && fail "$action did not get the replies it needs"
    grep -q "^radio " "$work/$action.replay" || fail "$action: nothing to look for on the radio"
    while read -r _ expected; do
        radio_shows radio "$expected" 3
    done < <(grep "^radio " "$work/$action.replay")
    [ "$(count "$work/station.out" " dropped")" -eq 0 ] || fail "$action was dropped"
    [ "$(trackers)" -eq $((connected + 1)) ] ||
        fail "$action did not connect once"
    echo "PASS: $action got the replies it needs, and the radio holds what it read and set"
    ;;
esac
