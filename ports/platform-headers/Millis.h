#pragma once

#include <stdint.h>

// Milliseconds since reset, from the board's tick timer. 32 bits: wraps after 49.7 days.
uint32_t millis();
