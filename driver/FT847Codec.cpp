#include "FT847.h"

#include <string.h>

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
    const uint32_t inHz = tens * 10U;
    hz = inHz;
    return true;
}

// Only the 39 standard tones exist. A tone matches a row exactly when this double arithmetic
// says so: d = 10.0 * hz - row, accepted when -0.01 < d < 0.01, first row first. A Cortex-M4
// has single precision only, and a Cortex-M0+ or an RV32IMAC no floating point at all, so the
// driver reaches the same answer on the bit pattern of the double, with integers only:
// - 67.0 <= hz <= 250.3 holds exactly when the pattern, read as an unsigned integer, lies
//   between the patterns of the two bounds: positive doubles order like their patterns, and
//   negative values, -0.0 and every NaN fall outside.
// - In that range hz = m * 2^(e - 52) with 2^52 <= m < 2^53 and e = 6 or 7. 10 * m is exact in
//   57 bits; rounded to 53 bits, to nearest with ties to even, it is the double 10.0 * hz,
//   which is then a whole number p of 2^-43 units.
// - Within a unit of a row, 10.0 * hz and the row are within a factor of two of each other, so
//   the double subtraction is exact: d = p * 2^-43 - row. Further away |d| >= 1 either way.
// - The double 0.01 is 5764607523034235 * 2^-59, not a whole number of 2^-43 units, so
//   |d| < 0.01 exactly when |d| is at most 5764607523034235 >> 16 units.
bool FT847::encodeTone(double hz, uint8_t& code) {
    constexpr uint64_t kBits67Hz = 0x4050C00000000000ULL;    // 67.0
    constexpr uint64_t kBits250_3Hz = 0x406F49999999999AULL;  // 250.3, as the double nearest
    constexpr uint64_t kFractionMask = (1ULL << 52) - 1;
    constexpr uint64_t kUnitsPerTenth = 1ULL << 43;             // a row is in tenths of Hz
    constexpr uint64_t kTolerance = 5764607523034235ULL >> 16;  // 0.01 in 2^-43 units, floored

    uint64_t bits = 0;
    memcpy(&bits, &hz, sizeof bits);
    if (bits < kBits67Hz || bits > kBits250_3Hz) {
        return false;
    }
    const uint64_t m = (bits & kFractionMask) | (kFractionMask + 1);
    // 10 * m from two 32-bit products, which every one of these cores multiplies in hardware.
    const uint32_t tenHigh = static_cast<uint32_t>(m >> 26) * 10U;            // below 2^31
    const uint32_t tenLow = (static_cast<uint32_t>(m) & ((1U << 26) - 1)) * 10U;  // below 2^30
    uint64_t wide = (static_cast<uint64_t>(tenHigh) << 26) + tenLow;
    // Brought to 57 bits, so that rounding to 53 always drops four. p then needs doubling
    // e - 5 times, once less if 10 * m had only 56 bits.
    uint32_t doublings = static_cast<uint32_t>(bits >> 52) - (1023U + 5U);
    if (wide < (1ULL << 56)) {
        wide <<= 1;
        --doublings;
    }
    uint64_t p = wide >> 4;
    const uint32_t dropped = static_cast<uint32_t>(wide & 15U);
    if (dropped > 8U || (dropped == 8U && (p & 1U) != 0)) {
        ++p;
    }
    for (; doublings > 0; --doublings) {
        p += p;
    }
    // The only row that can be near: the tenth below p, or the one above it.
    const uint64_t fraction = p & (kUnitsPerTenth - 1);
    uint32_t nearest = static_cast<uint32_t>(p >> 43);
    if (fraction > kTolerance) {
        if (kUnitsPerTenth - fraction > kTolerance) {
            return false;
        }
        ++nearest;
    }
    for (size_t i = 0; i < kToneCount; ++i) {
        if (frequencies[i] == nearest) {
            code = codes[i];
            return true;
        }
    }
    return false;
}
