#pragma once

#include <stdint.h>

// The simulated millisecond clock. It moves only when the test moves it, and wraps from
// 0xFFFFFFFF to 0 as the target's clock does after 49.7 days.
extern uint32_t clockMs;

inline uint32_t millis() { return clockMs; }
