# The boards of ports/boards/boards.txt, from the host build. For each board whose cross compiler
# and emulator are installed, the build configures and builds the board preset in
# build/boards/<board> (ExternalProject, once), and CTest runs the board's tests and checks with
# the others: `ctest -L target` those on the emulated boards, `-L size` the linked images'
# bounds, `-L object` the driver object's checks, `-L cost` the bound of an idle update().
# Without the tools configuring says once which are missing; the other tests are unaffected.

include(ExternalProject)
include(${PROJECT_SOURCE_DIR}/cmake/Boards.cmake)

# Whether the cross compiler has a file (-print-file-name echoes the names it does not find).
function(ft847_compiler_has_file variable compiler file)
  set(${variable} FALSE PARENT_SCOPE)
  if(compiler)
    execute_process(COMMAND ${compiler} -print-file-name=${file}
      OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(IS_ABSOLUTE "${found}" AND EXISTS "${found}")
      set(${variable} TRUE PARENT_SCOPE)
    endif()
  endif()
endfunction()

# The firmware in the loop talks to the emulator of the radio.
set(emulator_option)
if(TARGET ft847-emulator)
  set(emulator_option -DFT847_EMULATOR=$<TARGET_FILE:ft847-emulator>)
endif()

set(missing)
set(skipped)
ft847_boards(boards)
foreach(board IN LISTS boards)
  ft847_board(${board})
  # What the board needs: its architecture's compiler and libraries, and its emulator.
  set(compiler)
  set(ready TRUE)
  foreach(need IN LISTS FT847_ARCH_NEEDS_PROGRAM)
    separate_arguments(need UNIX_COMMAND "${need}")
    list(GET need 0 program)
    list(GET need 1 package)
    string(MAKE_C_IDENTIFIER "FT847_${program}" variable)
    find_program(${variable} ${program})
    if(NOT ${variable})
      list(APPEND missing "${program} (Debian: ${package})")
      set(ready FALSE)
    else()
      set(compiler ${${variable}})
    endif()
  endforeach()
  foreach(need IN LISTS FT847_ARCH_NEEDS_FILE)
    separate_arguments(need UNIX_COMMAND "${need}")
    list(GET need 0 file)
    list(GET need 1 package)
    ft847_compiler_has_file(found "${compiler}" ${file})
    if(NOT found)
      list(APPEND missing "${file} of ${FT847_ARCH_PREFIX}gcc (Debian: ${package})")
      set(ready FALSE)
    endif()
  endforeach()
  if(FT847_BOARD_EMULATOR)
    separate_arguments(emulator UNIX_COMMAND "${FT847_BOARD_EMULATOR}")
    list(GET emulator 0 program)
    string(MAKE_C_IDENTIFIER "FT847_${program}" variable)
    find_program(${variable} ${program})
    if(NOT ${variable})
      list(APPEND missing "${program} (Debian: ${FT847_BOARD_EMULATOR_PACKAGE})")
      set(ready FALSE)
    endif()
  endif()
  if(NOT ready)
    list(APPEND skipped ${board})
    continue()
  endif()

  set(tree ${CMAKE_BINARY_DIR}/boards/${board})
  ExternalProject_Add(ft847_board_${board}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${tree}
    CONFIGURE_COMMAND ${CMAKE_COMMAND} --preset board -S <SOURCE_DIR> -B <BINARY_DIR>
                      -DFT847_BOARD=${board} ${emulator_option}
                      -DFT847_FIGURES_DIR=${FT847_FIGURES_DIR}
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
  # The board's tests, as its own build defines them.
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/board-${board}.cmake
       "if(EXISTS \"${tree}/CTestTestfile.cmake\")\n  subdirs(\"${tree}\")\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES
               ${CMAKE_CURRENT_BINARY_DIR}/board-${board}.cmake)
endforeach()

if(missing)
  list(REMOVE_DUPLICATES missing)
  list(JOIN missing "\n  " missing)
  list(JOIN skipped ", " skipped)
  message(WARNING "These boards are not built, and their tests do not run: ${skipped}. "
                  "A cross toolchain or an emulator is missing:\n  ${missing}")
endif()
