// The firmware with the driver: the same as WithoutDriver.cpp, plus a driver that is begun,
// updated on every pass and given every public command. The commands and their arguments
// arrive at run time in radioRequest, so the compiler can fold none of them away, and every
// result is kept.

#include <stdint.h>

#include "Board.h"
#include "FT847.h"

HardwareSerial catUart(1);
FT847 radio(catUart);

namespace {

bool runCommand(uint8_t which) {
    uint8_t digits[4] = {};
    uint64_t hz = 0;
    uint8_t code = 0;
    switch (which) {
    case 0: return radio.setFrequency(radioRequest.hz);
    case 1: return radio.setMode(radioRequest.mode);
    case 2: return radio.setModeLsb();
    case 3: return radio.setModeUsb();
    case 4: return radio.setModeCw(radioRequest.narrow);
    case 5: return radio.setModeFm();
    case 6: return radio.setTxTone(radioRequest.toneHz);
    case 7: return radio.requestRxRead();
    case 8: return radio.requestTxRead();
    case 9: return radio.cancelAndSelectRx();
    case 10: return radio.requestSatelliteMode();
    case 11: return radio.selectVfoA();
    case 12: return radio.selectVfoB();
    case 13: return radio.selectMain();
    case 14: return radio.selectSub();
    case 15: return radio.swapMainSub();
    case 16: return radio.write(digits, sizeof digits) != 0;
    case 17: return radio.begin();
    case 18:
        if (FT847::encodeFrequency(radioRequest.hz, digits) && FT847::decodeFrequency(digits, hz)) {
            radioRequest.hz = hz;
            return true;
        }
        return false;
    case 19:
        if (FT847::encodeTone(radioRequest.toneHz, code)) {
            radioRequest.mode = code;
            return true;
        }
        return false;
    default: return false;
    }
}

}  // namespace

int main() {
    (void)radio.begin();
    for (;;) {
        radio.update();
        firmwareWork(catUart);
        const uint32_t status = (radio.isConnected() ? 1u : 0u) | (radio.initialized() ? 2u : 0u) |
                                (radio.failed() ? 4u : 0u) | (radio.busy() ? 8u : 0u) |
                                static_cast<uint32_t>(radio.currentState()) << 4;
        radioRequest.result = status | (runCommand(radioRequest.command) ? 0x100u : 0u);
    }
}
