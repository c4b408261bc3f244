#pragma once

#include <cstdint>

// Settings the tests can change, and the last question the driver asked.
struct TestSettings {
    uint32_t baud = 4800;
    bool baudAllowed = true;
    int askedRadio = -1;
    uint32_t askedBaud = 0;
};

extern TestSettings testSettings;

inline uint32_t settingsGetRadio() { return testSettings.baud; }

inline bool settingsRadioBaudAllowed(int radio, uint32_t baud) {
    testSettings.askedRadio = radio;
    testSettings.askedBaud = baud;
    return testSettings.baudAllowed;
}
