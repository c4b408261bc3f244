# The tests on the emulated boards, run from the host build: `ctest -L target`. For each target
# whose QEMU and cross toolchain are installed, the build configures and builds the target's
# qemu-* preset in build/targets/<target> (ExternalProject), and CTest runs its programs under
# QEMU (cmake/QemuBoards.cmake), next to the scenario built straight from its sources by
# scripts/scenario-on-target.sh:
#
#   scenario_on_<target>         the PASS line, exactly               all three targets
#   codec_checks_on_<target>     frequency and tone codec checks      all three targets
#   fault_sequences_on_<target>  seeded fault sequences, invariant    cortex-m4f, cortex-m0p
#                                checker (needs the C++ library,
#                                which Debian's RV32 toolchain lacks)
#
# Without the tools configuring says once which are missing; the other tests are unaffected.
# The sanitizer, coverage and fuzz builds turn them off (FT847_TARGET_TESTS): the boards' runs
# would be the default build's again.

option(FT847_TARGET_TESTS "Build and run the tests on the emulated boards (ctest -L target)" ON)
if(NOT FT847_TARGET_TESTS)
  return()
endif()

include(ExternalProject)
include(${PROJECT_SOURCE_DIR}/cmake/QemuBoards.cmake)

# A file the cross compiler finds, or nothing: -print-file-name echoes unknown names.
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

find_program(FT847_QEMU_SYSTEM_ARM qemu-system-arm)
find_program(FT847_QEMU_SYSTEM_RISCV32 qemu-system-riscv32)
find_program(FT847_ARM_GXX arm-none-eabi-g++)
find_program(FT847_RISCV_GXX riscv64-unknown-elf-g++)
ft847_compiler_has_file(arm_newlib "${FT847_ARM_GXX}" rdimon.specs)
ft847_compiler_has_file(arm_cxx_library "${FT847_ARM_GXX}" libstdc++.a)
ft847_compiler_has_file(riscv_picolibc "${FT847_RISCV_GXX}" picolibc.specs)

set(missing)
if(NOT FT847_QEMU_SYSTEM_ARM)
  list(APPEND missing "qemu-system-arm (Debian: qemu-system-arm)")
endif()
if(NOT FT847_QEMU_SYSTEM_RISCV32)
  list(APPEND missing "qemu-system-riscv32 (Debian: qemu-system-misc)")
endif()
if(NOT FT847_ARM_GXX)
  list(APPEND missing "arm-none-eabi-g++ (Debian: gcc-arm-none-eabi)")
endif()
if(NOT arm_newlib)
  list(APPEND missing "newlib for arm-none-eabi (Debian: libnewlib-arm-none-eabi)")
endif()
if(NOT arm_cxx_library)
  list(APPEND missing "libstdc++ for arm-none-eabi (Debian: libstdc++-arm-none-eabi-newlib)")
endif()
if(NOT FT847_RISCV_GXX)
  list(APPEND missing "riscv64-unknown-elf-g++ (Debian: gcc-riscv64-unknown-elf)")
endif()
if(NOT riscv_picolibc)
  list(APPEND missing "picolibc for riscv64-unknown-elf (Debian: picolibc-riscv64-unknown-elf)")
endif()

set(arm_ready FALSE)
if(FT847_QEMU_SYSTEM_ARM AND FT847_ARM_GXX AND arm_newlib AND arm_cxx_library)
  set(arm_ready TRUE)
endif()
set(riscv_ready FALSE)
if(FT847_QEMU_SYSTEM_RISCV32 AND FT847_RISCV_GXX AND riscv_picolibc)
  set(riscv_ready TRUE)
endif()
if(missing)
  list(JOIN missing "\n  " listed)
  set(which "No target tests are built")
  if(arm_ready)
    set(which "The RV32IMAC target tests are not built")
  elseif(riscv_ready)
    set(which "The Cortex-M4F and Cortex-M0+ target tests are not built")
  endif()
  message(WARNING "${which} (ctest -L target): QEMU or a cross toolchain is missing:\n  "
                  "${listed}")
endif()

set(PASS_LINE "PASS: powered-off startup, bounded retry, late power-on, power cycle, cache reset, packet spacing, timer wrap and UART failure")
foreach(target IN LISTS FT847_QEMU_TARGETS)
  if(target STREQUAL "cortex-m4f")
    set(preset qemu-cortex-m4f)
    set(ready ${arm_ready})
  elseif(target STREQUAL "cortex-m0p")
    set(preset qemu-cortex-m0plus)
    set(ready ${arm_ready})
  else()
    set(preset qemu-rv32imac)
    set(ready ${riscv_ready})
  endif()
  if(NOT ready)
    continue()
  endif()

  set(binary ${CMAKE_BINARY_DIR}/targets/${target})
  ExternalProject_Add(ft847_on_${target}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${binary}
    CONFIGURE_COMMAND ${CMAKE_COMMAND} --preset ${preset} -S <SOURCE_DIR> -B <BINARY_DIR>
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD ON)
  ft847_qemu_command(qemu ${target})

  add_test(NAME scenario_on_${target}
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/scenario-on-target.sh ${target}
            ${CMAKE_BINARY_DIR}/targets/scenario-${target})
  set_tests_properties(scenario_on_${target} PROPERTIES
    PASS_REGULAR_EXPRESSION "^${PASS_LINE}\n$" TIMEOUT 120)

  add_test(NAME codec_checks_on_${target}
    COMMAND ${qemu} ${binary}/tests/target/ft847_codec_checks.elf)
  set_tests_properties(codec_checks_on_${target} PROPERTIES
    PASS_REGULAR_EXPRESSION "^PASS: [0-9]+ codec checks\n$" TIMEOUT 120)

  set(tests scenario_on_${target} codec_checks_on_${target})
  if(NOT target STREQUAL "rv32imac")
    add_test(NAME fault_sequences_on_${target}
      COMMAND ${qemu} ${binary}/tests/target/ft847_fault_sequences.elf)
    set_tests_properties(fault_sequences_on_${target} PROPERTIES
      PASS_REGULAR_EXPRESSION "(^|\n)PASS: [0-9]+ fault sequences" TIMEOUT 300)
    list(APPEND tests fault_sequences_on_${target})
  endif()
  set_tests_properties(${tests} PROPERTIES LABELS target)
endforeach()
