#include <gtest/gtest.h>

#include <cstdint>

#include "DriverFixture.h"

namespace {

const uint8_t kReadRx[5] = {0x00, 0x00, 0x00, 0x00, 0x13};

}  // namespace

TEST(SimulatedUart, RecordsFramesWithTheirTimeAndAnswersReadsOnlyWhenPowered) {
    clockMs = 1234;
    HardwareSerial uart;
    EXPECT_EQ(uart.write(kReadRx, 5), 5u);
    EXPECT_EQ(uart.available(), 0) << "a switched-off radio does not answer";

    uart.powered = true;
    clockMs = 1300;
    const uint8_t readTx[5] = {0x00, 0x00, 0x00, 0x00, 0x23};
    const uint8_t satOn[5] = {0x00, 0x00, 0x00, 0x00, 0x4E};
    EXPECT_EQ(uart.write(readTx, 5), 5u);
    EXPECT_EQ(uart.write(satOn, 5), 5u);
    ASSERT_EQ(uart.packets.size(), 3u);
    EXPECT_EQ(hex(uart.packets[1]), "00 00 00 00 23");
    EXPECT_EQ(uart.times[0], 1234u);
    EXPECT_EQ(uart.times[2], 1300u);

    const int reply[5] = {0x14, 0x58, 0x00, 0x00, 0x08};
    ASSERT_EQ(uart.available(), 5) << "only the read is answered, with one reply";
    for (int byte : reply) {
        EXPECT_EQ(uart.read(), byte);
    }
    EXPECT_EQ(uart.read(), -1) << "an empty port reads as -1";
    EXPECT_EQ(uart.available(), 0);
}

TEST(SimulatedUart, FailingWritesTakeNothingAndRecordNothing) {
    HardwareSerial uart;
    uart.powered = true;
    uart.failWrites = true;
    EXPECT_EQ(uart.write(kReadRx, 5), 0u);
    EXPECT_TRUE(uart.packets.empty());
    EXPECT_TRUE(uart.times.empty());
    EXPECT_EQ(uart.available(), 0);
}

TEST(SimulatedUart, NeverReadsOrCopiesPastTheCallersBytes) {
    HardwareSerial uart;
    uart.powered = true;
    // Four bytes: the opcode position lies outside the caller's buffer and must not be read.
    const uint8_t shortFrame[4] = {0x14, 0x58, 0x00, 0x13};
    EXPECT_EQ(uart.write(shortFrame, 4), 4u);
    EXPECT_EQ(hex(uart.packets.back()), "14 58 00 13 00");
    EXPECT_EQ(uart.available(), 0) << "a partial frame is not a read command";

    const uint8_t longFrame[8] = {0x00, 0x00, 0x00, 0x00, 0x13, 0xAA, 0xBB, 0xCC};
    EXPECT_EQ(uart.write(longFrame, 8), 8u);
    EXPECT_EQ(hex(uart.packets.back()), "00 00 00 00 13") << "the record keeps five bytes";
    EXPECT_EQ(uart.available(), 0) << "only a whole 5-byte frame is a read command";

    EXPECT_EQ(uart.write(nullptr, 0), 0u);
    EXPECT_EQ(hex(uart.packets.back()), "00 00 00 00 00");
}

TEST_F(DriverTest, TickAdvancesTheClockBeforeEachUpdateAndWraps) {
    ASSERT_TRUE(rig.begin());
    tick(0);
    EXPECT_EQ(clockMs, 0u);
    EXPECT_TRUE(uart.packets.empty()) << "tick 0 calls no update";

    tick(1);
    ASSERT_EQ(uart.times.size(), 1u);
    EXPECT_EQ(uart.times[0], 1u) << "the first update already sees the clock moved";

    clockMs = 0xFFFFFF00u;
    tick(256);
    EXPECT_EQ(clockMs, 0u);
}
