// The firmware's settings and rig-control modules, as the main loop on the emulated boards has
// them: the CAT rate is the one ft847-emulator runs at unless told otherwise, and the result of
// a poll goes to the console.

#include <stdint.h>

#include "Log.h"
#include "RigControl.h"
#include "Settings.h"

namespace {

constexpr uint32_t kCatBaud = 4800;

}  // namespace

uint32_t settingsGetRadio() { return kCatBaud; }

// The FT-847's CAT port runs at 4800, 9600 or 57600 bps.
bool settingsRadioBaudAllowed(int radio, uint32_t baud) {
    return radio == 1 && (baud == 4800 || baud == 9600 || baud == 57600);
}

void rigControlFrequencyReceived(uint64_t hz) {
    Serial.printf("rig control: SAT TX %lu Hz\n", static_cast<unsigned long>(hz));
}

void rigControlSubFrequencyReceived(uint64_t hz, bool) {
    Serial.printf("rig control: SAT RX %lu Hz\n", static_cast<unsigned long>(hz));
}
