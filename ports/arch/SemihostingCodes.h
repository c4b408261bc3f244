#pragma once

/* The semihosting operations and exit reasons the programs use, the same on Arm and RISC-V;
   each architecture's Semihosting.h makes the call. */

enum {
    kSemihostingWriteText = 0x04, /* SYS_WRITE0: a text up to its terminating zero */
    kSemihostingExit = 0x18       /* SYS_EXIT: the argument is the reason */
};

/* SYS_EXIT's reasons: QEMU ends with status 0 for the first, 1 for the second. */
#define kSemihostingApplicationExit 0x20026u
#define kSemihostingRunTimeError 0x20023u
