# Starts and stops ft847-station and ft847-emulator as real processes on real pseudo-terminals,
# for the end-to-end tests and for the scripts that measure the programs. Every wait has a
# deadline; every process started here is killed on exit, unless it was handed over.
#   source tests/e2e/lib.sh EMULATOR STATION
# With E2E_WORK set to a folder, the programs' files go there, and it outlives the script, so
# that several scripts share one emulator and station (a CTest fixture): the first starts them
# and hands them over, the next ones attach to the emulator, the last stops them.
set -euo pipefail
emulator=$1
station=$2

if [ -n "${E2E_WORK:-}" ]; then
    work=$E2E_WORK
    mkdir -p "$work"
else
    work=$(mktemp -d)
fi
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill -KILL "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    [ -n "${E2E_WORK:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    for f in "$work"/*.out "$work"/*.err; do
        [ -f "$f" ] || continue
        echo "--- $(basename "$f")"
        cat "$f"
    done
    exit 1
}

# count FILE TEXT: lines of FILE that hold TEXT.
count() {
    local n
    n=$(grep -c -F -- "$2" "$1" 2>/dev/null) || true
    echo "${n:-0}"
}

# wait_for FILE TEXT COUNT SECONDS: until FILE holds TEXT on at least COUNT lines.
wait_for() {
    local deadline=$((SECONDS + $4))
    while [ "$(count "$1" "$2")" -lt "$3" ]; do
        [ "$SECONDS" -lt "$deadline" ] || fail "no '$2' (x$3) in $(basename "$1") within $4 s"
        sleep 0.05
    done
}

# wait_exit PID SECONDS: waits for PID to end and sets `exited` to its status; fails after
# SECONDS.
wait_exit() {
    local deadline=$((SECONDS + $2))
    while kill -0 "$1" 2>/dev/null; do
        [ "$SECONDS" -lt "$deadline" ] || fail "process $1 still running after $2 s"
        sleep 0.05
    done
    exited=0
    wait "$1" || exited=$?
}

# start_emulator NAME [ARGS...]: an emulator whose standard input is a FIFO that stays open;
# `say NAME TEXT` writes a line to it. Sets pty_NAME and pid_NAME.
start_emulator() {
    local name=$1
    shift
    mkfifo "$work/$name.in"
    # Opened read-write, the FIFO never reports the end of input to the emulator.
    exec {fd}<>"$work/$name.in"
    "$emulator" "$@" <&$fd >"$work/$name.out" 2>&1 &
    pids+=($!)
    printf -v "pid_$name" %s "$!"
    printf -v "in_$name" %s "$fd"
    wait_for "$work/$name.out" "emulator: pty " 1 3
    printf -v "pty_$name" %s "$(sed -n 's/^emulator: pty //p' "$work/$name.out")"
}

# attach_emulator NAME: emulator NAME, handed over by another script, takes `say NAME TEXT`
# from this one too. Sets pty_NAME.
attach_emulator() {
    exec {fd}>"$work/$1.in"
    printf -v "in_$1" %s "$fd"
    printf -v "pty_$1" %s "$(sed -n 's/^emulator: pty //p' "$work/$1.out")"
}

# hand_over: the programs started so far go on running after this script ends; their process
# ids are in $work/pids.
hand_over() {
    printf '%s\n' "${pids[@]}" >"$work/pids"
    for pid in "${pids[@]}"; do
        disown "$pid"
    done
    pids=()
}

# radio_shows NAME ERE SECONDS: until the status line of emulator NAME matches the extended
# regular expression ERE; fails after SECONDS with the last status line.
radio_shows() {
    local deadline=$((SECONDS + $3)) before line
    while :; do
        before=$(count "$work/$1.out" "emulator: power")
        say "$1" status
        wait_for "$work/$1.out" "emulator: power" $((before + 1)) 2
        line=$(grep "emulator: power" "$work/$1.out" | tail -n 1)
        grep -Eq -- "$2" <<<"$line" && return 0
        [ "$SECONDS" -lt "$deadline" ] || fail "the radio does not show '$2': $line"
        sleep 0.05
    done
}

# say NAME TEXT: a command line to emulator NAME.
say() {
    local fd_var="in_$1"
    echo "$2" >&"${!fd_var}"
}

# start_program NAME PROGRAM ARGS...: a program with stdout in NAME.out, stderr in NAME.err.
# Sets pid_NAME.
start_program() {
    local name=$1
    shift
    "$@" >"$work/$name.out" 2>"$work/$name.err" &
    pids+=($!)
    printf -v "pid_$name" %s "$!"
}

# start_station NAME ARGS...: a station with stdout in NAME.out, stderr in NAME.err. Sets
# pid_NAME.
start_station() {
    local name=$1
    shift
    start_program "$name" "$station" "$@"
}

# start_service_manager NAME PROGRAM: systemd's side of its notification protocol (PROGRAM is
# e2e/service_manager.cpp): a datagram socket at $work/NAME.sock whose messages go to NAME.out,
# one "MS NAME=value" line for each assignment. Sets notify_NAME to the socket's path.
start_service_manager() {
    local name=$1
    "$2" "$work/$name.sock" >"$work/$name.out" 2>&1 &
    pids+=($!)
    printf -v "notify_$name" %s "$work/$name.sock"
    wait_for "$work/$name.out" "listening" 1 3
}

# start_service NAME MANAGER WATCHDOG_USEC ARGS...: a station as systemd starts a unit of
# Type=notify: NOTIFY_SOCKET names service manager MANAGER's socket, and the watchdog of
# WATCHDOG_USEC microseconds (0: none) is the station's own (WATCHDOG_PID). Output as
# start_station's; sets pid_NAME.
start_service() {
    local name=$1 socket_var="notify_$2" watchdog=$3
    shift 3
    NOTIFY_SOCKET=${!socket_var} WATCHDOG_USEC=$watchdog start_program "$name" \
        sh -c 'export WATCHDOG_PID=$$; exec "$0" "$@"' "$station" "$@"
}

# stop_station NAME: SIGTERM, then the station must end within 2 s with status 0.
stop_station() {
    local pid_var="pid_$1"
    kill -TERM "${!pid_var}"
    wait_exit "${!pid_var}" 2
    [ "$exited" -eq 0 ] || fail "$1 exited with $exited after SIGTERM"
}

# What /proc says of a process's CPU use, for the scripts that measure it.
# ticks PID: CPU time used so far, in clock ticks (fields 14 and 15 of /proc/PID/stat, counted
# after the command name, which is in parentheses).
ticks() { sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }
# runtime PID: nanoseconds on a CPU so far, as the scheduler counts them; 0 on a kernel without
# that count.
runtime() {
    if [ -r "/proc/$1/schedstat" ]; then awk '{ print $1 }' "/proc/$1/schedstat"; else echo 0; fi
}
# switches PID: voluntary and involuntary context switches so far.
switches() { awk '/ctxt_switches/ { n += $2 } END { print n }' "/proc/$1/status"; }
