#pragma once

#include <stdint.h>

// The firmware's rig-control module: receives the VFO frequencies that polls read from the radio.

// The SAT TX (main) VFO, in Hz.
void rigControlFrequencyReceived(uint64_t hz);

// The SAT RX (sub) VFO, in Hz; the FT-847 driver always passes true as the flag.
void rigControlSubFrequencyReceived(uint64_t hz, bool flag);
