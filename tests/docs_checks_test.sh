#!/usr/bin/env bash
# The checks of the README and docs/ fail when they should: on a copy of the pages, a link to a
# missing file, a link to a missing heading, an oversized front page, a hand-edited example and a
# block that nobody writes are each reported.
#   docs_checks_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fresh_copy() {
    rm -rf "$work/tree"
    mkdir -p "$work/tree/scripts" "$work/tree/examples"
    cp -r "$source_dir/README.md" "$source_dir/LICENSE" "$source_dir/docs" "$work/tree/"
    cp "$source_dir/scripts/check-docs.py" "$source_dir/scripts/render-docs.py" "$work/tree/scripts/"
    cp "$source_dir/examples/MainLoop.cpp" "$work/tree/examples/"
}
# expect_failure WHAT TEXT COMMAND...: the command exits 1 and says TEXT.
expect_failure() {
    local what=$1 text=$2 status=0
    shift 2
    "$@" >"$work/out" 2>&1 || status=$?
    [ "$status" -eq 1 ] || { echo "FAIL: $what: status $status"; cat "$work/out"; exit 1; }
    grep -q -F -- "$text" "$work/out" || { echo "FAIL: $what: no '$text'"; cat "$work/out"; exit 1; }
}

fresh_copy
python3 "$work/tree/scripts/check-docs.py" "$work/tree" >/dev/null ||
    { echo "FAIL: the copy of the pages does not pass as it is"; exit 1; }
python3 "$work/tree/scripts/render-docs.py" --check main-loop >/dev/null ||
    { echo "FAIL: the copy's main loop does not pass as it is"; exit 1; }

echo 'See [the design](design.md#no-such-heading) and [a page](nowhere.md).' >>"$work/tree/docs/porting.md"
expect_failure "missing heading" 'design.md#no-such-heading: no heading' \
    python3 "$work/tree/scripts/check-docs.py" "$work/tree"
grep -q -F 'nowhere.md: no such file' "$work/out" || { echo "FAIL: missing file not named"; exit 1; }

fresh_copy
head -c 10001 /dev/zero | tr '\0' 'x' >>"$work/tree/README.md"
expect_failure "oversized README" 'more than a front page' \
    python3 "$work/tree/scripts/check-docs.py" "$work/tree"

fresh_copy
sed -i 's/radio.update();/radio.update();  \/\/ edited by hand/' "$work/tree/README.md"
expect_failure "hand-edited example" 'README.md: main-loop differ' \
    python3 "$work/tree/scripts/render-docs.py" --check main-loop

fresh_copy
printf '<!-- figures:typed-by-hand begin -->\n42\n<!-- figures:typed-by-hand end -->\n' \
    >>"$work/tree/docs/design.md"
status=0
python3 "$work/tree/scripts/render-docs.py" --check main-loop >"$work/out" 2>&1 || status=$?
[ "$status" -eq 2 ] && grep -q 'typed-by-hand' "$work/out" ||
    { echo "FAIL: a block nobody writes was not reported"; cat "$work/out"; exit 1; }
echo "PASS: broken links, an oversized front page, a hand-edited example and an unknown block are reported"
