#pragma once

/* A call to the debugger or emulator that runs the program (Arm semihosting): the operation in
   r0, its argument in r1, the result back in r0. QEMU answers it when started with
   -semihosting-config enable=on. */

#include <stdint.h>

enum {
    kSemihostingWriteText = 0x04, /* SYS_WRITE0: a text up to its terminating zero */
    kSemihostingExit = 0x18       /* SYS_EXIT: the argument is the reason */
};

/* SYS_EXIT's reasons: QEMU ends with status 0 for the first, 1 for the second. */
#define kSemihostingApplicationExit 0x20026u
#define kSemihostingRunTimeError 0x20023u

static inline uintptr_t semihostingCall(uint32_t operation, const void* argument) {
    register uint32_t r0 __asm__("r0") = operation;
    register const void* r1 __asm__("r1") = argument;
    __asm__ volatile("bkpt 0xab" : "+r"(r0) : "r"(r1) : "memory");
    return r0;
}
