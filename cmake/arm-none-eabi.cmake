# What every arm-none-eabi toolchain file of this project shares: Debian's gcc-arm-none-eabi and
# libstdc++-arm-none-eabi-newlib, bare metal. The including file sets FT847_CPU_FLAGS first.

set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER arm-none-eabi-gcc)
set(CMAKE_CXX_COMPILER arm-none-eabi-g++)
set(CMAKE_ASM_COMPILER arm-none-eabi-gcc)
set(CMAKE_AR arm-none-eabi-ar CACHE FILEPATH "")
set(CMAKE_RANLIB arm-none-eabi-ranlib CACHE FILEPATH "")
set(CMAKE_SIZE arm-none-eabi-size CACHE FILEPATH "")
set(CMAKE_NM arm-none-eabi-nm CACHE FILEPATH "")
set(CMAKE_LINKER arm-none-eabi-ld CACHE FILEPATH "")

# Without a board's linker script and start-up code nothing links, so the compiler checks
# build a static library instead of a program.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# Firmware-wide: no exception or RTTI machinery, and one section per function and object so
# that a linker run with --gc-sections drops whatever the firmware does not call.
set(CMAKE_C_FLAGS_INIT "${FT847_CPU_FLAGS} -ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT
    "${FT847_CPU_FLAGS} -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
