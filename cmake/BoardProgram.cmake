# The one way a board's build makes a program, whatever the program and the board (a linked
# image, a test program, the firmware, the cost probe). Included by ports/boards/CMakeLists.txt
# after ft847_board(): the board's facts are in FT847_BOARD_* and FT847_ARCH_*.
#
# ft847_add_board_program(<name> SOURCES <file>... [LIBRARIES <target>...] [SEMIHOSTING]
#                         [BOARD_CODE] [LINK_OPTIONS <option>...])
#   The program's sources, then the architecture's start-up code; linked with the C library,
#   the board's memory map (memory.ld) under the architecture's section layout (sections.ld)
#   and --gc-sections; compiled at -Os with the project's warnings. <name>.elf, with its link
#   map <name>.map beside it.
#   SEMIHOSTING   the program's standard streams and exit status go to the host, as a test
#                 program's do; without it the program runs bare, as a firmware does
#   BOARD_CODE    the board's own UART and clock code (board-sources of its board.txt)
#   LINK_OPTIONS  more options for the link, after the C library's

foreach(kind bare semihosting)
  add_library(ft847_startup_${kind} OBJECT ${FT847_ARCH_DIR}/Startup.c)
  target_include_directories(ft847_startup_${kind} PRIVATE ${FT847_ARCH_DIR}
                             ${PROJECT_SOURCE_DIR}/ports/arch)
  target_compile_options(ft847_startup_${kind} PRIVATE ${FT847_WARNINGS} -Os)
endforeach()
target_compile_definitions(ft847_startup_semihosting PRIVATE FT847_SEMIHOSTING)

set(FT847_BOARD_MEMORY ${FT847_BOARD_DIR}/memory.ld)
set(FT847_ARCH_SECTIONS ${FT847_ARCH_DIR}/sections.ld)

function(ft847_add_board_program name)
  cmake_parse_arguments(PROGRAM "SEMIHOSTING;BOARD_CODE" "" "SOURCES;LIBRARIES;LINK_OPTIONS"
                        ${ARGN})
  if(PROGRAM_SEMIHOSTING)
    set(kind semihosting)
  else()
    set(kind bare)
  endif()
  set(board_sources)
  if(PROGRAM_BOARD_CODE)
    if(NOT FT847_BOARD_BOARD_SOURCES)
      message(FATAL_ERROR "${name}: the board ${FT847_BOARD} has no UART and clock code "
                          "(board-sources in ${FT847_BOARD_DIR}/board.txt)")
    endif()
    separate_arguments(files UNIX_COMMAND "${FT847_BOARD_BOARD_SOURCES}")
    list(TRANSFORM files PREPEND ${FT847_BOARD_DIR}/ OUTPUT_VARIABLE board_sources)
  endif()
  add_executable(${name} ${PROGRAM_SOURCES} ${board_sources}
                 $<TARGET_OBJECTS:ft847_startup_${kind}>)
  set_target_properties(${name} PROPERTIES SUFFIX .elf
    LINK_DEPENDS "${FT847_BOARD_MEMORY};${FT847_ARCH_SECTIONS}")
  target_include_directories(${name} PRIVATE ${FT847_ARCH_DIR} ${PROJECT_SOURCE_DIR}/ports/arch
                             ${FT847_BOARD_DIR} ${PROJECT_SOURCE_DIR}/ports/common)
  target_link_libraries(${name} PRIVATE ${PROGRAM_LIBRARIES})
  target_compile_options(${name} PRIVATE ${FT847_WARNINGS} -Os)
  string(TOUPPER "${kind}" kind)
  separate_arguments(libc UNIX_COMMAND "${FT847_ARCH_LINK_${kind}}")
  # The constructor table (.init_array) is writable by its ELF flags and shares the flash
  # segment with the code; a part without an MMU has nothing to protect there.
  target_link_options(${name} PRIVATE ${libc} ${PROGRAM_LINK_OPTIONS} -nostartfiles
    -T${FT847_BOARD_MEMORY} -T${FT847_ARCH_SECTIONS} -Wl,--gc-sections
    -Wl,--no-warn-rwx-segments -Wl,-Map=${CMAKE_CURRENT_BINARY_DIR}/${name}.map)
endfunction()
