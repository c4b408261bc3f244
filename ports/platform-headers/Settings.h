#pragma once

#include <stdint.h>

// The firmware's settings module.

// The configured CAT baud rate of the radio.
uint32_t settingsGetRadio();

// Whether the radio on the given serial line may run at this baud rate.
bool settingsRadioBaudAllowed(int radio, uint32_t baud);
