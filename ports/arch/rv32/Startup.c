/* Reset of every RV32 program, whatever the board. _start, where the hart begins, sets the
   global pointer, the stack pointer and the thread pointer, then enters the reset handler, the
   one way into a program:
     1. it installs the trap handler;
     2. it copies .data (with the C library's thread-local data) from flash to RAM and zeroes
        .bss (with the thread-local .tbss);
     3. it calls boardStart(): the tick, the console, as CMSIS start-up code calls SystemInit();
        a board without one gets the empty default;
     4. it runs the constructors of the globals, then main();
     5. it hands main()'s status on.
   Steps 2 to 5 are every architecture's (ports/arch/ResetPath.h).

   Semihosting or bare is a build choice (FT847_SEMIHOSTING), not another copy. A semihosted
   program (picolibc's semihost library) has the host's console as its standard streams, and its
   status goes to exit(), which ends the emulator with it. A bare firmware has nobody to report
   to: it sleeps. A trap that is not the machine timer stops a semihosted program with a line
   and status 1, so that a test fails instead of hanging; a bare one stays there.

   The machine timer's interrupt is boardTickInterrupt(), empty unless the board defines it.
   picolibc keeps errno and the like in thread-local storage: one block for the one thread, at
   .tdata in RAM, which the thread pointer names. */

#include <stdint.h>

#include "ResetPath.h"

#if defined(FT847_SEMIHOSTING)
#include "Semihosting.h"
#endif

void resetHandler(void) __attribute__((noreturn));
void machineTrap(void) __attribute__((interrupt("machine")));

__asm__(
    "  .section .text.start, \"ax\", @progbits\n"
    "  .global _start\n"
    "_start:\n"
    "  .option push\n"
    "  .option norelax\n"
    "  la gp, __global_pointer$\n"
    "  .option pop\n"
    "  la sp, __stack_top\n"
    "  la tp, __tls_base\n"
    "  j resetHandler\n");

/* mcause of the machine timer's interrupt: the interrupt bit and cause 7. */
#define MACHINE_TIMER_INTERRUPT 0x80000007u

void machineTrap(void) {
    uint32_t cause = 0;
    __asm__ volatile(".option push\n.option arch, +zicsr\ncsrr %0, mcause\n.option pop"
                     : "=r"(cause));
    if (cause == MACHINE_TIMER_INTERRUPT) {
        boardTickInterrupt();
        return;
    }
#if defined(FT847_SEMIHOSTING)
    (void)semihostingCall(kSemihostingWriteText, "fault: the program stopped on a trap\n");
    (void)semihostingCall(kSemihostingExit, (const void*)kSemihostingRunTimeError);
#endif
    for (;;) {
    }
}

void resetHandler(void) {
    /* The CSR instructions are an extension of their own (Zicsr) to the assembler. */
    __asm__ volatile(".option push\n.option arch, +zicsr\ncsrw mtvec, %0\n.option pop"
                     :
                     : "r"(&machineTrap));
    prepareMemory();
    runProgram();
}
