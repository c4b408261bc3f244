# The stages of a CI run and what each took, for docs/development.md: for each stage its wall
# time and the processor time of all it ran (user and system, every process it waited for), as
# "stage" lines of FT847_STAGES_FILE (default: build-figures/ci-stages.txt), which
# scripts/render-docs.py renders (block ci-stages). Source it, then:
#   stage WHAT      ends the stage before, if any, and starts this one
#   stage_end       ends the stage under way
#   stage_wait WHAT PID   waits for a check run in the background, as a stage of its own whose
#                   processor time is none: what the wait collects is the check's, which its
#                   own line reports. Returns the check's status.
# A line: stage WALL-SECONDS CPU-SECONDS WHAT
stages_file=${FT847_STAGES_FILE:-build-figures/ci-stages.txt}
mkdir -p "$(dirname "$stages_file")"
stage_what=
stage_started=0
stage_cpu=0

# The processor time of this shell's waited-for children so far, in hundredths of a second, in
# children_cpu: `times` reports the children of the shell it runs in, so not in a subshell. Its
# scratch file is this shell's own, since the checks in the background share a stages file.
children_cpu=0
read_children_cpu() {
    local scratch="$stages_file.times.$BASHPID"  # this shell's, not a substitution's
    times >"$scratch"
    children_cpu=$(awk 'NR == 2 {
        total = 0
        for (i = 1; i <= 2; i++) { split($i, part, "m"); total += part[1] * 60 + part[2] }
        printf "%d\n", total * 100 }' "$scratch")
    rm -f "$scratch"
}

stage_end() {
    [ -n "$stage_what" ] || return 0
    read_children_cpu
    awk -v wall="$((SECONDS - stage_started))" -v cpu="$((children_cpu - stage_cpu))" \
        -v what="$stage_what" \
        'BEGIN { printf "stage %d %.0f %s\n", wall, cpu / 100, what }' >>"$stages_file"
    echo "== $stage_what: $((SECONDS - stage_started)) s"
    stage_what=
}

stage() {
    stage_end
    stage_what=$1
    stage_started=$SECONDS
    read_children_cpu
    stage_cpu=$children_cpu
    echo "== $stage_what"
}

stage_wait() {
    stage "$1"
    local status=0
    wait "$2" || status=$?
    read_children_cpu
    stage_cpu=$children_cpu
    stage_end
    return "$status"
}
