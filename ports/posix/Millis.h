#pragma once

#include <stdint.h>

// Milliseconds from the monotonic clock, truncated to 32 bits: wraps after 49.7 days, as a
// microcontroller's millis() does.
uint32_t millis();
