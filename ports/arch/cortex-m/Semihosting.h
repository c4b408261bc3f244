#pragma once

/* A call to the debugger or emulator that runs the program (Arm semihosting): the operation in
   r0, its argument in r1, the result back in r0. QEMU answers it when started with
   -semihosting-config enable=on. */

#include <stdint.h>

#include "SemihostingCodes.h"

static inline uintptr_t semihostingCall(uint32_t operation, const void* argument) {
    register uint32_t r0 __asm__("r0") = operation;
    register const void* r1 __asm__("r1") = argument;
    __asm__ volatile("bkpt 0xab" : "+r"(r0) : "r"(r1) : "memory");
    return r0;
}
