#include "RadioModel.h"

namespace {

// The radio's CAT opcodes, byte 5 of a command.
constexpr uint8_t kCatOn = 0x00;
constexpr uint8_t kCatOff = 0x80;
constexpr uint8_t kSatOn = 0x4E;
constexpr uint8_t kSatOff = 0x8E;
constexpr uint8_t kSetSatRxFrequency = 0x11;
constexpr uint8_t kSetSatTxFrequency = 0x21;
constexpr uint8_t kReadSatRx = 0x13;
constexpr uint8_t kReadSatTx = 0x23;
constexpr uint8_t kSetSatRxMode = 0x17;
constexpr uint8_t kSetSatTxMode = 0x27;
constexpr uint8_t kSetSatTxTone = 0x2B;
constexpr uint8_t kSetSatTxToneMode = 0x2A;
constexpr uint8_t kToneEncoderOn = 0x4A;
constexpr uint8_t kToneEncoderOff = 0x8A;

constexpr uint64_t kBitsPerByte = 11;  // start, 8 data, 2 stop

// LSB, USB, CW, CW-R, AM, FM and the narrow variants of CW, CW-R, AM and FM.
bool knownMode(uint8_t mode) {
    switch (mode) {
    case 0x00: case 0x01: case 0x02: case 0x03: case 0x04: case 0x08:
    case 0x82: case 0x83: case 0x84: case 0x88:
        return true;
    default:
        return false;
    }
}

// Eight BCD digits, not all zero; the radio ignores a frequency it cannot read.
bool decodeTens(const uint8_t* bcd, uint32_t& tens) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const uint32_t high = bcd[i] >> 4;
        const uint32_t low = bcd[i] & 0x0Fu;
        if (high > 9 || low > 9) {
            return false;
        }
        value = value * 100 + high * 10 + low;
    }
    tens = value;
    return value != 0;
}

}  // namespace

bool RadioModel::Faults::any() const {
    return loseFrame != 0 || dropByte != 0 || corruptByte != 0 || duplicateByte != 0 ||
           truncateReply != 0 || extraLatencyMs != 0 || refuseWrites;
}

RadioModel::RadioModel(const Options& options)
    : satRx(options.satRx),
      satTx(options.satTx),
      baud(options.baud),
      latencyMs(options.latencyMs),
      state(options.seed ^ 0x9E3779B97F4A7C15ull),
      on(options.powered) {}

uint64_t RadioModel::byteUs(uint64_t count) const {
    return (count * kBitsPerByte * 1000000u + baud - 1) / baud;
}

void RadioModel::receive(const uint8_t* bytes, size_t length, uint64_t sentUs) {
    for (size_t i = 0; i < length; ++i) {
        if (!on) {
            continue;  // a switched-off radio hears nothing
        }
        partial[partialLength++] = bytes[i];
        if (partialLength == sizeof partial) {
            partialLength = 0;
            execute(partial, sentUs + byteUs(i + 1));
        }
    }
}

void RadioModel::execute(const uint8_t* frame, uint64_t atUs) {
    if (strikes(faults.loseFrame)) {
        ++tally.framesLost;
        return;
    }
    const uint8_t opcode = frame[4];
    if (opcode == kCatOn) {
        catOn = true;
        return;
    }
    if (!catOn) {
        ++tally.framesIgnored;
        return;
    }
    uint32_t tens = 0;
    switch (opcode) {
    case kCatOff:
        catOn = false;
        satOn = false;
        return;
    case kSatOn:
        satOn = true;
        return;
    case kSatOff:
        satOn = false;
        return;
    default:
        break;
    }
    if (!satOn) {
        ++tally.framesIgnored;
        return;
    }
    switch (opcode) {
    case kSetSatRxFrequency:
    case kSetSatTxFrequency:
        if (decodeTens(frame, tens)) {
            (opcode == kSetSatRxFrequency ? satRx : satTx).tens = tens;
        }
        break;
    case kSetSatRxMode:
    case kSetSatTxMode:
        if (knownMode(frame[0])) {
            (opcode == kSetSatRxMode ? satRx : satTx).mode = frame[0];
        }
        break;
    case kSetSatTxTone:
        toneCode = frame[0];
        break;
    case kSetSatTxToneMode:
        if (frame[0] == kToneEncoderOn || frame[0] == kToneEncoderOff) {
            toneEncoder = frame[0] == kToneEncoderOn;
        }
        break;
    case kReadSatRx:
        reply(satRx, atUs);
        break;
    case kReadSatTx:
        reply(satTx, atUs);
        break;
    default:
        ++tally.framesIgnored;
        break;
    }
}

// Four BCD bytes of the frequency in 10 Hz units, most significant digit first, then the mode.
// A reply waits for the line to be free of the previous one.
void RadioModel::reply(const Vfo& vfo, uint64_t atUs) {
    uint8_t bytes[5];
    uint32_t tens = vfo.tens;
    for (int i = 3; i >= 0; --i) {
        const uint32_t pair = tens % 100;
        bytes[i] = static_cast<uint8_t>(((pair / 10) << 4) | (pair % 10));
        tens /= 100;
    }
    bytes[4] = vfo.mode;
    ++tally.replies;

    size_t length = sizeof bytes;
    if (strikes(faults.truncateReply)) {
        length = draw() % 5;
        ++tally.repliesTruncated;
    }
    if (faults.extraLatencyMs != 0) {
        ++tally.repliesDelayed;
    }
    uint64_t startUs = atUs + (uint64_t{latencyMs} + faults.extraLatencyMs) * 1000u;
    if (startUs < lineFreeUs) {
        startUs = lineFreeUs;
    }
    // A dropped byte still takes its time on the line; the receiver just never gets it.
    uint64_t slots = 0;
    for (size_t i = 0; i < length; ++i) {
        uint8_t byte = bytes[i];
        ++slots;
        if (strikes(faults.dropByte)) {
            ++tally.bytesDropped;
            continue;
        }
        if (strikes(faults.corruptByte)) {
            byte = static_cast<uint8_t>(byte ^ (1u << (draw() % 8)));
            ++tally.bytesCorrupted;
        }
        outgoing.push_back({startUs + byteUs(slots), byte});
        if (strikes(faults.duplicateByte)) {
            ++tally.bytesDuplicated;
            ++slots;
            outgoing.push_back({startUs + byteUs(slots), byte});
        }
    }
    if (slots != 0) {
        lineFreeUs = startUs + byteUs(slots);
    }
}

bool RadioModel::nextByte(uint64_t nowUs, uint8_t& byte) {
    if (outgoing.empty() || outgoing.front().dueUs > nowUs) {
        return false;
    }
    byte = outgoing.front().byte;
    outgoing.pop_front();
    return true;
}

uint64_t RadioModel::nextByteDueUs() const { return outgoing.front().dueUs; }

void RadioModel::setPowered(bool powerOn) {
    if (!powerOn) {
        outgoing.clear();
        partialLength = 0;
        catOn = false;
        satOn = false;
    }
    on = powerOn;
}

bool RadioModel::strikes(uint16_t chance) {
    return chance != 0 && draw() % 1000 < chance;
}

// xorshift64*: small, fast and the same on every platform, so a seed replays a run exactly.
uint32_t RadioModel::draw() {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return static_cast<uint32_t>((state * 0x2545F4914F6CDD1Dull) >> 32);
}
