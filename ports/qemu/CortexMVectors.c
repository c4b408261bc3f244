/* The vector table of a Cortex-M program on QEMU's MPS2 boards, run with semihosting. The core
   loads the stack pointer and the reset address from the table at address 0. The reset handler
   gives the FPU full access (CPACR) on a hard-float build, because the first floating-point
   instruction would otherwise fault before any handler exists, and then enters newlib's rdimon
   start-up code (_start), which clears .bss, opens the semihosting console, runs the
   constructors of the globals, calls main() and reports its status to the host through exit().
   .data needs no copy: the linker script places it where it runs, and QEMU loads it there. */

#include <stdint.h>

extern uint32_t __stack[];
void _start(void) __attribute__((noreturn));
void resetHandler(void) __attribute__((noreturn));
void faultHandler(void) __attribute__((noreturn));

void resetHandler(void) {
#if defined(__ARM_FP)
    *(volatile uint32_t*)0xE000ED88u |= 0xFu << 20;
    __asm__ volatile("dsb\n isb" ::: "memory");
#endif
    _start();
}

/* A fault stops the program with a line and a status that fail the test, instead of a hang. */
void faultHandler(void) {
    static const char line[] = "fault: the program stopped on a processor exception\n";
    register uint32_t operation __asm__("r0") = 0x04; /* SYS_WRITE0 */
    register const char* text __asm__("r1") = line;
    __asm__ volatile("bkpt 0xAB" : "+r"(operation) : "r"(text) : "memory");
    /* SYS_EXIT with ADP_Stopped_RunTimeErrorUnknown: QEMU exits with status 1. */
    operation = 0x18;
    register uint32_t reason __asm__("r1") = 0x20023;
    __asm__ volatile("bkpt 0xAB" : "+r"(operation) : "r"(reason) : "memory");
    for (;;) {
    }
}

struct VectorTable {
    uint32_t* initialStack;
    void (*handlers[15])(void);
};

__attribute__((section(".vectors"), used)) const struct VectorTable vectorTable = {
    __stack,
    {
        resetHandler, faultHandler, faultHandler, faultHandler, faultHandler, faultHandler, 0, 0,
        0,            0,            faultHandler, faultHandler, 0,            faultHandler,
        faultHandler,
    },
};
