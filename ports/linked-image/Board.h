#pragma once

// The rest of a firmware, as far as the size probe needs one: the board's functions that the
// driver calls are used here as well, so every image contains them and the difference between
// an image with the driver and one without is the driver alone.

#include "HardwareSerial.h"

// Clocks, the millisecond tick and the UART pins; called once by main().
void boardStart();

// One pass of the firmware's own work: reads the UART, writes to the console, reads the
// settings and reports frequencies, with values only known at run time.
void firmwareWork(HardwareSerial& uart);
