# Cross toolchain for a small RISC-V part (RV32IMAC, soft float, ILP32) with picolibc, using
# Debian's gcc-riscv64-unknown-elf and picolibc-riscv64-unknown-elf. The compiler is a
# multilib one: -march/-mabi pick the rv32imac/ilp32 libraries.
#
#   cmake --preset rv32imac

set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR riscv32)

set(CMAKE_C_COMPILER riscv64-unknown-elf-gcc)
set(CMAKE_CXX_COMPILER riscv64-unknown-elf-g++)
set(CMAKE_ASM_COMPILER riscv64-unknown-elf-gcc)
set(CMAKE_AR riscv64-unknown-elf-ar CACHE FILEPATH "")
set(CMAKE_RANLIB riscv64-unknown-elf-ranlib CACHE FILEPATH "")
set(CMAKE_SIZE riscv64-unknown-elf-size CACHE FILEPATH "")
set(CMAKE_NM riscv64-unknown-elf-nm CACHE FILEPATH "")
set(CMAKE_LINKER riscv64-unknown-elf-ld CACHE FILEPATH "")

set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# picolibc.specs puts picolibc's headers on the include path and its libraries on the link.
set(FT847_CPU_FLAGS "-march=rv32imac -mabi=ilp32 --specs=picolibc.specs")
set(CMAKE_C_FLAGS_INIT "${FT847_CPU_FLAGS} -ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT
    "${FT847_CPU_FLAGS} -fno-exceptions -fno-rtti -ffunction-sections -fdata-sections")

# Debian's riscv64-unknown-elf toolchain has no libstdc++, and a firmware that uses no part of
# it needs none: C++ programs are linked by the C driver, which does not ask for -lstdc++.
set(CMAKE_CXX_LINK_EXECUTABLE
    "riscv64-unknown-elf-gcc <FLAGS> <CMAKE_CXX_LINK_FLAGS> <LINK_FLAGS> <OBJECTS> -o <TARGET> <LINK_LIBRARIES>")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
