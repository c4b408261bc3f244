/* Reset and vector table of every Cortex-M program, whatever the board.

   The core loads the stack pointer and the reset address from the table at the start of flash.
   The reset handler is the one way into a program:
     1. on a core with an FPU, it gives the FPU full access (CPACR) and waits for that to take
        effect (dsb, isb), because the first floating-point instruction faults otherwise;
     2. it copies .data from flash to RAM and zeroes .bss;
     3. it calls boardStart(): clocks, the tick, the console, as CMSIS start-up code calls
        SystemInit(); a board without one gets the empty default;
     4. it runs the constructors of the globals, then main();
     5. it hands main()'s status on.
   Steps 2 to 5 are every architecture's (ports/arch/ResetPath.h); a semihosted program's
   streams are opened between 2 and 3.

   Semihosting or bare is a build choice (FT847_SEMIHOSTING), not another copy. A semihosted
   program (newlib's rdimon) has the host's console as its standard streams, and its status goes
   to exit(), which flushes the streams and ends the emulator with it. A bare firmware has nobody
   to report to: it sleeps. A fault or an interrupt nobody handles stops a semihosted program
   with a line and status 1, so that a test fails instead of hanging; a bare one stays there.

   The table holds the system exceptions; SysTick is boardTickInterrupt(), empty unless the board
   defines it. A board's own interrupts follow at once: an array of handlers that the board puts
   in the section .vectors.interrupts (ports/boards/mps2-an386/Board.cpp has one). */

#include <stdint.h>

#include "ResetPath.h"

#if defined(FT847_SEMIHOSTING)
#include "Semihosting.h"

void initialise_monitor_handles(void);
#endif

extern uint32_t __stack_top[];
void resetHandler(void) __attribute__((noreturn));
void unexpectedInterrupt(void);

#define OTHER unexpectedInterrupt

struct SystemVectors {
    uint32_t* initialStack;
    void (*exceptions[15])(void);
};

__attribute__((section(".vectors"), used)) const struct SystemVectors systemVectors = {
    __stack_top,
    {
        resetHandler, OTHER, OTHER, OTHER, OTHER, OTHER, 0, 0, /* reset, NMI, faults */
        0, 0, OTHER, OTHER, 0, OTHER, boardTickInterrupt,      /* SVCall, PendSV, SysTick */
    },
};

void unexpectedInterrupt(void) {
#if defined(FT847_SEMIHOSTING)
    (void)semihostingCall(kSemihostingWriteText,
                          "fault: the program stopped on a processor exception\n");
    (void)semihostingCall(kSemihostingExit, (const void*)kSemihostingRunTimeError);
#endif
    for (;;) {
    }
}

void resetHandler(void) {
#if defined(__ARM_FP)
    /* Full access to the FPU (coprocessors 10 and 11). */
    *(volatile uint32_t*)0xE000ED88u |= 0xFu << 20;
    __asm__ volatile("dsb\n isb" : : : "memory");
#endif
    prepareMemory();
#if defined(FT847_SEMIHOSTING)
    initialise_monitor_handles();
#endif
    runProgram();
}
