# The table of boards, ports/boards/boards.txt, and the facts of each board and architecture,
# for CMake: the host build, a board's build and the toolchain file of every board read them
# here. The files are "name value" lines, as the figure files are, so that the scripts and
# scripts/render-docs.py read them as easily.
#
#   ft847_boards(<variable>)          the boards of the table, in its order
#   ft847_idle_update_bound(<variable>)  the bound of an idle update(), in instructions
#   ft847_board(<board>)              sets, in the caller's scope:
#     FT847_BOARD_TARGET              the target of the board's row (cortex-m4f, ...)
#     FT847_BOARD_PROGRAMS            what the row builds and runs (linked-images, ...)
#     FT847_BOARD_<NAME>              each NAME=value of the row (FLASH_BOUND, ...), and each
#                                     line of ports/boards/<board>/board.txt (CPU_FLAGS, ...)
#     FT847_BOARD_DIR                 ports/boards/<board>
#     FT847_ARCH_<NAME>               each line of ports/arch/<arch>/arch.txt (PREFIX, ...)
#     FT847_ARCH_DIR                  ports/arch/<arch>
# A name's dashes become underscores and its letters capitals: cpu-flags is CPU_FLAGS. A name
# given on several lines collects their values as a list.

get_filename_component(FT847_PORTS_DIR ${CMAKE_CURRENT_LIST_DIR}/../ports ABSOLUTE)
set(FT847_BOARD_TABLE ${FT847_PORTS_DIR}/boards/boards.txt)

# ft847_read_facts(<prefix> <file>): each "name value" line as <prefix>_<NAME>.
macro(ft847_read_facts prefix file)
  file(STRINGS ${file} _ft847_lines REGEX "^[a-z]")
  foreach(_ft847_pass clear collect)
    foreach(_ft847_line IN LISTS _ft847_lines)
      string(REGEX MATCH "^([a-z0-9-]+)[ \t]*(.*)$" _ft847_match "${_ft847_line}")
      string(TOUPPER "${CMAKE_MATCH_1}" _ft847_name)
      string(REPLACE "-" "_" _ft847_name "${_ft847_name}")
      string(STRIP "${CMAKE_MATCH_2}" _ft847_value)
      if(_ft847_pass STREQUAL "clear")
        set(${prefix}_${_ft847_name})
      else()
        list(APPEND ${prefix}_${_ft847_name} "${_ft847_value}")
      endif()
    endforeach()
  endforeach()
endmacro()

# The table's lines of one kind ("board" or "bound"), each as a list of its words.
function(ft847_table_lines variable kind)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${FT847_BOARD_TABLE})
  file(STRINGS ${FT847_BOARD_TABLE} lines REGEX "^${kind}[ \t]")
  set(${variable} ${lines} PARENT_SCOPE)
endfunction()

function(ft847_boards variable)
  ft847_table_lines(rows board)
  set(boards)
  foreach(row IN LISTS rows)
    string(REGEX MATCH "^board[ \t]+([^ \t]+)" _ "${row}")
    list(APPEND boards ${CMAKE_MATCH_1})
  endforeach()
  set(${variable} ${boards} PARENT_SCOPE)
endfunction()

function(ft847_idle_update_bound variable)
  ft847_table_lines(bounds bound)
  foreach(line IN LISTS bounds)
    if(line MATCHES "^bound[ \t]+idle-update-instructions[ \t]+([0-9]+)")
      set(${variable} ${CMAKE_MATCH_1} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "${FT847_BOARD_TABLE}: no line 'bound idle-update-instructions N'")
endfunction()

macro(ft847_board board)
  ft847_boards(_ft847_boards)
  if(NOT "${board}" IN_LIST _ft847_boards)
    list(JOIN _ft847_boards ", " _ft847_boards)
    message(FATAL_ERROR "No board '${board}' in ports/boards/boards.txt (${_ft847_boards})")
  endif()
  ft847_table_lines(_ft847_rows board)
  foreach(_ft847_row IN LISTS _ft847_rows)
    string(REGEX REPLACE "[ \t]+" ";" _ft847_words "${_ft847_row}")
    list(GET _ft847_words 1 _ft847_name)
    if(_ft847_name STREQUAL "${board}")
      list(GET _ft847_words 2 FT847_BOARD_TARGET)
      list(SUBLIST _ft847_words 3 -1 _ft847_words)
      set(FT847_BOARD_PROGRAMS)
      foreach(_ft847_word IN LISTS _ft847_words)
        if(_ft847_word MATCHES "^([a-z0-9-]+)=(.*)$")
          string(TOUPPER "${CMAKE_MATCH_1}" _ft847_name)
          string(REPLACE "-" "_" _ft847_name "${_ft847_name}")
          set(FT847_BOARD_${_ft847_name} "${CMAKE_MATCH_2}")
        else()
          list(APPEND FT847_BOARD_PROGRAMS ${_ft847_word})
        endif()
      endforeach()
    endif()
  endforeach()
  set(FT847_BOARD_DIR ${FT847_PORTS_DIR}/boards/${board})
  ft847_read_facts(FT847_BOARD ${FT847_BOARD_DIR}/board.txt)
  set(FT847_ARCH_DIR ${FT847_PORTS_DIR}/arch/${FT847_BOARD_ARCH})
  ft847_read_facts(FT847_ARCH ${FT847_ARCH_DIR}/arch.txt)
  # A change of the table (ft847_table_lines) or of the facts configures the build again.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${FT847_BOARD_DIR}/board.txt
               ${FT847_ARCH_DIR}/arch.txt)
endmacro()
