// Supervisor (begin/update), status queries, VFO selection and radio commands.

#include "FT847.h"

#include <string.h>

#include "FT847Log.h"
#include "HardwareSerial.h"
#include "Millis.h"
#include "Settings.h"

namespace {

// The radio's number in the settings module, and the receive and transmit pins of the board's
// UART wired to the radio's CAT socket.
constexpr int kRadioId = 1;
constexpr int kRxPin = 1;
constexpr int kTxPin = 2;

constexpr uint8_t kOpCatOn = 0x00;
constexpr uint8_t kOpSatOn = 0x4E;
constexpr uint8_t kOpSetSatRxFrequency = 0x11;
constexpr uint8_t kOpSetSatTxFrequency = 0x21;
constexpr uint8_t kOpSetSatRxMode = 0x17;
constexpr uint8_t kOpSetSatTxMode = 0x27;
constexpr uint8_t kOpSetSatTxToneFrequency = 0x2B;
constexpr uint8_t kOpSetSatTxToneMode = 0x2A;
constexpr uint8_t kToneEncoderOn = 0x4A;
constexpr uint8_t kToneEncoderOff = 0x8A;

// +0.0 and -0.0, told apart from every other double by the bit pattern: a double comparison is
// a library routine on a core without double-precision hardware.
bool isZero(double value) {
    uint64_t bits = 0;
    memcpy(&bits, &value, sizeof bits);
    return (bits << 1) == 0;
}

}  // namespace

FT847::FT847(HardwareSerial& serialPort) : port(serialPort) {}

// Only begin() leaves Idle, and nothing returns to it.
bool FT847::begun() const { return state != State::Idle; }

bool FT847::acceptsCommand() const { return isConnected() && state == State::Ready; }

// A request whose frame goes out at once: the frame spacing must be over too.
bool FT847::acceptsFrameNow() const { return acceptsCommand() && canSend(); }

bool FT847::isConnected() const { return link == Link::Connected; }

bool FT847::initialized() const { return isConnected(); }

bool FT847::failed() const { return link == Link::Failed; }

bool FT847::busy() const {
    if (!begun() || state == State::RetryWait) {
        return false;
    }
    return !(state == State::Ready && canSend());
}

FT847::State FT847::currentState() const { return state; }

// The mode byte came in the same reply as the cached frequency, and goes stale with it.
uint8_t FT847::rxMode() const { return rxFrequency != 0 ? rxModeByte : kModeUnknown; }

uint8_t FT847::txMode() const { return txFrequency != 0 ? txModeByte : kModeUnknown; }

bool FT847::selectMain() {
    targetRx = false;
    return begun();
}

bool FT847::selectSub() {
    targetRx = true;
    return begun();
}

bool FT847::selectVfoA() { return selectMain(); }

bool FT847::selectVfoB() { return selectSub(); }

bool FT847::swapMainSub() { return false; }

size_t FT847::write(const uint8_t*, size_t) { return 0; }

bool FT847::begin() {
    FT847_PRINTLN("[FT847 BUILD] PRESET-100MS-TONE-5");
    const uint32_t baud = settingsGetRadio();
    if (!settingsRadioBaudAllowed(kRadioId, baud)) {
        return false;
    }
    port.begin(baud, SERIAL_8N2, kRxPin, kTxPin);
    link = Link::NeverConnected;
    targetRx = true;
    hasSent = false;
    txFrequency = 0;
    rxFrequency = 0;
    drain();
    FT847_PRINTF("FT847 INIT: UART1 %lu bps, 8N2, RX=%u TX=%u\n", static_cast<unsigned long>(baud),
                 kRxPin, kTxPin);
    state = State::SendCatOn;
    FT847_PRINTLN("FT847: asynchronous CAT/SAT startup scheduled");
    return true;
}

// One step per call: send one frame, finish one wait, or start or advance one read. A send or
// read refused by the frame spacing leaves the state as it is, so the next call tries again.
void FT847::update() {
    // Connected and idle is where a driver spends nearly every call: one comparison, no step.
    if (state == State::Ready) {
        return;
    }
    // Before begin() the state is Idle, which does nothing.
    switch (state) {
    case State::Idle:
    case State::Ready:
        break;
    case State::SendCatOn:
        if (sendOpcode(0x00, kOpCatOn)) {
            stepStartMs = millis();
            state = State::WaitCatOn;
        }
        break;
    case State::WaitCatOn:
        if (waited(stepStartMs, kCatOnSettleMs)) {
            state = State::SendSatOn;
        }
        break;
    case State::SendSatOn:
        if (sendOpcode(0x00, kOpSatOn)) {
            stepStartMs = millis();
            state = State::WaitSatOn;
        }
        break;
    case State::WaitSatOn:
        if (waited(stepStartMs, kSatOnSettleMs)) {
            drain();
            state = State::ReadRxInit;
        }
        break;
    case State::RetryWait:
        if (waited(stepStartMs, kRetryDelayMs)) {
            drain();
            state = State::SendCatOn;
            FT847_PRINTLN("FT847: retrying CAT/SAT connection");
        }
        break;
    case State::SendSatPreset:
        if (sendOpcode(0x00, kOpSatOn)) {
            stepStartMs = millis();
            state = State::WaitSatPreset;
            FT847_PRINTF("FT847 PRESET: SAT ON sent; wait %lu ms before RX/TX settings\n",
                         static_cast<unsigned long>(kSatPresetSettleMs));
        }
        break;
    case State::WaitSatPreset:
        if (waited(stepStartMs, kSatPresetSettleMs)) {
            drain();
            state = State::Ready;
        }
        break;
    case State::ReadRxInit:
        (void)beginRead(true, Purpose::InitRx);
        break;
    case State::ReadTxInit:
        (void)beginRead(false, Purpose::InitTx);
        break;
    case State::SendCommand:
        if (sendPacket(command)) {
            if (purpose == Purpose::CheckMode) {
                FT847_PRINTF("FT847 MODE TX: %02X 00 00 00 %02X (%s)\n", command[0], command[4],
                             txnRx ? "RX" : "TX");
            }
            state = State::ReadBack;
        }
        break;
    case State::ReadBack:
        (void)beginRead(txnRx, purpose);
        break;
    case State::AwaitResponse:
        stepResponse();
        break;
    case State::SendToneFrequency:
        // A tone that is switched on: its code first, then the encoder on.
        if (sendPacket(command)) {
            setCommand(kToneEncoderOn, kOpSetSatTxToneMode);
            state = State::SendToneMode;
        }
        break;
    case State::SendToneMode:
        if (sendPacket(command)) {
            state = State::Ready;
        }
        break;
    }
}

// Follows update() state by state: each wait ends, each frame goes out and each read times out
// at the first update() at which its time has come.
uint32_t FT847::msUntilNextStep() const {
    uint32_t ms = kUntilCommand;
    switch (state) {
    case State::Idle:  // not begun
        break;
    case State::Ready:
        // No step of its own; busy() turns false when the frame spacing is over.
        ms = msUntilCanSend();
        ms = ms > 0 ? ms : kUntilCommand;
        break;
    case State::WaitCatOn:
        ms = msLeft(stepStartMs, kCatOnSettleMs);
        break;
    case State::WaitSatOn:
        ms = msLeft(stepStartMs, kSatOnSettleMs);
        break;
    case State::WaitSatPreset:
        ms = msLeft(stepStartMs, kSatPresetSettleMs);
        break;
    case State::RetryWait:
        ms = msLeft(stepStartMs, kRetryDelayMs);
        break;
    case State::AwaitResponse:
        ms = port.available() > 0 ? 0 : msLeft(stepStartMs, kReadTimeoutMs);
        break;
    case State::SendCatOn:
    case State::SendSatOn:
    case State::SendSatPreset:
    case State::ReadRxInit:
    case State::ReadTxInit:
    case State::SendCommand:
    case State::ReadBack:
    case State::SendToneFrequency:
    case State::SendToneMode:
        ms = msUntilCanSend();
        break;
    }
    return ms;
}

// A frame of one parameter byte: P1 00 00 00 opcode.
void FT847::setCommand(uint8_t p1, uint8_t opcode) {
    command[0] = p1;
    command[1] = 0x00;
    command[2] = 0x00;
    command[3] = 0x00;
    command[4] = opcode;
}

bool FT847::setFrequency(uint64_t hz) {
    uint8_t digits[4];
    if (!acceptsCommand() || !encodeFrequency(hz, digits)) {
        return false;
    }
    for (size_t i = 0; i < 4; ++i) {
        command[i] = digits[i];
    }
    txnRx = targetRx;
    // What the radio will report back: the frequency the digits say, the unit Hz dropped.
    uint64_t reported = 0;
    (void)decodeFrequency(digits, reported);
    // The radio already reported this frequency for this VFO: nothing to send.
    if (reported == (txnRx ? rxFrequency : txFrequency)) {
        return true;
    }
    command[4] = txnRx ? kOpSetSatRxFrequency : kOpSetSatTxFrequency;
    purpose = Purpose::CheckFrequency;
    state = State::SendCommand;
    return true;
}

bool FT847::setMode(uint8_t mode) {
    if (!acceptsCommand()) {
        return false;
    }
    txnRx = targetRx;
    setCommand(mode, txnRx ? kOpSetSatRxMode : kOpSetSatTxMode);
    purpose = Purpose::CheckMode;
    state = State::SendCommand;
    return true;
}

bool FT847::setModeLsb() { return setMode(kModeLsb); }

bool FT847::setModeUsb() { return setMode(kModeUsb); }

bool FT847::setModeCw(bool narrow) { return setMode(narrow ? kModeCwNarrow : kModeCw); }

bool FT847::setModeFm() { return setMode(kModeFm); }

// Switching the tone on sends its code, then the encoder on; switching it off sends only the
// encoder off.
bool FT847::setTxTone(double hz) {
    if (!acceptsFrameNow()) {
        return false;
    }
    const bool enable = !isZero(hz);  // a NaN is not zero, and encodeTone() refuses it
    uint8_t code = 0;
    if (enable && !encodeTone(hz, code)) {
        return false;
    }
    if (enable) {
        setCommand(code, kOpSetSatTxToneFrequency);
        state = State::SendToneFrequency;
    } else {
        setCommand(kToneEncoderOff, kOpSetSatTxToneMode);
        state = State::SendToneMode;
    }
    FT847_PRINTF("FT847 TX TONE: %.1f Hz %s\n", hz, enable ? "ENC ON" : "OFF");
    return true;
}

bool FT847::requestRxRead() { return requestRead(true, Purpose::PollRx); }

bool FT847::requestTxRead() { return requestRead(false, Purpose::PollTx); }

bool FT847::requestRead(bool rx, Purpose why) {
    if (!acceptsFrameNow()) {
        return false;
    }
    return beginRead(rx, why);
}

bool FT847::cancelAndSelectRx() {
    if (!acceptsCommand()) {
        return false;
    }
    targetRx = true;
    return true;
}

bool FT847::requestSatelliteMode() {
    if (!isConnected()) {
        return false;
    }
    drain();
    // Settings that follow a SAT ON are always sent, never answered from the cache.
    txFrequency = 0;
    rxFrequency = 0;
    state = State::SendSatPreset;
    return true;
}
