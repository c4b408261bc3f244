#pragma once

/* The part of the reset path that every architecture shares, once the core itself is set up.
   Each architecture's Startup.c includes it, and nothing else does:
     prepareMemory()  copies .data from flash to RAM and zeroes .bss, whose word-aligned bounds
                      the section layout (sections.ld) gives;
     runProgram()     calls boardStart() (clocks, the tick, the console, as CMSIS start-up code
                      calls SystemInit(); a board without one gets the empty default), runs the
                      constructors of the globals, then main(), and hands main()'s status on: a
                      semihosted program (FT847_SEMIHOSTING) to exit(), which flushes its
                      streams and ends the emulator with it; a bare firmware has nobody to report
                      to, and sleeps.
   The tick's interrupt calls boardTickInterrupt(), empty unless the board defines it. */

#include <stdint.h>

#if defined(FT847_SEMIHOSTING)
#include <stdlib.h>
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

__attribute__((weak)) void boardStart(void) {}
__attribute__((weak)) void boardTickInterrupt(void) {}

static inline void prepareMemory(void) {
    const uint32_t* from = __data_load;
    for (uint32_t* to = __data_start; to < __data_end;) {
        *to++ = *from++;
    }
    for (uint32_t* to = __bss_start; to < __bss_end;) {
        *to++ = 0;
    }
}

static inline __attribute__((noreturn)) void runProgram(void) {
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
