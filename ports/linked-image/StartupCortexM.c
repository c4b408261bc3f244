/* Reset and vector table of a Cortex-M: the core loads the stack pointer and the reset address
   from the table; the reset handler copies .data, clears .bss, runs the constructors of the
   globals and calls main(). */

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

/* Names the image for the registration of its globals' destructors; crtbegin.o defines it in a
   hosted program. */
void* __dso_handle = &__dso_handle;
void boardTickInterrupt(void);
void resetHandler(void) __attribute__((noreturn));
void unexpectedInterrupt(void);

struct VectorTable {
    uint32_t* initialStack;
    void (*handlers[15])(void);
};

__attribute__((section(".vectors"), used)) const struct VectorTable vectorTable = {
    __stack_top,
    {
        resetHandler,        unexpectedInterrupt, unexpectedInterrupt, unexpectedInterrupt,
        unexpectedInterrupt, unexpectedInterrupt, 0,                   0,
        0,                   0,                   unexpectedInterrupt, unexpectedInterrupt,
        0,                   unexpectedInterrupt, boardTickInterrupt,
    },
};

void unexpectedInterrupt(void) {
    for (;;) {
    }
}

void resetHandler(void) {
#if defined(__ARM_FP)
    /* Full access to the FPU (coprocessors 10 and 11) before any floating-point instruction. */
    *(volatile uint32_t*)0xE000ED88u |= 0xFu << 20;
#endif
    const uint32_t* from = __data_load;
    for (uint32_t* to = __data_start; to < __data_end;) {
        *to++ = *from++;
    }
    for (uint32_t* to = __bss_start; to < __bss_end;) {
        *to++ = 0;
    }
    for (void (**constructor)(void) = __init_array_start; constructor < __init_array_end;) {
        (*constructor++)();
    }
    (void)main();
    for (;;) {
    }
}
