#pragma once

#include <stdint.h>

#include "FT847.h"

// The operating modes the station sets, with their names on its command line and in the rigctld
// protocol, and the filter width the protocol reports with each. CW has the SSB filter, or the
// 500 Hz narrow one.
struct OperatingMode {
    uint8_t code;        // the radio's mode code
    const char* option;  // on the command line
    const char* rigctl;  // in the rigctld protocol; CW and CW narrow share theirs
    long passbandHz;
};

inline constexpr OperatingMode kOperatingModes[] = {
    {FT847::kModeLsb, "lsb", "LSB", 2400},      {FT847::kModeUsb, "usb", "USB", 2400},
    {FT847::kModeCw, "cw", "CW", 2400},         {FT847::kModeCwNarrow, "cw-narrow", "CW", 500},
    {FT847::kModeFm, "fm", "FM", 15000},
};

// nullptr for a code the station does not set.
inline const OperatingMode* operatingMode(uint8_t code) {
    for (const OperatingMode& mode : kOperatingModes) {
        if (mode.code == code) {
            return &mode;
        }
    }
    return nullptr;
}
