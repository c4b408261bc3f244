/* Reset of a small RV32 part: _start sets the global and stack pointers, the reset handler
   installs the trap handler (the machine timer, once a millisecond), copies .data, clears .bss,
   runs the constructors of the globals and calls main(). */

#include <stdint.h>

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
    "  j resetHandler\n");

void machineTrap(void) { boardTickInterrupt(); }

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
    for (void (**constructor)(void) = __init_array_start; constructor < __init_array_end;) {
        (*constructor++)();
    }
    (void)main();
    for (;;) {
    }
}
