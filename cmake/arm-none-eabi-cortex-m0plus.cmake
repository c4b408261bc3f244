# Cross toolchain for a Cortex-M0+ (ARMv6-M: thumb, no FPU, no hardware divider), using the same
# Debian packages as the Cortex-M4 file: gcc-arm-none-eabi and libstdc++-arm-none-eabi-newlib.
#
#   cmake --preset cortex-m0plus

set(FT847_CPU_FLAGS "-mcpu=cortex-m0plus -mthumb -mfloat-abi=soft")
include(${CMAKE_CURRENT_LIST_DIR}/arm-none-eabi.cmake)
