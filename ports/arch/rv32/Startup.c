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

   Semihosting or bare is a build choice (FT847_SEMIHOSTING), not another copy. A semihosted
   program (picolibc's semihost library) has the host's console as its standard streams, and its
   status goes to exit(), which ends the emulator with it. A bare firmware has nobody to report
   to: it sleeps. A trap that is not the machine timer stops a semihosted program with a line
   and status 1, so that a test fails instead of hanging; a bare one stays there.

   The machine timer's interrupt is boardTickInterrupt(), empty unless the board defines it.
   picolibc keeps errno and the like in thread-local storage: one block for the one thread, at
   .tdata in RAM, which the thread pointer names. */

#include <stdint.h>

#if defined(FT847_SEMIHOSTING)
#include <stdlib.h>

#include "Semihosting.h"
#endif

extern uint32_t __data_load[];
extern uint32_t __data_start[];
extern uint32_t __data_end[];
extern uint32_t __bss_start[];
extern uint32_t __bss_end[];
extern void (*__init_array_start[])(void);
extern void (*__init_array_end[])(void);

int main(void);

/* Names the image for the registration of its globals' destructors; crtbegin.o defines it in a
   hosted program. */
void* __dso_handle = &__dso_handle;

void resetHandler(void) __attribute__((noreturn));
void machineTrap(void) __attribute__((interrupt("machine")));

__attribute__((weak)) void boardStart(void) {}
__attribute__((weak)) void boardTickInterrupt(void) {}

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
    const uint32_t* from = __data_load;
    for (uint32_t* to = __data_start; to < __data_end;) {
        *to++ = *from++;
    }
    for (uint32_t* to = __bss_start; to < __bss_end;) {
        *to++ = 0;
    }
    boardStart();
    for (void (**constructor)(void) = __init_array_start; constructor < __init_array_end;) {
        (*constructor++)();
    }
    const int status = main();
#if defined(FT847_SEMIHOSTING)
    exit(status);
#else
    (void)status;
    for (;;) {
        __asm__ volatile("wfi");
    }
#endif
}
