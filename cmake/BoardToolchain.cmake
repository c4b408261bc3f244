# The toolchain of any board of ports/boards/boards.txt, named by FT847_BOARD (the board preset
# takes it from the environment: FT847_BOARD=microbit cmake --preset board). The board's
# architecture names the cross compiler and its C library (ports/arch/<arch>/arch.txt), the
# board its CPU flags (ports/boards/<board>/board.txt).

include(${CMAKE_CURRENT_LIST_DIR}/Boards.cmake)
if(NOT FT847_BOARD)
  ft847_boards(boards)
  list(JOIN boards ", " boards)
  message(FATAL_ERROR "Name the board: FT847_BOARD=<board> cmake --preset board (${boards})")
endif()
ft847_board(${FT847_BOARD})
# The compiler checks read this file again in a project of their own.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES FT847_BOARD)

set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR ${FT847_ARCH_SYSTEM_PROCESSOR})

set(prefix ${FT847_ARCH_PREFIX})
set(CMAKE_C_COMPILER ${prefix}gcc)
set(CMAKE_CXX_COMPILER ${prefix}g++)
set(CMAKE_ASM_COMPILER ${prefix}gcc)
set(CMAKE_AR ${prefix}ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${prefix}ranlib CACHE FILEPATH "")
set(CMAKE_NM ${prefix}nm CACHE FILEPATH "")
set(CMAKE_LINKER ${prefix}ld CACHE FILEPATH "")

# Without a board's start-up code and memory map nothing links, so the compiler checks build a
# static library instead of a program.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# Firmware-wide: no exception or RTTI machinery, and one section per function and object so
# that a linker run with --gc-sections drops whatever the firmware does not call.
string(JOIN " " flags ${FT847_BOARD_CPU_FLAGS} ${FT847_ARCH_COMPILE_FLAGS})
set(CMAKE_C_FLAGS_INIT "${flags} -ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "${flags} -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections")

# A toolchain without a C++ library links C++ programs with the C driver, which does not ask
# for -lstdc++; a firmware that uses no part of it needs none.
if(FT847_ARCH_CXX_LIBRARY STREQUAL "no")
  set(CMAKE_CXX_LINK_EXECUTABLE "${prefix}gcc <FLAGS> <CMAKE_CXX_LINK_FLAGS> <LINK_FLAGS> \
<OBJECTS> -o <TARGET> <LINK_LIBRARIES>")
endif()

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
