/* Reset and vector table of a Cortex-M on Arm's MPS2 board (the AN385 and AN386 images): the
   core loads the stack pointer and the reset address from the table, which also holds the
   handlers of the system exceptions and of the board's first 32 interrupts. The reset handler
   enables the FPU (on a core that has one, before any floating-point instruction), copies .data
   from where the image stores it, clears .bss, calls boardStart() (clocks, tick, console, as a
   CMSIS start-up calls SystemInit()), runs the constructors of the globals and calls main().

   A handler the firmware does not define is unexpectedInterrupt(), which stops there. */

#include <stdint.h>

extern uint32_t __stack_top[];
extern uint32_t __data_load[];
extern uint32_t __data_start[];
extern uint32_t __data_end[];
extern uint32_t __bss_start[];
extern uint32_t __bss_end[];
extern void (*__init_array_start[])(void);
extern void (*__init_array_end[])(void);

int main(void);
void boardStart(void);

/* Names the image for the registration of its globals' destructors; crtbegin.o defines it in a
   hosted program. */
void* __dso_handle = &__dso_handle;

void resetHandler(void) __attribute__((noreturn));
void unexpectedInterrupt(void);
void sysTickInterrupt(void) __attribute__((weak, alias("unexpectedInterrupt")));
void uart0ReceiveInterrupt(void) __attribute__((weak, alias("unexpectedInterrupt")));
void uart0TransmitInterrupt(void) __attribute__((weak, alias("unexpectedInterrupt")));
void uart1ReceiveInterrupt(void) __attribute__((weak, alias("unexpectedInterrupt")));
void uart1TransmitInterrupt(void) __attribute__((weak, alias("unexpectedInterrupt")));

#define OTHER unexpectedInterrupt

struct VectorTable {
    uint32_t* initialStack;
    void (*exceptions[15])(void);
    void (*interrupts[32])(void);
};

__attribute__((section(".vectors"), used)) const struct VectorTable vectorTable = {
    __stack_top,
    {
        resetHandler, OTHER, OTHER, OTHER, OTHER, OTHER, 0, 0, /* reset, NMI, faults */
        0, 0, OTHER, OTHER, 0, OTHER, sysTickInterrupt,         /* SVCall, PendSV, SysTick */
    },
    {
        uart0ReceiveInterrupt, uart0TransmitInterrupt, uart1ReceiveInterrupt,
        uart1TransmitInterrupt, OTHER, OTHER, OTHER, OTHER, OTHER, OTHER, OTHER, OTHER, OTHER,
        OTHER, OTHER, OTHER, OTHER, OTHER, OTHER, OTHER, OTHER, OTHER, OTHER, OTHER, OTHER,
        OTHER, OTHER, OTHER, OTHER, OTHER, OTHER, OTHER,
    },
};

void unexpectedInterrupt(void) {
    for (;;) {
    }
}

void resetHandler(void) {
#if defined(__ARM_FP)
    /* Full access to the FPU (coprocessors 10 and 11). */
    *(volatile uint32_t*)0xE000ED88u |= 0xFu << 20;
    __asm__ volatile("dsb\n isb" : : : "memory");
#endif
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
    (void)main();
    for (;;) {
    }
}
