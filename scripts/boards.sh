# The table of boards (ports/boards/boards.txt) and the facts of each board and architecture,
# for the scripts; CMake reads the same files through cmake/Boards.cmake. Source it:
#   boards_with PROGRAM        the boards whose row names PROGRAM (linked-images, cost-probe...)
#   board_target BOARD         the target the board's figures are named by
#   board_value BOARD NAME     NAME=value on the board's row, or nothing
#   board_fact BOARD NAME      the value of NAME in the board's board.txt, or nothing
#   arch_fact BOARD NAME       the same in its architecture's arch.txt
#   board_build BOARD          the board's build directory, which the host build makes
#   idle_update_bound          the bound of an idle update(), in instructions
ports=$(cd "$(dirname "${BASH_SOURCE[0]}")/../ports" && pwd)
board_table=$ports/boards/boards.txt

board_row() {
    awk -v board="$1" '$1 == "board" && $2 == board { $1 = ""; print; found = 1 }
        END { exit !found }' "$board_table" ||
        { echo "no board '$1' in ports/boards/boards.txt" >&2; return 2; }
}

boards_with() {
    awk -v program="$1" '$1 == "board" {
            for (i = 4; i <= NF; i++) if ($i == program || index($i, program "=") == 1) print $2
        }' "$board_table"
}

board_target() { board_row "$1" | awk '{ print $2 }'; }

board_value() {
    board_row "$1" | awk -v name="$2" '{
            for (i = 3; i <= NF; i++) if (index($i, name "=") == 1) print substr($i, length(name) + 2)
        }'
}

# The value of NAME in a "name value" file.
fact() {
    awk -v name="$2" '$1 == name { sub(/^[^ \t]+[ \t]*/, ""); print; exit }' "$1"
}

board_fact() {
    board_row "$1" >/dev/null || return 2
    fact "$ports/boards/$1/board.txt" "$2"
}

arch_fact() {
    local arch
    arch=$(board_fact "$1" arch) || return 2
    fact "$ports/arch/$arch/arch.txt" "$2"
}

board_build() { echo "$(dirname "$ports")/build/boards/$1"; }

idle_update_bound() {
    awk '$1 == "bound" && $2 == "idle-update-instructions" { print $3 }' "$board_table"
}
