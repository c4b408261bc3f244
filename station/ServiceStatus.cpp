#include "ServiceStatus.h"

#include <stdio.h>

#include "OperatingModes.h"

namespace {

// A VFO as "RX 435300000 Hz FM": the mode by the name trackers use (CW narrow is CW with the
// narrow filter), a code the station does not set in hex, nothing for a mode not known.
std::string vfo(const char* name, uint64_t hz, uint8_t code) {
    std::string text = std::string(name) + " " + (hz != 0 ? std::to_string(hz) : "?") + " Hz";
    if (code == FT847::kModeUnknown) {
        return text;
    }
    const OperatingMode* mode = operatingMode(code);
    if (mode == nullptr) {
        char hex[16];
        snprintf(hex, sizeof hex, " mode %02X", code);
        return text + hex;
    }
    return text + " " + mode->rigctl + (code == FT847::kModeCwNarrow ? " narrow" : "");
}

}  // namespace

std::string ServiceStatus::text() const {
    std::string text;
    switch (link) {
    case Link::WaitingForDevice:
        text = "waiting for " + device;
        break;
    case Link::Connecting:
        text = "connecting to the radio on " + device + " at " + std::to_string(baud) + " bps";
        break;
    case Link::NotAnswering:
        text = reason;
        break;
    case Link::Connected:
        text = "radio connected; " + vfo("RX", rxHz, rxMode) + ", " + vfo("TX", txHz, txMode);
        break;
    }
    if (trackers >= 0) {
        text += "; " + std::to_string(trackers) + (trackers == 1 ? " tracker" : " trackers");
    }
    return text;
}
