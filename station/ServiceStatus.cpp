#include "ServiceStatus.h"

#include <stdio.h>

#include "OperatingModes.h"

namespace {

// A mode that trackers name as they name a wider one, such as CW with the 500 Hz filter.
bool narrowOfItsName(const OperatingMode& mode) {
    for (const OperatingMode& other : kOperatingModes) {
        if (std::string(other.rigctl) == mode.rigctl && other.passbandHz > mode.passbandHz) {
            return true;
        }
    }
    return false;
}

// A VFO as "RX 435300000 Hz FM": the mode by the name trackers use ("CW narrow" for CW with the
// narrow filter), a code that is none of the radio's modes in hex, nothing for a mode not known.
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
    return text + " " + mode->rigctl + (narrowOfItsName(*mode) ? " narrow" : "");
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
