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
    EXPECT_EQ(uart.emptyReads, 1u) << "and the read is counted as a broken promise";
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
    EXPECT_EQ(uart.oddWrites, 3u);
    EXPECT_STREQ(uart.brokenPromise(), "a write of other than one 5-byte frame");
}

// As strict as a real UART about the driver's side: each broken promise is counted, and the
// first one is named.
TEST(SimulatedUart, CountsEachPromiseOfThePortsContractThatIsBroken) {
    HardwareSerial uart;
    EXPECT_EQ(uart.brokenPromise(), nullptr);
    uart.begin(9600, 2, 1, 2);
    uart.begin(4800, 3, 5, 6);
    EXPECT_EQ(uart.beginCalls, 2u);
    EXPECT_EQ(uart.baud, 4800u);
    EXPECT_EQ(uart.config, 3);
    EXPECT_EQ(uart.rxPin, 5);
    EXPECT_EQ(uart.txPin, 6);

    uart.powered = true;
    ASSERT_EQ(uart.write(kReadRx, 5), 5u);
    EXPECT_TRUE(uart.unflushed);
    EXPECT_STREQ(uart.brokenPromise(), "a frame not flushed right after it was written");
    uart.flush();
    EXPECT_EQ(uart.flushes, 1u);
    EXPECT_EQ(uart.brokenPromise(), nullptr) << "flushed, and the reply not yet read is fine";

    // The reply is still waiting when the next read goes out, and that one is never flushed.
    ASSERT_EQ(uart.write(kReadRx, 5), 5u);
    EXPECT_EQ(uart.staleReads, 1u);
    ASSERT_EQ(uart.write(kReadRx, 5), 5u);
    EXPECT_EQ(uart.staleReads, 2u);
    EXPECT_EQ(uart.unflushedWrites, 1u);
    uart.flush();
    EXPECT_STREQ(uart.brokenPromise(), "a frame not flushed right after it was written");

    HardwareSerial stale;
    stale.rx.push_back(0x99);
    ASSERT_EQ(stale.write(kReadRx, 5), 5u);
    stale.flush();
    EXPECT_STREQ(stale.brokenPromise(), "a read command written while received bytes were unread");
    const uint8_t satOn[5] = {0x00, 0x00, 0x00, 0x00, 0x4E};
    HardwareSerial other;
    other.rx.push_back(0x99);
    ASSERT_EQ(other.write(satOn, 5), 5u);
    other.flush();
    EXPECT_EQ(other.brokenPromise(), nullptr) << "only a read command needs an empty queue";
}

TEST(SimulatedUart, AWriteCanBeMadeToReturnAnyCountAndThenTakesNothing) {
    HardwareSerial uart;
    uart.powered = true;
    for (int result : {0, 1, 4, 6}) {
        uart.writeReturns = result;
        EXPECT_EQ(uart.write(kReadRx, 5), static_cast<size_t>(result));
    }
    EXPECT_TRUE(uart.packets.empty());
    EXPECT_EQ(uart.available(), 0);
    uart.writeReturns = -1;
    EXPECT_EQ(uart.write(kReadRx, 5), 5u);
    EXPECT_EQ(uart.packets.size(), 1u);
}

TEST(SimulatedUart, QueuesBytesInOrderAcrossTheEndOfItsRing) {
    HardwareSerial uart;
    const size_t capacity = HardwareSerial::kReceiveCapacity;
    EXPECT_EQ(capacity, 2048u);
    for (size_t round = 0; round < 3; ++round) {
        for (size_t i = 0; i < capacity - 1; ++i) {
            uart.rx.push_back(static_cast<uint8_t>(i + round));
        }
        ASSERT_EQ(uart.available(), static_cast<int>(capacity - 1));
        EXPECT_EQ(uart.rx[capacity - 2], static_cast<uint8_t>(capacity - 2 + round));
        for (size_t i = 0; i < capacity - 1; ++i) {
            ASSERT_EQ(uart.read(), static_cast<int>(static_cast<uint8_t>(i + round))) << i;
        }
    }
    EXPECT_EQ(uart.emptyReads, 0u);
}

// A test that outgrows a fixed buffer stops at once, naming the buffer: it never loses a frame
// or a byte quietly, and never writes past the buffer.
TEST(SimulatedUartDeathTest, AFullRecordOrReceiveQueueStopsTheTestLoudly) {
    HardwareSerial uart;
    for (size_t i = 0; i < HardwareSerial::kRecordCapacity; ++i) {
        ASSERT_EQ(uart.write(kReadRx, 5), 5u);
        uart.flush();
    }
    EXPECT_EQ(uart.packets.size(), 4096u);
    EXPECT_EQ(uart.times.size(), 4096u);
    EXPECT_DEATH(uart.write(kReadRx, 5),
                 "bench: the record of frames is full \\(4096 entries\\); the test outgrew");

    HardwareSerial full;
    for (size_t i = 0; i < HardwareSerial::kReceiveCapacity; ++i) {
        full.rx.push_back(0x55);
    }
    EXPECT_EQ(full.available(), 2048);
    EXPECT_DEATH(full.rx.push_back(0x55), "bench: the receive queue is full \\(2048 entries\\)");
    // The bench's radio cannot squeeze its reply into a full queue either.
    full.powered = true;
    EXPECT_DEATH(full.write(kReadRx, 5), "bench: the receive queue is full");
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
