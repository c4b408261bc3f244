#pragma once

// The rest of a firmware, as far as the size probe needs one: the board's functions that the
// driver calls are used here as well, so every image contains them and the difference between
// an image with the driver and one without is the driver alone.

#include <stdint.h>

#include "HardwareSerial.h"

// The next command for the radio, as the firmware's console parser leaves it (from a tracker
// on the console, say), and the result the firmware reports back. The image with the driver
// acts on it; every value is known only at run time.
struct RadioRequest {
    uint8_t command;
    uint8_t mode;
    bool narrow;
    uint64_t hz;
    double toneHz;
    uint32_t result;
};
extern volatile RadioRequest radioRequest;

// Clocks, the millisecond tick and the UART pins; the reset handler calls it before main().
extern "C" void boardStart();

// One pass of the firmware's own work: reads the UART, writes to the console, reads the
// settings, reports frequencies and fills radioRequest, with values only known at run time.
void firmwareWork(HardwareSerial& uart);
