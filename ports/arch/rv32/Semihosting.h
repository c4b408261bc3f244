#pragma once

/* A call to the debugger or emulator that runs the program (RISC-V semihosting): the operation
   in a0, its argument in a1, the result back in a0. The call is these three instructions,
   uncompressed and in one page, by which the host tells it from a breakpoint. QEMU answers it
   when started with -semihosting-config enable=on. */

#include <stdint.h>

#include "SemihostingCodes.h"

static inline uintptr_t semihostingCall(uint32_t operation, const void* argument) {
    register uintptr_t a0 __asm__("a0") = operation;
    register const void* a1 __asm__("a1") = argument;
    __asm__ volatile(
        ".option push\n"
        ".option norvc\n"
        ".balign 16\n"
        "slli zero, zero, 0x1f\n"
        "ebreak\n"
        "srai zero, zero, 7\n"
        ".option pop"
        : "+r"(a0)
        : "r"(a1)
        : "memory");
    return a0;
}
