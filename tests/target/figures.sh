# What the measuring tests share: run the script that measures, keep its figures, read them.
# Source it with the file to keep the figures in and the command that measures:
#   source figures.sh FIGURES-FILE COMMAND...
# It runs the command, fails the test if the command fails, keeps its output in FIGURES-FILE
# and prints it. Then:
#   figure NAME         the figure's value ("" if the command printed none)
#   fail TEXT...        reports a broken bound; the test fails at its end (finish)
#   finish PASS-LINE    exits 1 after any failure, else prints the PASS line
set -uo pipefail
figures_file=$1
shift
mkdir -p "$(dirname "$figures_file")"
if ! "$@" >"$figures_file.new"; then
    cat "$figures_file.new"
    rm -f "$figures_file.new"
    echo "FAIL: the measuring command failed: $*"
    exit 1
fi
mv "$figures_file.new" "$figures_file"
cat "$figures_file"

figure() { awk -v name="$1" '$1 == name { sub(/^[^ ]+ ?/, ""); value = $0 } END { print value }' \
    "$figures_file"; }

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

finish() {
    [ "$failures" -eq 0 ] || exit 1
    echo "PASS: $*"
}
