# Cross toolchain for a Cortex-M4 with its single-precision FPU (thumb, hard float), using
# Debian's gcc-arm-none-eabi and libstdc++-arm-none-eabi-newlib.
#
#   cmake --preset cortex-m4

set(FT847_CPU_FLAGS "-mcpu=cortex-m4 -mthumb -mfloat-abi=hard -mfpu=fpv4-sp-d16")
include(${CMAKE_CURRENT_LIST_DIR}/arm-none-eabi.cmake)
