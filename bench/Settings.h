#pragma once

#include <stdint.h>

// The settings module: the CAT baud rate of the radio.
inline uint32_t settingsGetRadio() { return 4800; }

inline bool settingsRadioBaudAllowed(int, uint32_t) { return true; }
