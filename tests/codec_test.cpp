#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "DriverFixture.h"

namespace {

// The CTCSS table of the radio: tone in tenths of Hz and the code it takes.
struct ToneRow {
    uint16_t tenths;
    uint8_t code;
};
const ToneRow kToneRows[39] = {
    {670, 0x3F},  {693, 0x39},  {719, 0x1F},  {744, 0x3E},  {770, 0x0F},  {797, 0x3D},
    {825, 0x1E},  {854, 0x3C},  {885, 0x0E},  {915, 0x3B},  {948, 0x1D},  {974, 0x3A},
    {1000, 0x0D}, {1035, 0x1C}, {1072, 0x0C}, {1109, 0x1B}, {1148, 0x0B}, {1188, 0x1A},
    {1230, 0x0A}, {1273, 0x19}, {1318, 0x09}, {1365, 0x18}, {1413, 0x08}, {1462, 0x17},
    {1514, 0x07}, {1567, 0x16}, {1622, 0x06}, {1679, 0x15}, {1738, 0x05}, {1799, 0x14},
    {1862, 0x04}, {1928, 0x13}, {2035, 0x03}, {2107, 0x12}, {2181, 0x02}, {2257, 0x11},
    {2336, 0x01}, {2418, 0x10}, {2503, 0x00},
};

// The tone match as defined, in double arithmetic on the host: d = 10.0 * hz - row, accepted
// when -0.01 < d < 0.01, first row first, nothing outside 67.0 to 250.3. The volatile stores
// round every step to a double, so no compiler can fuse or widen them.
int referenceTone(double hz) {
    if (!(hz >= 67.0 && hz <= 250.3)) {
        return -1;
    }
    for (const ToneRow& row : kToneRows) {
        volatile double product = 10.0 * hz;
        volatile double d = product - static_cast<double>(row.tenths);
        if (d > -0.01 && d < 0.01) {
            return row.code;
        }
    }
    return -1;
}

// The driver's answer in the same form: the code, or -1 when refused (the code untouched).
int driverTone(double hz) {
    uint8_t code = 0xEE;
    if (!FT847::encodeTone(hz, code)) {
        return code == 0xEE ? -1 : -2;
    }
    return code;
}

// Compares driver and definition over many inputs; names the first few that differ.
class ToneComparison {
public:
    void check(double hz) {
        const int expected = referenceTone(hz);
        const int actual = driverTone(hz);
        ++checked;
        accepted += expected >= 0 ? 1 : 0;
        if (expected != actual && ++mismatches <= 5) {
            uint64_t bits = 0;
            std::memcpy(&bits, &hz, sizeof bits);
            char line[128];
            std::snprintf(line, sizeof line, "%.17g (0x%016llX): defined %d, driver %d\n", hz,
                          static_cast<unsigned long long>(bits), expected, actual);
            report += line;
        }
    }

    size_t checked = 0;
    size_t accepted = 0;
    size_t mismatches = 0;
    std::string report;
};

double fromBits(uint64_t bits) {
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string encoded(uint64_t hz) {
    HardwareSerial::Frame frame{0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    if (!FT847::encodeFrequency(hz, frame.data())) {
        return "rejected, " + hex(frame);
    }
    return hex(frame);
}

}  // namespace

TEST(FrequencyCodec, EncodesTensOfHzAsEightBcdDigitsAndRejectsOutOfRange) {
    EXPECT_EQ(encoded(145900000), "14 59 00 00 EE");
    EXPECT_EQ(encoded(145800000), "14 58 00 00 EE");
    EXPECT_EQ(encoded(10), "00 00 00 01 EE");
    EXPECT_EQ(encoded(999999990), "99 99 99 99 EE");
    EXPECT_EQ(encoded(435123450), "43 51 23 45 EE");
    // The unit digit is dropped, not rounded.
    EXPECT_EQ(encoded(145900005), "14 59 00 00 EE");
    EXPECT_EQ(encoded(145900009), "14 59 00 00 EE");
    // Out of range: nothing is written.
    EXPECT_EQ(encoded(0), "rejected, EE EE EE EE EE");
    EXPECT_EQ(encoded(9), "rejected, EE EE EE EE EE");
    EXPECT_EQ(encoded(999999991), "rejected, EE EE EE EE EE");
    EXPECT_EQ(encoded(UINT64_MAX), "rejected, EE EE EE EE EE");
    // A value that is in range only once truncated to 32 bits.
    EXPECT_EQ(encoded(0x100000000ULL + 145900000ULL), "rejected, EE EE EE EE EE");
    EXPECT_FALSE(FT847::encodeFrequency(145900000, nullptr));
}

TEST(FrequencyCodec, DecodesBcdAndRejectsBadNibblesAndZero) {
    struct Case {
        uint8_t bytes[4];
        bool ok;
        uint64_t hz;
    };
    const Case cases[] = {
        {{0x14, 0x58, 0x00, 0x00}, true, 145800000},
        {{0x00, 0x00, 0x00, 0x01}, true, 10},
        {{0x99, 0x99, 0x99, 0x99}, true, 999999990},
        {{0x43, 0x51, 0x23, 0x45}, true, 435123450},
        {{0x00, 0x00, 0x00, 0x00}, false, 0},
        {{0x1A, 0x00, 0x00, 0x00}, false, 0},
        {{0xA1, 0x00, 0x00, 0x00}, false, 0},
        {{0x14, 0x58, 0x00, 0x0F}, false, 0},
        {{0xFF, 0xFF, 0xFF, 0xFF}, false, 0},
    };
    for (const Case& c : cases) {
        uint64_t hz = 7;
        EXPECT_EQ(FT847::decodeFrequency(c.bytes, hz), c.ok)
            << hex({c.bytes[0], c.bytes[1], c.bytes[2], c.bytes[3], 0});
        EXPECT_EQ(hz, c.ok ? c.hz : 7u) << "the result is written only on success";
    }
    uint64_t hz = 7;
    EXPECT_FALSE(FT847::decodeFrequency(nullptr, hz));
    EXPECT_EQ(hz, 7u);
}

TEST(FrequencyCodec, EveryEncodedFrequencyDecodesToItsTensOfHz) {
    for (uint64_t hz : {10ULL, 1234567ULL, 50000000ULL, 144000001ULL, 999999999ULL - 9}) {
        uint8_t bytes[4];
        uint64_t back = 0;
        ASSERT_TRUE(FT847::encodeFrequency(hz, bytes));
        ASSERT_TRUE(FT847::decodeFrequency(bytes, back));
        EXPECT_EQ(back, hz - hz % 10);
    }
}

TEST(ToneCodec, EncodesAll39StandardTones) {
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
        uint8_t code = 0xEE;
        EXPECT_TRUE(FT847::encodeTone(row.hz, code)) << row.hz;
        EXPECT_EQ(code, row.code) << row.hz;
    }
}

TEST(ToneCodec, RejectsTonesOutsideTheTableAndLeavesTheCodeAlone) {
    const double rejected[] = {
        0.0,     -88.5,  66.9,  250.4, 199.5, 88.55, 88.4, 1000.0,
        88.495,  88.505, 249.995,  // a few hundredths of a Hz off a row
        std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(),
    };
    for (double hz : rejected) {
        uint8_t code = 0xEE;
        EXPECT_FALSE(FT847::encodeTone(hz, code)) << hz;
        EXPECT_EQ(code, 0xEE) << hz;
    }
}

TEST(ToneCodec, AgreesWithTheDoubleFormulaOnTheDefinedExamples) {
    EXPECT_EQ(driverTone(88.5), 0x0E);
    EXPECT_EQ(driverTone(250.3), 0x00);
    EXPECT_EQ(driverTone(67.0), 0x3F);
    EXPECT_EQ(driverTone(88.55), -1) << "d = 0.5";
    EXPECT_EQ(driverTone(199.5), -1) << "no such row";
    EXPECT_EQ(driverTone(66.9), -1);
    EXPECT_EQ(driverTone(250.4), -1);
    // 10.0 * 88.499 - 885 is -0.0099999999999909 in doubles, just inside the tolerance; single
    // precision would put it outside.
    EXPECT_EQ(driverTone(88.499), 0x0E);
    EXPECT_EQ(driverTone(88.501), 0x0E);
    EXPECT_EQ(driverTone(88.4989), -1);
    EXPECT_EQ(driverTone(88.5011), -1);
    for (double hz : {88.5, 250.3, 88.55, 199.5, 66.9, 250.4, 88.499, 88.501, 88.4989, 88.5011}) {
        EXPECT_EQ(driverTone(hz), referenceTone(hz)) << hz;
    }
}

TEST(ToneCodec, AgreesWithTheDoubleFormulaAcrossEveryRowsToleranceEdges) {
    // 2,000 consecutive doubles on each side of both edges of every row, and of its centre.
    // An edge sweep must see both outcomes, or it missed the edge; beyond 67.0 and 250.3 it
    // sees none accepted. A centre sweep is all accepted, except at 67.0 and 250.3, where it
    // crosses the end of the range.
    constexpr int kSteps = 2000;
    ToneComparison all;
    for (const ToneRow& row : kToneRows) {
        for (double offset : {-0.01, 0.0, 0.01}) {
            ToneComparison sweep;
            const double edge = (row.tenths + offset) / 10.0;
            double hz = edge;
            for (int i = 0; i < kSteps; ++i) {
                hz = std::nextafter(hz, 0.0);
            }
            for (int i = 0; i < 2 * kSteps + 1; ++i) {
                sweep.check(hz);
                all.check(hz);
                hz = std::nextafter(hz, 1000.0);
            }
            EXPECT_EQ(sweep.mismatches, 0u) << row.tenths << " " << offset << "\n" << sweep.report;
            const bool atEnd = row.tenths == 670 || row.tenths == 2503;
            const bool outside = (row.tenths == 670 && offset < 0) ||
                                 (row.tenths == 2503 && offset > 0);
            if (outside) {
                EXPECT_EQ(sweep.accepted, 0u) << row.tenths << " " << offset;
            } else if (offset != 0.0 || atEnd) {
                EXPECT_GT(sweep.accepted, 0u) << row.tenths << " " << offset;
                EXPECT_LT(sweep.accepted, sweep.checked) << row.tenths << " " << offset;
            } else {
                EXPECT_EQ(sweep.accepted, sweep.checked) << row.tenths;
            }
        }
    }
    EXPECT_EQ(all.checked, 39u * 3u * (2u * kSteps + 1u));
}

TEST(ToneCodec, AgreesWithTheDoubleFormulaOnRandomAndSpecialDoubles) {
    ToneComparison comparison;
    std::mt19937_64 random(847);
    // Any bit pattern: mostly huge, tiny, negative, subnormal, infinite or NaN.
    for (int i = 0; i < 200000; ++i) {
        comparison.check(fromBits(random()));
    }
    // Anywhere around the range, and close to a random row.
    std::uniform_real_distribution<double> around(60.0, 260.0);
    std::uniform_real_distribution<double> near(-0.0015, 0.0015);
    std::uniform_int_distribution<int> pick(0, 38);
    for (int i = 0; i < 200000; ++i) {
        comparison.check(around(random));
        comparison.check(kToneRows[pick(random)].tenths / 10.0 + near(random));
    }
    const double inf = std::numeric_limits<double>::infinity();
    const double special[] = {
        std::numeric_limits<double>::quiet_NaN(),
        -std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::signaling_NaN(),
        fromBits(0x7FF0000000000001ULL),  // the smallest NaN pattern
        fromBits(0xFFFFFFFFFFFFFFFFULL),
        inf,
        -inf,
        0.0,
        -0.0,
        std::numeric_limits<double>::denorm_min(),
        -std::numeric_limits<double>::denorm_min(),
        fromBits(0x000FFFFFFFFFFFFFULL),  // the largest subnormal
        std::numeric_limits<double>::min(),
        std::numeric_limits<double>::max(),
        -std::numeric_limits<double>::max(),
        -88.5,
        -250.3,
        1e300,
        885.0,
        8.85,
        std::nextafter(67.0, 0.0),
        std::nextafter(250.3, 1000.0),
        std::nextafter(250.3, 0.0),
        std::nextafter(67.0, 1000.0),
    };
    for (double hz : special) {
        comparison.check(hz);
    }
    EXPECT_EQ(comparison.mismatches, 0u) << comparison.report;
    EXPECT_GT(comparison.accepted, 10000u) << "the samples near rows must include matches";
    EXPECT_EQ(driverTone(std::nextafter(250.3, 1000.0)), -1) << "just above the range";
    EXPECT_EQ(driverTone(std::nextafter(250.3, 0.0)), 0x00) << "just below 250.3";
    EXPECT_EQ(driverTone(std::nextafter(67.0, 0.0)), -1) << "just below the range";
}
