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

namespace {

// Place values of the eight digits the radio gets, 100 MHz down to 10 Hz.
constexpr uint32_t kDigitHz[8] = {100000000, 10000000, 1000000, 100000, 10000, 1000, 100, 10};

// One decimal digit by repeated subtraction: a Cortex-M0+ has no divide instruction, and this
// needs no library routine on any core.
uint32_t takeDigit(uint32_t& rest, uint32_t placeHz) {
    uint32_t digit = 0;
    while (rest >= placeHz) {
        rest -= placeHz;
        ++digit;
    }
    return digit;
}

}  // namespace

// The radio carries a frequency as 8 BCD digits of 10 Hz, most significant digit first, two
// digits a byte with the tens digit in the high nibble: 145,900,000 Hz is 14 59 00 00. The unit
// Hz digit never reaches the radio; it is dropped, not rounded. Below 10 Hz no digit is set.
bool FT847::encodeFrequency(uint64_t hz, uint8_t* out) {
    if (out == nullptr || hz < 10 || hz > kMaxFrequencyHz) {
        return false;
    }
    // Every frequency the radio takes fits in 32 bits.
    uint32_t rest = static_cast<uint32_t>(hz);
    for (size_t i = 0; i < 4; ++i) {
        const uint32_t high = takeDigit(rest, kDigitHz[2 * i]);
        const uint32_t low = takeDigit(rest, kDigitHz[2 * i + 1]);
        out[i] = static_cast<uint8_t>((high << 4) | low);
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
    // At most 999,999,990 Hz: the product fits in 32 bits.
    hz = tens * 10u;
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
