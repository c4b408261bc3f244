// The codec's checks, on whatever processor runs them: frequency encode and decode at the
// range edges and over every BCD digit in every position, and the CTCSS tone match against the
// double-precision formula computed by this processor (its FPU or its soft-float library).
// Only C headers, so that it builds where the toolchain has no C++ library. Prints every
// mismatch (at most 20) and one closing line, and returns 1 when any check failed.

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "CatProtocol.h"
#include "FT847.h"
#include "Log.h"
#include "Millis.h"

// The bench's globals, which the driver links against; the codec needs neither.
uint32_t clockMs = 0;
Log Serial;

namespace {

uint32_t checks = 0;
uint32_t failures = 0;

void check(bool ok, const char* what, uint64_t value) {
    ++checks;
    if (!ok && ++failures <= 20) {
        printf("FAIL %s: 0x%08lX%08lX\n", what, static_cast<unsigned long>(value >> 32),
               static_cast<unsigned long>(value & 0xFFFFFFFFu));
    }
}

uint64_t bitsOf(double value) {
    uint64_t bits = 0;
    memcpy(&bits, &value, sizeof bits);
    return bits;
}

double fromBits(uint64_t bits) {
    double value = 0;
    memcpy(&value, &bits, sizeof value);
    return value;
}

// splitmix64, the same numbers on every processor.
uint64_t nextRandom(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Encodes hz and compares the four bytes, or a refusal that writes nothing (expected null).
void expectEncoded(uint64_t hz, const uint8_t* expected) {
    uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    const bool ok = FT847::encodeFrequency(hz, out);
    if (expected == nullptr) {
        check(!ok && out[0] == 0xEE && out[1] == 0xEE && out[2] == 0xEE && out[3] == 0xEE,
              "encodeFrequency accepted or wrote an out-of-range frequency", hz);
        return;
    }
    check(ok && memcmp(out, expected, 4) == 0, "encodeFrequency", hz);
}

void frequencyEdges() {
    const uint8_t ten[4] = {0x00, 0x00, 0x00, 0x01};
    const uint8_t top[4] = {0x99, 0x99, 0x99, 0x99};
    const uint8_t sat[4] = {0x14, 0x59, 0x00, 0x00};
    expectEncoded(0, nullptr);
    expectEncoded(9, nullptr);
    expectEncoded(10, ten);
    expectEncoded(19, ten);
    expectEncoded(999999990, top);
    expectEncoded(999999999, nullptr);
    expectEncoded(999999991, nullptr);
    expectEncoded(UINT64_MAX, nullptr);
    expectEncoded(0x100000000ull + 145900000u, nullptr);  // in range only if cut to 32 bits
    expectEncoded(145900000, sat);
    expectEncoded(145900005, sat);  // the unit digit is dropped, not rounded
    check(!FT847::encodeFrequency(145900000, nullptr), "encodeFrequency into nullptr", 0);

    const uint8_t zero[4] = {0x00, 0x00, 0x00, 0x00};
    uint64_t hz = 7;
    check(!FT847::decodeFrequency(zero, hz) && hz == 7, "decodeFrequency of 00 00 00 00", hz);
    check(FT847::decodeFrequency(ten, hz) && hz == 10, "decodeFrequency of 00 00 00 01", hz);
    check(FT847::decodeFrequency(top, hz) && hz == 999999990, "decodeFrequency of 99s", hz);
    check(!FT847::decodeFrequency(nullptr, hz), "decodeFrequency of nullptr", hz);
}

// Every digit 1 to 9 in each of the eight positions of the tens of Hz, alone and under a
// background of other digits; and every nibble above 9 in each of the eight positions.
void frequencyDigits() {
    uint64_t place = 10;  // Hz of one unit of the digit's position
    for (int position = 7; position >= 0; --position, place *= 10) {
        const int byte = position / 2;
        const int shift = position % 2 == 0 ? 4 : 0;
        for (uint8_t digit = 1; digit <= 9; ++digit) {
            uint8_t expected[4] = {0, 0, 0, 0};
            expected[byte] = static_cast<uint8_t>(digit << shift);
            const uint64_t hz = digit * place;
            expectEncoded(hz, expected);
            uint64_t back = 0;
            check(FT847::decodeFrequency(expected, back) && back == hz, "decode of one digit", hz);

            // 12,345,678 tens of Hz with this position's digit replaced.
            uint8_t mixed[4] = {0x12, 0x34, 0x56, 0x78};
            mixed[byte] = static_cast<uint8_t>((mixed[byte] & (0xF0 >> shift)) | digit << shift);
            uint64_t mixedHz = 0;
            for (int i = 0; i < 4; ++i) {
                mixedHz = mixedHz * 100 + (mixed[i] >> 4) * 10 + (mixed[i] & 0x0F);
            }
            mixedHz *= 10;
            expectEncoded(mixedHz + digit % 10, mixed);
            check(FT847::decodeFrequency(mixed, back) && back == mixedHz, "decode", mixedHz);
        }
        for (uint8_t nibble = 0x0A; nibble <= 0x0F; ++nibble) {
            uint8_t bad[4] = {0x14, 0x58, 0x00, 0x00};
            bad[byte] = static_cast<uint8_t>((bad[byte] & (0xF0 >> shift)) | nibble << shift);
            uint64_t untouched = 7;
            check(!FT847::decodeFrequency(bad, untouched) && untouched == 7,
                  "decode accepted a nibble above 9",
                  uint64_t{bad[0]} << 24 | uint64_t{bad[1]} << 16 | uint64_t{bad[2]} << 8 | bad[3]);
        }
    }
}

// Random frequencies over the whole range, against the protocol's own BCD coding.
void frequencySweep(uint32_t count) {
    uint64_t state = 847;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t hz = 10 + nextRandom(state) % 999999981;
        uint8_t expected[4];
        cat::encodeBcd(static_cast<uint32_t>(hz / 10), expected);
        expectEncoded(hz, expected);
        uint64_t back = 0;
        check(FT847::decodeFrequency(expected, back) && back == hz - hz % 10, "round trip", hz);
    }
}

// The driver's answer: the code, -1 when refused with the code untouched, -2 when refused
// after writing it.
int driverTone(double hz) {
    uint8_t code = 0xEE;
    if (!FT847::encodeTone(hz, code)) {
        return code == 0xEE ? -1 : -2;
    }
    return code;
}

// The defining formula in this processor's double arithmetic: d = 10.0 * hz - row, accepted
// when -0.01 < d < 0.01, first row first, nothing outside 67.0 to 250.3 (nor NaN).
int definedTone(double hz) {
    uint8_t code = 0;
    return cat::toneCodeFor(hz, code) ? code : -1;
}

void expectTone(double hz, int expected) {
    check(driverTone(hz) == expected, "encodeTone against its literal answer", bitsOf(hz));
}

void compareTone(double hz, uint32_t& accepted) {
    const int defined = definedTone(hz);
    accepted += defined >= 0 ? 1 : 0;
    check(driverTone(hz) == defined, "encodeTone against the double formula", bitsOf(hz));
}

void toneTable() {
    struct Row {
        double hz;
        uint8_t code;
    };
    const Row rows[39] = {
        {67.0, 0x3F},  {69.3, 0x39},  {71.9, 0x1F},  {74.4, 0x3E},  {77.0, 0x0F},
        {79.7, 0x3D},  {82.5, 0x1E},  {85.4, 0x3C},  {88.5, 0x0E},  {91.5, 0x3B},
        {94.8, 0x1D},  {97.4, 0x3A},  {100.0, 0x0D}, {103.5, 0x1C}, {107.2, 0x0C},
        {110.9, 0x1B}, {114.8, 0x0B}, {118.8, 0x1A}, {123.0, 0x0A}, {127.3, 0x19},
        {131.8, 0x09}, {136.5, 0x18}, {141.3, 0x08}, {146.2, 0x17}, {151.4, 0x07},
        {156.7, 0x16}, {162.2, 0x06}, {167.9, 0x15}, {173.8, 0x05}, {179.9, 0x14},
        {186.2, 0x04}, {192.8, 0x13}, {203.5, 0x03}, {210.7, 0x12}, {218.1, 0x02},
        {225.7, 0x11}, {233.6, 0x01}, {241.8, 0x10}, {250.3, 0x00},
    };
    for (const Row& row : rows) {
        expectTone(row.hz, row.code);
    }
    expectTone(88.55, -1);  // 10 x 88.55 - 885 = 0.5
    expectTone(199.5, -1);  // no such row
    expectTone(66.9, -1);
    expectTone(250.4, -1);
    expectTone(-88.5, -1);
    // 10.0 x 88.499 - 885 is -0.0099999999999909 in doubles, inside the tolerance; in single
    // precision it would be outside. A processor whose double were 32 bits fails here.
    expectTone(88.499, 0x0E);
    expectTone(88.501, 0x0E);
    expectTone(88.4989, -1);
    expectTone(88.5011, -1);
    expectTone(fromBits(0x7FF8000000000000ull), -1);  // NaN
    expectTone(fromBits(0x7FF0000000000000ull), -1);  // infinity
}

// steps consecutive doubles on each side of both tolerance edges and the centre of every row;
// each edge sweep must see both outcomes, or it missed the edge.
void toneEdges(int steps) {
    static const uint16_t kTenths[39] = {
        670,  693,  719,  744,  770,  797,  825,  854,  885,  915,  948,  974,  1000,
        1035, 1072, 1109, 1148, 1188, 1230, 1273, 1318, 1365, 1413, 1462, 1514, 1567,
        1622, 1679, 1738, 1799, 1862, 1928, 2035, 2107, 2181, 2257, 2336, 2418, 2503,
    };
    for (uint16_t tenths : kTenths) {
        for (int side = -1; side <= 1; ++side) {
            const double edge = (tenths + side * 0.01) / 10.0;
            // Consecutive positive doubles have consecutive bit patterns.
            const uint64_t centre = bitsOf(edge);
            uint32_t accepted = 0;
            for (int64_t i = -steps; i <= steps; ++i) {
                compareTone(fromBits(centre + static_cast<uint64_t>(i)), accepted);
            }
            const bool outside = (tenths == 670 && side < 0) || (tenths == 2503 && side > 0);
            const bool atEnd = tenths == 670 || tenths == 2503;
            const uint32_t swept = static_cast<uint32_t>(2 * steps + 1);
            if (outside) {
                check(accepted == 0, "a sweep beyond the range accepted a tone", tenths);
            } else if (side != 0 || atEnd) {
                check(accepted > 0 && accepted < swept, "a sweep missed the edge", tenths);
            } else {
                check(accepted == swept, "a sweep over a row's centre refused a tone", tenths);
            }
        }
    }
}

// Any bit pattern (mostly huge, tiny, negative, subnormal, infinite or NaN), anywhere around the
// range, and close to a random row.
void toneRandom(uint32_t count) {
    uint64_t state = 88;
    uint32_t accepted = 0;
    for (uint32_t i = 0; i < count; ++i) {
        compareTone(fromBits(nextRandom(state)), accepted);
        const double unit = static_cast<double>(nextRandom(state) >> 11) / 9007199254740992.0;
        compareTone(60.0 + 200.0 * unit, accepted);
        const uint32_t row = static_cast<uint32_t>(nextRandom(state) % 39);
        compareTone(cat::kTones[row].tenths / 10.0 + (unit - 0.5) * 0.003, accepted);
    }
    check(accepted > count / 4, "the samples near rows include matches", accepted);
    const uint64_t special[] = {
        0x0000000000000000ull, 0x8000000000000000ull, 0x0000000000000001ull,
        0x000FFFFFFFFFFFFFull, 0x0010000000000000ull, 0x7FEFFFFFFFFFFFFFull,
        0xFFEFFFFFFFFFFFFFull, 0x7FF0000000000000ull, 0xFFF0000000000000ull,
        0x7FF8000000000000ull, 0xFFF8000000000000ull, 0x7FF4000000000000ull,
        0x7FF0000000000001ull, 0xFFFFFFFFFFFFFFFFull,
        bitsOf(67.0) - 1,      bitsOf(67.0),          bitsOf(250.3),
        bitsOf(250.3) + 1,     bitsOf(885.0),         bitsOf(8.85),
    };
    for (uint64_t bits : special) {
        compareTone(fromBits(bits), accepted);
    }
    expectTone(fromBits(bitsOf(250.3) + 1), -1);
    expectTone(fromBits(bitsOf(250.3) - 1), 0x00);
    expectTone(fromBits(bitsOf(67.0) - 1), -1);
}

}  // namespace

int main() {
    frequencyEdges();
    frequencyDigits();
    frequencySweep(50000);
    toneTable();
    toneEdges(1000);
    toneRandom(20000);
    if (failures != 0) {
        printf("FAIL: %lu of %lu codec checks\n", static_cast<unsigned long>(failures),
               static_cast<unsigned long>(checks));
        return 1;
    }
    printf("PASS: %lu codec checks\n", static_cast<unsigned long>(checks));
    return 0;
}
