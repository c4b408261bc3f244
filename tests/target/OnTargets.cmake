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

# What is missing, each with the Debian package that brings it.
set(missing)
macro(ft847_needs found what)
  if(NOT ${found})
    list(APPEND missing "${what}")
  endif()
endmacro()
ft847_needs(FT847_QEMU_SYSTEM_ARM "qemu-system-arm (Debian: qemu-system-arm)")
ft847_needs(FT847_QEMU_SYSTEM_RISCV32 "qemu-system-riscv32 (Debian: qemu-system-misc)")
ft847_needs(FT847_ARM_GXX "arm-none-eabi-g++ (Debian: gcc-arm-none-eabi)")
ft847_needs(arm_newlib "newlib for arm-none-eabi (Debian: libnewlib-arm-none-eabi)")
ft847_needs(arm_cxx_library
  "libstdc++ for arm-none-eabi (Debian: libstdc++-arm-none-eabi-newlib)")
ft847_needs(FT847_RISCV_GXX "riscv64-unknown-elf-g++ (Debian: gcc-riscv64-unknown-elf)")
ft847_needs(riscv_picolibc
  "picolibc for riscv64-unknown-elf (Debian: picolibc-riscv64-unknown-elf)")

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

# The README's main loop as a firmware and the update() cost probe, each on a board's own UART
# and clock: cross builds of this project with a toolchain file of cmake/, against the board
# declarations of ports/cortex-m4 (in build/targets/firmware-<target>):
#
#   firmware_in_the_loop_<target>  the main loop against ft847-emulator    cortex-m4f, rv32imac
#                                  (ports/mps2-an386, ports/riscv-virt)
#   update_cost_probe_<target>     instructions per update(), exactly      all three targets
#                                  (tools/cost/target)
#
# Under -icount with align=on, QEMU counts time by instructions, 32 ns each, kept in step with
# the host's clock, and delivers every SysTick interrupt; without it a busy host makes it merge
# some, and the firmware's clock runs slow. The RISC-V machine timer catches up by itself.

# ft847_add_cross_build(TARGET TOOLCHAIN IMAGES...): the cross build with cmake/TOOLCHAIN.cmake,
# making the named images.
function(ft847_add_cross_build target toolchain)
  set(dir ${CMAKE_BINARY_DIR}/targets/firmware-${target})
  set(build_targets)
  foreach(image IN LISTS ARGN)
    list(APPEND build_targets --target ${image})
  endforeach()
  ExternalProject_Add(ft847_firmware_${target}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${dir}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/${toolchain}.cmake
               -DCMAKE_BUILD_TYPE=MinSizeRel
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${dir} ${build_targets}
    BUILD_ALWAYS TRUE
    INSTALL_COMMAND "")
endfunction()

# ft847_add_firmware_test(TARGET BOARD CONSOLE QEMU ARGS...): the firmware of ports/BOARD under
# QEMU ARGS..., its console on CONSOLE.
function(ft847_add_firmware_test target board console)
  if(NOT TARGET ft847-emulator)
    return()
  endif()
  add_test(NAME firmware_in_the_loop_${target}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/firmware_in_the_loop_test.sh
            $<TARGET_FILE:ft847-emulator> ${console} ${ARGN}
            -kernel ${CMAKE_BINARY_DIR}/targets/firmware-${target}/ports/${board}/main-loop-${board}.elf)
  set_tests_properties(firmware_in_the_loop_${target} PROPERTIES LABELS target TIMEOUT 60)
endfunction()

# ft847_add_cost_test(TARGET IDLE_BOUND|- QEMU ARGS...): the cost probe under QEMU ARGS...
function(ft847_add_cost_test target bound)
  add_test(NAME update_cost_probe_${target}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/target/update_cost_test.sh ${bound} ${ARGN}
            -kernel ${CMAKE_BINARY_DIR}/targets/firmware-${target}/tools/cost/target/update-cost.elf)
  set_tests_properties(update_cost_probe_${target} PROPERTIES LABELS target TIMEOUT 60)
endfunction()

if(arm_ready)
  ft847_add_cross_build(cortex-m4f arm-none-eabi-cortex-m4 main-loop-mps2-an386 update-cost)
  ft847_add_firmware_test(cortex-m4f mps2-an386 uart
    ${FT847_QEMU_SYSTEM_ARM} -M mps2-an386 -icount shift=5,align=on)
  ft847_add_cost_test(cortex-m4f 20 ${FT847_QEMU_SYSTEM_ARM} -M mps2-an386 -icount shift=10)
  ft847_add_cross_build(cortex-m0p arm-none-eabi-cortex-m0plus update-cost)
  ft847_add_cost_test(cortex-m0p - ${FT847_QEMU_SYSTEM_ARM} -M mps2-an385 -icount shift=10)
endif()
if(riscv_ready)
  ft847_add_cross_build(rv32imac riscv32-imac-picolibc main-loop-riscv-virt update-cost)
  ft847_add_firmware_test(rv32imac riscv-virt semihosting
    ${FT847_QEMU_SYSTEM_RISCV32} -M virt -bios none)
  ft847_add_cost_test(rv32imac - ${FT847_QEMU_SYSTEM_RISCV32} -M virt -bios none -icount shift=0)
endif()
