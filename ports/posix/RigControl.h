#pragma once

#include <stdint.h>

// Frequencies read from the radio by polls; the program that runs the driver defines these.
void rigControlFrequencyReceived(uint64_t hz);                // SAT TX VFO
void rigControlSubFrequencyReceived(uint64_t hz, bool flag);  // SAT RX VFO
