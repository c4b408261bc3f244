#include "FT847.h"

// CTCSS tones the FT-847 encoder offers, in tenths of Hz, and the code the radio uses for each.
// The codes follow no arithmetic rule; they come from the radio's CAT command table.
const uint16_t FT847::frequencies[kToneCount] = {
    670,  693,  719,  744,  770,  797,  825,  854,  885,  915,  948,  974,  1000,
    1035, 1072, 1109, 1148, 1188, 1230, 1273, 1318, 1365, 1413, 1462, 1514, 1567,
    1622, 1679, 1738, 1799, 1862, 1928, 2035, 2107, 2181, 2257, 2336, 2418, 2503,
};

const uint8_t FT847::codes[kToneCount] = {
    0x3F, 0x39, 0x1F, 0x3E, 0x0F, 0x3D, 0x1E, 0x3C, 0x0E, 0x3B, 0x1D, 0x3A, 0x0D,
    0x1C, 0x0C, 0x1B, 0x0B, 0x1A, 0x0A, 0x19, 0x09, 0x18, 0x08, 0x17, 0x07, 0x16,
    0x06, 0x15, 0x05, 0x14, 0x04, 0x13, 0x03, 0x12, 0x02, 0x11, 0x01, 0x10, 0x00,
};

// The radio carries a frequency as 8 BCD digits of 10 Hz, most significant digit first, two
// digits a byte with the tens digit in the high nibble: 145,900,000 Hz is 14 59 00 00. The unit
// Hz digit never reaches the radio; it is dropped, not rounded.
bool FT847::encodeFrequency(uint64_t hz, uint8_t* out) {
    if (out == nullptr || hz == 0 || hz > kMaxFrequencyHz) {
        return false;
    }
    uint32_t tens = static_cast<uint32_t>(hz / 10);
    if (tens == 0) {
        return false;
    }
    for (int i = 3; i >= 0; --i) {
        const uint32_t pair = tens % 100;
        out[i] = static_cast<uint8_t>(((pair / 10) << 4) | (pair % 10));
        tens /= 100;
    }
    return true;
}

// An all-zero frequency is no frequency the radio can be on, so it counts as a bad reply.
bool FT847::decodeFrequency(const uint8_t* in, uint64_t& hz) {
    if (in == nullptr) {
        return false;
    }
    uint32_t tens = 0;
    for (int i = 0; i < 4; ++i) {
        const uint32_t high = static_cast<uint32_t>(in[i] >> 4);
        const uint32_t low = static_cast<uint32_t>(in[i] & 0x0F);
        if (high > 9 || low > 9) {
            return false;
        }
        tens = tens * 100 + high * 10 + low;
    }
    if (tens == 0) {
        return false;
    }
    hz = static_cast<uint64_t>(tens) * 10;
    return true;
}

// Only the 39 standard tones exist; a tone must match a row to within 0.001 Hz.
bool FT847::encodeTone(double hz, uint8_t& code) {
    if (!(hz >= 67.0 && hz <= 250.3)) {  // also rejects NaN
        return false;
    }
    for (size_t i = 0; i < kToneCount; ++i) {
        const double difference = 10.0 * hz - static_cast<double>(frequencies[i]);
        if (difference > -0.01 && difference < 0.01) {
            code = codes[i];
            return true;
        }
    }
    return false;
}
