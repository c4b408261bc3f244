#include "RadioModel.h"

#include "CatProtocol.h"

namespace {

constexpr uint64_t kBitsPerByte = 11;  // start, 8 data, 2 stop

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
    if (opcode == cat::kCatOn) {
        catOn = true;
        return;
    }
    if (!catOn) {
        ++tally.framesIgnored;
        return;
    }
    uint32_t tens = 0;
    switch (opcode) {
    case cat::kCatOff:
        catOn = false;
        satOn = false;
        return;
    case cat::kSatOn:
        satOn = true;
        return;
    case cat::kSatOff:
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
    case cat::kSetSatRxFrequency:
    case cat::kSetSatTxFrequency:
        // The radio ignores a frequency it cannot read, and an all-zero one.
        if (cat::decodeBcd(frame, tens) && tens != 0) {
            (opcode == cat::kSetSatRxFrequency ? satRx : satTx).tens = tens;
        }
        break;
    case cat::kSetSatRxMode:
    case cat::kSetSatTxMode:
        if (cat::knownMode(frame[0])) {
            (opcode == cat::kSetSatRxMode ? satRx : satTx).mode = frame[0];
        }
        break;
    case cat::kSetSatTxTone:
        toneCode = frame[0];
        break;
    case cat::kSetSatTxToneMode:
        if (frame[0] == cat::kToneEncoderOn || frame[0] == cat::kToneEncoderOff) {
            toneEncoder = frame[0] == cat::kToneEncoderOn;
        }
        break;
    case cat::kReadSatRx:
        reply(satRx, atUs);
        break;
    case cat::kReadSatTx:
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
    uint8_t bytes[cat::kFrameLength];
    cat::encodeBcd(vfo.tens, bytes);
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
