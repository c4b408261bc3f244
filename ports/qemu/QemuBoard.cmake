# A cross build for an emulated board (the qemu-* presets set FT847_QEMU_TARGET): programs that
# run under QEMU with semihosting, built with the target's toolchain file from cmake/ and the
# flags of the linked-size images (-Os, one section per function and object, no exceptions or
# RTTI). Included by the root CMakeLists.txt; defines ft847_add_target_program().
#
#   ARM (mps2-an385, mps2-an386): newlib-nano with rdimon (semihosting) and its start-up code,
#     CortexMVectors.c (vector table, FPU enable) and mps2.ld (the boards' memory map).
#   RV32 (virt): picolibc's semihosting and its start-up code (crt0-semihost) and linker script,
#     placed at the start of RAM, where the board's reset vector jumps without firmware.
#     Debian's riscv64-unknown-elf toolchain has no C++ library: only programs that need none
#     build here.
#
# add_test() of such a program runs it under QEMU (CMAKE_CROSSCOMPILING_EMULATOR), so that
# `ctest --preset <the qemu-* preset>` runs the board's tests.

include(${PROJECT_SOURCE_DIR}/cmake/QemuBoards.cmake)
ft847_qemu_command(CMAKE_CROSSCOMPILING_EMULATOR ${FT847_QEMU_TARGET})
set(CMAKE_EXECUTABLE_SUFFIX .elf)
enable_language(C)

set(FT847_QEMU_DIR ${CMAKE_CURRENT_LIST_DIR})
if(FT847_QEMU_TARGET MATCHES "^cortex-m")
  set(FT847_QEMU_BOARD_SOURCES ${FT847_QEMU_DIR}/CortexMVectors.c)
  # Floating-point printf for the fault harness's reports.
  set(FT847_QEMU_LINK_OPTIONS --specs=nano.specs --specs=rdimon.specs -u _printf_float
      -T${FT847_QEMU_DIR}/mps2.ld -Wl,--gc-sections)
  set(FT847_QEMU_LINK_DEPENDS ${FT847_QEMU_DIR}/mps2.ld)
  set(FT847_TARGET_HAS_CXX_LIBRARY ON)
elseif(FT847_QEMU_TARGET STREQUAL "rv32imac")
  set(FT847_QEMU_BOARD_SOURCES)
  set(FT847_QEMU_LINK_OPTIONS --oslib=semihost --crt0=semihost
      -Wl,--defsym=__flash=0x80000000,--defsym=__flash_size=0x400000
      -Wl,--defsym=__ram=0x80400000,--defsym=__ram_size=0x400000 -Wl,--gc-sections)
  set(FT847_QEMU_LINK_DEPENDS)
  set(FT847_TARGET_HAS_CXX_LIBRARY OFF)
else()
  message(FATAL_ERROR "FT847_QEMU_TARGET '${FT847_QEMU_TARGET}': one of ${FT847_QEMU_TARGETS}")
endif()

# ft847_add_target_program(<name> SOURCES <file>... [LIBRARIES <target>...])
function(ft847_add_target_program name)
  cmake_parse_arguments(PROGRAM "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${PROGRAM_SOURCES} ${FT847_QEMU_BOARD_SOURCES})
  target_link_libraries(${name} PRIVATE ${PROGRAM_LIBRARIES})
  target_compile_options(${name} PRIVATE ${FT847_WARNINGS} -Os)
  target_link_options(${name} PRIVATE ${FT847_QEMU_LINK_OPTIONS})
  if(FT847_QEMU_LINK_DEPENDS)
    set_target_properties(${name} PROPERTIES LINK_DEPENDS ${FT847_QEMU_LINK_DEPENDS})
  endif()
endfunction()
