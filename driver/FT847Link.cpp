// Link layer: frame pacing, frame writes, read transactions and failures.

#include "FT847.h"

#include "FT847Log.h"
#include "HardwareSerial.h"
#include "Millis.h"
#include "RigControl.h"

namespace {

constexpr uint8_t kOpReadSatRx = 0x13;
constexpr uint8_t kOpReadSatTx = 0x23;

bool sameFrequencyDigits(const uint8_t* reply, const uint8_t* frame) {
    for (int i = 0; i < 4; ++i) {
        if (reply[i] != frame[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

// Every interval is "now minus stamp" in 32-bit unsigned arithmetic, so the wrap of millis()
// after 49.7 days needs no special case. A wait of N ms ends on the first update at which more
// than N - 1 ms have elapsed.
bool FT847::waited(uint32_t sinceMs, uint32_t intervalMs) const {
    return static_cast<uint32_t>(millis() - sinceMs) >= intervalMs;
}

// The rest of such a wait: 0 once waited() holds.
uint32_t FT847::msLeft(uint32_t sinceMs, uint32_t intervalMs) const {
    const uint32_t elapsed = millis() - sinceMs;
    return elapsed >= intervalMs ? 0 : intervalMs - elapsed;
}

// The first frame after begin() is never held back.
bool FT847::canSend() const {
    return !hasSent || waited(lastSendMs, kFrameSpacingMs);
}

uint32_t FT847::msUntilCanSend() const {
    return hasSent ? msLeft(lastSendMs, kFrameSpacingMs) : 0;
}

bool FT847::sendPacket(const uint8_t* frame) {
    if (!canSend()) {
        return false;
    }
    if (port.write(frame, kFrameLength) != kFrameLength) {
        fail(FT847_LOG_TEXT("UART write failed"));
        return false;
    }
    port.flush();
    lastSendMs = millis();
    hasSent = true;
    return true;
}

bool FT847::sendOpcode(uint8_t p1, uint8_t opcode) {
    const uint8_t frame[kFrameLength] = {p1, 0x00, 0x00, 0x00, opcode};
    return sendPacket(frame);
}

void FT847::drain() {
    while (port.available() > 0) {
        (void)port.read();
    }
    responseLength = 0;
}

void FT847::fail(const char* message) {
    link = Link::Failed;
    state = State::RetryWait;
    responseLength = 0;
    // A radio that dropped off the line may come back on other frequencies.
    txFrequency = 0;
    rxFrequency = 0;
    stepStartMs = millis();
    FT847_PRINT("FT847 ERROR: ");
    FT847_PRINTLN(message);
}

bool FT847::beginRead(bool rx, Purpose why) {
    if (!canSend()) {
        return false;
    }
    // Stale bytes from earlier traffic must not be taken for the reply.
    drain();
    if (!sendOpcode(0x00, rx ? kOpReadSatRx : kOpReadSatTx)) {
        return false;
    }
    txnRx = rx;
    purpose = why;
    responseLength = 0;
    stepStartMs = millis();
    state = State::AwaitResponse;
    return true;
}

// The radio answers a read with exactly five bytes. Fewer within 500 ms means it is off or the
// line is broken; a sixth byte already waiting means the reply cannot be trusted.
void FT847::stepResponse() {
    while (port.available() > 0 && responseLength < kFrameLength) {
        response[responseLength] = static_cast<uint8_t>(port.read() & 0xFF);
        ++responseLength;
    }
    if (responseLength == kFrameLength) {
        if (port.available() > 0) {
            drain();
            fail(FT847_LOG_TEXT("Unexpected extra CAT response bytes"));
        } else {
            finishResponse();
        }
        return;
    }
    if (waited(stepStartMs, kReadTimeoutMs)) {
        FT847_PRINTF("FT847 RX TIMEOUT: opcode=0x%02X, received=%u/5, elapsed=%lu ms\n",
                     txnRx ? int{kOpReadSatRx} : int{kOpReadSatTx}, responseLength,
                     static_cast<unsigned long>(millis() - stepStartMs));
        drain();
        fail(FT847_LOG_TEXT("Read timeout (500 ms)"));
    }
}

// A read reply is four BCD bytes of the VFO frequency in 10 Hz units, most significant digit
// first, then the operating-mode byte. Every valid reply refreshes the frequency cache.
void FT847::finishResponse() {
    uint64_t hz = 0;
    if (!decodeFrequency(response, hz)) {
        fail(FT847_LOG_TEXT("Invalid BCD response"));
        return;
    }
    // The VFO must report the digits the frequency frame carried.
    if (purpose == Purpose::CheckFrequency && !sameFrequencyDigits(response, command)) {
        fail(FT847_LOG_TEXT("Frequency read-back mismatch"));
        return;
    }
    if (purpose == Purpose::CheckMode && response[4] != command[0]) {
        // The frequency is what satellite tracking depends on; a mode that did not take is
        // reported, and the link stays up.
        FT847_PRINTF(
            "FT847 MODE WARNING: %s requested=0x%02X actual=0x%02X; frequency setup continues\n",
            txnRx ? "RX" : "TX", command[0], response[4]);
    }
    // At most 999,999,990 Hz: four BCD bytes of 10 Hz.
    if (txnRx) {
        rxFrequency = static_cast<uint32_t>(hz);
        rxModeByte = response[4];
    } else {
        txFrequency = static_cast<uint32_t>(hz);
        txModeByte = response[4];
    }
    if (purpose == Purpose::InitRx) {
        state = State::ReadTxInit;
        return;
    }
    state = State::Ready;
    switch (purpose) {
    case Purpose::InitTx:
        link = Link::Connected;
        FT847_PRINTLN("FT847: CAT/SAT RX and TX reads verified; ready");
        break;
    case Purpose::PollRx:
        rigControlSubFrequencyReceived(hz, true);
        break;
    case Purpose::PollTx:
        rigControlFrequencyReceived(hz);
        break;
    case Purpose::InitRx:
    case Purpose::CheckFrequency:
    case Purpose::CheckMode:
        break;
    }
}
