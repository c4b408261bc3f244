#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "DriverFixture.h"

namespace {

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
