#pragma once

// The Cortex-M core's own peripherals, at the same addresses on every Cortex-M part: SysTick for
// the millisecond tick, the NVIC's enable register for a board's interrupts, and PRIMASK for the
// few instructions that an interrupt must not cut into.

#include <stdint.h>

namespace cortex_m {

// SysTick interrupts (boardTickInterrupt(), in the vector table) once a millisecond, counting
// the processor clock.
inline void startMillisecondTick(uint32_t clockHz) {
    struct SysTick {
        volatile uint32_t control;
        volatile uint32_t reload;
        volatile uint32_t value;
    };
    constexpr uint32_t kEnable = 1u << 0;
    constexpr uint32_t kInterrupt = 1u << 1;
    constexpr uint32_t kProcessorClock = 1u << 2;
    SysTick& tick = *reinterpret_cast<SysTick*>(0xE000E010u);
    tick.reload = clockHz / 1000 - 1;
    tick.value = 0;
    tick.control = kEnable | kInterrupt | kProcessorClock;
}

// Enables the board's interrupts whose numbers (0 to 31) are the mask's bits.
inline void enableInterrupts(uint32_t mask) {
    *reinterpret_cast<volatile uint32_t*>(0xE000E100u) = mask;
}

// Interrupts masked while it lives; PRIMASK is left as it was found.
class InterruptsMasked {
public:
    InterruptsMasked() { __asm__ volatile("mrs %0, primask\n cpsid i" : "=r"(saved) : : "memory"); }
    ~InterruptsMasked() { __asm__ volatile("msr primask, %0" : : "r"(saved) : "memory"); }
    InterruptsMasked(const InterruptsMasked&) = delete;
    InterruptsMasked& operator=(const InterruptsMasked&) = delete;

private:
    uint32_t saved = 0;
};

}  // namespace cortex_m
