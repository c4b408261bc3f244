#!/usr/bin/env bash
# Measures, then rewrites the figures in README.md and docs/. Every measuring script prints its
# figures as "name value" lines; they are kept in build-figures/, and scripts/render-docs.py,
# the one writer of the pages' figures, renders every block from them.
#
# Usage: scripts/update-docs.sh [WHAT...]
#   footprint     the driver object for the Cortex-M4 (scripts/target-build.sh, footprint.sh)
#   linked        linked firmware images on three targets (scripts/linked-size.sh)
#   cost          instructions per update() under callgrind (scripts/cost.sh)
#   target-cost   instructions per update() on three emulated boards (scripts/target-cost.sh)
#   rigctld       the tracker interface's figures (scripts/rigctld-figures.sh)
#   station-cpu   the Linux programs' idle CPU (scripts/station-cpu.sh, 60 s)
#   package       the Debian package and its unit (scripts/package.sh)
#   churn         the tracker server under five minutes of churn (scripts/rigctld-churn.sh)
#   robustness    CI's robustness steps (scripts/ci-robustness.sh; many minutes)
#   mutation      a full mutation check of the driver and the station (scripts/mutation.py;
#                 many minutes)
# Without WHAT: everything but robustness and mutation. rigctld, station-cpu and churn run the
# default preset's build (build/), which they build first.
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

for what in "${wanted[@]}"; do
    case $what in
    footprint)
        bash scripts/target-build.sh >&2
        measure footprint.txt bash scripts/footprint.sh build-arm ;;
    linked) measure linked-size.txt bash scripts/linked-size.sh --check ;;
    cost) measure cost.txt bash scripts/cost.sh --check ;;
    target-cost) measure target-cost.txt bash scripts/target-cost.sh --check ;;
    rigctld) host_build; measure rigctld.txt bash scripts/rigctld-figures.sh ;;
    station-cpu) host_build; measure station-cpu.txt bash scripts/station-cpu.sh --check ;;
    package) measure package.txt bash scripts/package.sh --check ;;
    churn) host_build; measure rigctld-churn.txt bash scripts/rigctld-churn.sh --check ;;
    robustness) host_build; bash scripts/ci-robustness.sh >&2 ;;
    mutation) python3 scripts/mutation.py >&2 ;;
    esac
done
python3 scripts/render-docs.py
