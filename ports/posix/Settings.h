#pragma once

#include <stdint.h>

// The station's settings, taken from its command line.
void settingsSetRadioBaud(uint32_t baud);

uint32_t settingsGetRadio();

// Only the FT-847's CAT baud rates: 4800, 9600 and 57600.
bool settingsRadioBaudAllowed(int radio, uint32_t baud);
