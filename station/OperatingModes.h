#pragma once

#include <stdint.h>

#include "FT847.h"

// The radio's operating modes, with their names on the station's command line and in the
// rigctld protocol, and the filter width the protocol reports with each. The station sets the
// first five; the others a radio may be switched to by hand, and the station only reports them.
// CW and CW reverse have the SSB filter, or the 500 Hz narrow one.
struct OperatingMode {
    uint8_t code;        // the radio's mode code
    const char* option;  // on the command line; nullptr for a mode the station does not set
    const char* rigctl;  // in the rigctld protocol; a wide and a narrow filter may share one
    long passbandHz;
};

inline constexpr OperatingMode kOperatingModes[] = {
    {FT847::kModeLsb, "lsb", "LSB", 2400},      {FT847::kModeUsb, "usb", "USB", 2400},
    {FT847::kModeCw, "cw", "CW", 2400},         {FT847::kModeCwNarrow, "cw-narrow", "CW", 500},
    {FT847::kModeFm, "fm", "FM", 15000},
    // The codes of the radio's other modes, which the driver does not name.
    {0x03, nullptr, "CWR", 2400},               {0x83, nullptr, "CWR", 500},
    {0x04, nullptr, "AM", 6000},                {0x84, nullptr, "AM", 2400},
    {0x88, nullptr, "FMN", 9000},
};

// nullptr for a code that is none of the radio's modes.
inline const OperatingMode* operatingMode(uint8_t code) {
    for (const OperatingMode& mode : kOperatingModes) {
        if (mode.code == code) {
            return &mode;
        }
    }
    return nullptr;
}
