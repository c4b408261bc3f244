#!/usr/bin/env bash
# Measures, then rewrites the figures in README.md and docs/. Every measuring script prints its
# figures as "name value" lines; they are kept in build-figures/, and scripts/render-docs.py,
# the one writer of the pages' figures, renders every block from them.
#
# Usage: scripts/update-docs.sh [WHAT...]
#   footprint     the driver object on the Cortex-M4F (scripts/footprint.sh)
#   linked        linked firmware images on each board that has them (scripts/linked-size.sh)
#   cost          instructions per update() under callgrind (scripts/cost.sh)
#   target-cost   instructions per update() on each board with the probe (scripts/target-cost.sh)
#   rigctld       the tracker interface's figures (scripts/rigctld-figures.sh)
#   station-cpu   the Linux programs' idle CPU (scripts/station-cpu.sh, 60 s)
#   package       the Debian package and its unit (scripts/package.sh)
#   churn         the tracker server under five minutes of churn (scripts/rigctld-churn.sh)
#   robustness    the fault-injection test and CI's robustness steps (scripts/ci-robustness.sh;
#                 many minutes)
#   mutation      a full mutation check of the driver and the station (scripts/mutation.py;
#                 many minutes)
# Without WHAT: everything but robustness and mutation. Each measures the default preset's build
# (build/, with the boards in build/boards/), which it builds first. `ctest --preset default`
# leaves the figures of footprint, linked, cost and target-cost too.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
known="footprint linked cost target-cost rigctld station-cpu package churn robustness mutation"
wanted=("$@")
[ ${#wanted[@]} -gt 0 ] || wanted=(footprint linked cost target-cost rigctld station-cpu package churn)
for what in "${wanted[@]}"; do
    [[ " $known " == *" $what "* ]] ||
        { echo "update-docs.sh: nothing called '$what' to measure ($known)" >&2; exit 2; }
done

mkdir -p build-figures
# measure FILE COMMAND...: the command's "name value" lines into build-figures/FILE, kept only
# when the command succeeds.
measure() {
    local file=$1
    shift
    echo "== $*" >&2
    "$@" >"build-figures/$file.new" || { rm -f "build-figures/$file.new"; exit 1; }
    mv "build-figures/$file.new" "build-figures/$file"
}
host_build() { (cmake --preset default && cmake --build --preset default) >&2; }

source scripts/boards.sh
for what in "${wanted[@]}"; do
    case $what in
    footprint) host_build; measure footprint.txt bash scripts/footprint.sh ;;
    linked)
        host_build
        for board in $(boards_with linked-images); do
            measure "linked-size-$board.txt" bash scripts/linked-size.sh "$board"
        done ;;
    cost) host_build; measure cost.txt bash scripts/cost.sh ;;
    target-cost)
        host_build
        for board in $(boards_with cost-probe); do
            measure "target-cost-$board.txt" bash scripts/target-cost.sh "$board"
        done ;;
    rigctld) host_build; measure rigctld.txt bash scripts/rigctld-figures.sh ;;
    station-cpu) host_build; measure station-cpu.txt bash scripts/station-cpu.sh --check ;;
    package) measure package.txt bash scripts/package.sh --check ;;
    churn) host_build; measure rigctld-churn.txt bash scripts/rigctld-churn.sh --check ;;
    robustness)
        # The fault-injection test leaves its figures; the rest are the robustness steps'.
        host_build
        ctest --preset default -R '^FaultInjection[.]' >&2
        bash scripts/ci-robustness.sh >&2 ;;
    mutation) python3 scripts/mutation.py >&2 ;;
    esac
done
python3 scripts/render-docs.py
