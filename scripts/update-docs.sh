#!/usr/bin/env bash
# Measures, then rewrites the figures in README.md and docs/. Every measuring script prints its
# figures as "name value" lines; they are kept in build-figures/, and scripts/render-docs.py,
# the one writer of the pages' figures, renders every block from them.
#
# Usage: scripts/update-docs.sh [WHAT...]
#   footprint     the driver object for the Cortex-M4 (scripts/target-build.sh, footprint.sh)
#   linked        linked firmware images on three targets (scripts/linked-size.sh)
#   cost          instructions per update() under callgrind (scripts/cost.sh)
#   rigctld       the tracker interface's figures (scripts/rigctld-figures.sh)
#   station-cpu   the Linux programs' idle CPU (scripts/station-cpu.sh, 60 s)
#   robustness    CI's robustness steps (scripts/ci-robustness.sh; many minutes)
#   mutation      a full mutation check (scripts/mutation.py; several minutes)
# Without WHAT: footprint, linked, cost, rigctld and station-cpu. rigctld and station-cpu run
# the default preset's build (build/), which they build first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
known="footprint linked cost rigctld station-cpu robustness mutation"
wanted=("$@")
[ ${#wanted[@]} -gt 0 ] || wanted=(footprint linked cost rigctld station-cpu)
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

for what in "${wanted[@]}"; do
    case $what in
    footprint)
        bash scripts/target-build.sh >&2
        measure footprint.txt bash scripts/footprint.sh build-arm ;;
    linked) measure linked-size.txt bash scripts/linked-size.sh --check ;;
    cost) measure cost.txt bash scripts/cost.sh --check ;;
    rigctld) host_build; measure rigctld.txt bash scripts/rigctld-figures.sh ;;
    station-cpu) host_build; measure station-cpu.txt bash scripts/station-cpu.sh --check ;;
    robustness) host_build; bash scripts/ci-robustness.sh >&2 ;;
    mutation) python3 scripts/mutation.py >&2 ;;
    esac
done
python3 scripts/render-docs.py
