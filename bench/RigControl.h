#pragma once

#include <stdint.h>

// The rig-control module: receives the VFO frequencies that polls read from the radio.
inline void rigControlFrequencyReceived(uint64_t) {}

inline void rigControlSubFrequencyReceived(uint64_t, bool) {}
