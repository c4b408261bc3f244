# Shared by the scripts that measure the Linux programs as real processes: a scratch folder,
# the processes started (killed on exit), and what /proc says of a process's CPU use.
#   source scripts/lib/processes.sh

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# ticks PID: CPU time used so far, in clock ticks (fields 14 and 15 of /proc/PID/stat, counted
# after the command name, which is in parentheses).
ticks() { sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }
# runtime PID: nanoseconds on a CPU so far, as the scheduler counts them.
# 0 on a kernel without it.
runtime() {
    if [ -r "/proc/$1/schedstat" ]; then awk '{ print $1 }' "/proc/$1/schedstat"; else echo 0; fi
}
# switches PID: voluntary and involuntary context switches so far.
switches() { awk '/ctxt_switches/ { n += $2 } END { print n }' "/proc/$1/status"; }
