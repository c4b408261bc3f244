# The emulated boards that the target tests run on, one per processor the driver ships for, and
# the QEMU command that runs a program on each. The program talks to the host by semihosting:
# its standard output and its exit status come out of QEMU.
#
#   target       board                                          configure preset
#   cortex-m4f   qemu-system-arm -M mps2-an386 (Cortex-M4, FPU)  qemu-cortex-m4f
#   cortex-m0p   qemu-system-arm -M mps2-an385 (a Cortex-M3,     qemu-cortex-m0plus
#                which runs the ARMv6-M code of a Cortex-M0+)
#   rv32imac     qemu-system-riscv32 -M virt -bios none          qemu-rv32imac
#
# Debian packages: qemu-system-arm, qemu-system-misc (RISC-V).

set(FT847_QEMU_TARGETS cortex-m4f cortex-m0p rv32imac)

# ft847_qemu_command(<variable> <target>)
#   Sets <variable> to the command as a list, ending in -kernel: append the program's ELF file.
#   The board's first UART goes nowhere; no display, no monitor.
function(ft847_qemu_command variable target)
  if(target STREQUAL "cortex-m4f")
    set(machine qemu-system-arm -M mps2-an386)
  elseif(target STREQUAL "cortex-m0p")
    set(machine qemu-system-arm -M mps2-an385)
  elseif(target STREQUAL "rv32imac")
    set(machine qemu-system-riscv32 -M virt -bios none)
  else()
    message(FATAL_ERROR "ft847_qemu_command: unknown target '${target}' "
                        "(${FT847_QEMU_TARGETS})")
  endif()
  set(${variable} ${machine} -display none -monitor none -serial none
      -semihosting-config enable=on,target=native -kernel PARENT_SCOPE)
endfunction()
