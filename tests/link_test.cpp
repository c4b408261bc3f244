#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>

#include "DriverFixture.h"

namespace {

class ReadTransaction : public DriverTest {
protected:
    // Connected driver, radio switched off, an RX poll just written.
    void startSilentPoll() {
        connect();
        tick(100);
        uart.powered = false;
        ASSERT_TRUE(rig.requestRxRead());
        ASSERT_EQ(lastFrame(), "00 00 00 00 13");
        Serial.text.clear();
    }

    void radioSends(std::initializer_list<uint8_t> bytes) {
        for (uint8_t byte : bytes) {
            uart.rx.push_back(byte);
        }
    }

    // After any failure the driver is connected again 3000 ms later plus one handshake.
    void expectRecovery() {
        uart.powered = true;
        tick(2999 + 1604);
        EXPECT_FALSE(rig.isConnected());
        tick(1);
        EXPECT_TRUE(rig.isConnected()) << frameLog(uart);
    }
};

}  // namespace

TEST_F(ReadTransaction, PollRxDeliversTheFrequencyOnceToRigControl) {
    connect();
    tick(100);
    ASSERT_TRUE(rig.requestRxRead());
    EXPECT_TRUE(rig.busy());
    tick(1);
    EXPECT_EQ(rig.currentState(), FT847::State::Ready);
    ASSERT_EQ(frequencyReports.size(), 1u);
    EXPECT_TRUE(frequencyReports[0].sub);
    EXPECT_EQ(frequencyReports[0].hz, 145800000u);
    EXPECT_TRUE(frequencyReports[0].flag);
    EXPECT_TRUE(rig.isConnected());
}

TEST_F(ReadTransaction, PollTxCollectsAReplyThatArrivesInPieces) {
    connect();
    tick(100);
    uart.powered = false;
    ASSERT_TRUE(rig.requestTxRead());
    EXPECT_EQ(lastFrame(), "00 00 00 00 23");
    radioSends({0x43, 0x51});
    tick(1);
    radioSends({0x23, 0x45});
    tick(1);
    EXPECT_TRUE(frequencyReports.empty());
    radioSends({0x01});
    tick(1);
    ASSERT_EQ(frequencyReports.size(), 1u);
    EXPECT_FALSE(frequencyReports[0].sub);
    EXPECT_EQ(frequencyReports[0].hz, 435123450u);
    EXPECT_TRUE(rig.isConnected());
}

TEST_F(ReadTransaction, StaleBytesAreDiscardedBeforeTheReadGoesOut) {
    connect();
    tick(100);
    radioSends({0x99, 0x99, 0x99});
    ASSERT_TRUE(rig.requestRxRead());
    tick(1);
    ASSERT_EQ(frequencyReports.size(), 1u);
    EXPECT_EQ(frequencyReports[0].hz, 145800000u);
    EXPECT_TRUE(rig.isConnected());
}

TEST_F(ReadTransaction, FourBytesThenSilenceTimeOutAtExactly500Ms) {
    startSilentPoll();
    const uint32_t sentAt = uart.times.back();
    radioSends({0x14, 0x58, 0x00, 0x00});
    tick(499);
    EXPECT_FALSE(rig.failed()) << "499 ms is still within the timeout";
    EXPECT_TRUE(rig.busy());
    tick(1);
    EXPECT_EQ(clockMs - sentAt, 500u);
    EXPECT_TRUE(rig.failed());
    EXPECT_FALSE(rig.initialized());
    EXPECT_FALSE(rig.busy());
    EXPECT_EQ(Serial.text,
              "FT847 RX TIMEOUT: opcode=0x13, received=4/5, elapsed=500 ms\n"
              "FT847 ERROR: Read timeout (500 ms)\n");
    EXPECT_TRUE(frequencyReports.empty());
    expectRecovery();
}

TEST_F(ReadTransaction, ASixthByteFailsTheReplyAndIsDiscarded) {
    startSilentPoll();
    radioSends({0x14, 0x58, 0x00, 0x00, 0x08, 0x08, 0x77});
    tick(1);
    EXPECT_TRUE(rig.failed());
    EXPECT_EQ(Serial.text, "FT847 ERROR: Unexpected extra CAT response bytes\n");
    EXPECT_EQ(uart.available(), 0);
    EXPECT_TRUE(frequencyReports.empty());
    expectRecovery();
}

TEST_F(ReadTransaction, BadBcdAndZeroFrequencyFailTheLink) {
    for (uint8_t first : {uint8_t{0x1A}, uint8_t{0x00}}) {
        SCOPED_TRACE(first);
        startSilentPoll();
        radioSends({first, 0x00, 0x00, 0x00, 0x08});
        tick(1);
        EXPECT_TRUE(rig.failed());
        EXPECT_EQ(Serial.text, "FT847 ERROR: Invalid BCD response\n");
        EXPECT_TRUE(frequencyReports.empty());
        expectRecovery();
    }
}

// The owner's loop may come back long after the read went out. What counts is what has arrived
// when update() looks, then the time that has passed; the timeout line gives the real time.
TEST_F(ReadTransaction, ALateLoopIsJudgedByWhatHasArrivedWhenItLooks) {
    startSilentPoll();
    const uint32_t sentAt = uart.times.back();
    radioSends({0x14, 0x58});
    tick(10);
    radioSends({0x00, 0x00, 0x08});
    clockMs += 689;  // the loop was busy elsewhere
    tick(1);
    EXPECT_EQ(clockMs - sentAt, 700u);
    ASSERT_EQ(frequencyReports.size(), 1u) << "five bytes waiting count, however late";
    EXPECT_EQ(frequencyReports[0].hz, 145800000u);
    EXPECT_TRUE(rig.isConnected());
    EXPECT_EQ(Serial.text, "");

    ASSERT_TRUE(rig.requestTxRead());
    radioSends({0x43, 0x58, 0x00, 0x00});
    clockMs += 1999;
    tick(1);
    EXPECT_TRUE(rig.failed());
    EXPECT_EQ(Serial.text,
              "FT847 RX TIMEOUT: opcode=0x23, received=4/5, elapsed=2000 ms\n"
              "FT847 ERROR: Read timeout (500 ms)\n");
    expectRecovery();

    tick(100);
    uart.powered = false;
    ASSERT_TRUE(rig.requestRxRead());
    Serial.text.clear();
    radioSends({0x14, 0x58, 0x00, 0x00, 0x08, 0x08});
    clockMs += 599;
    tick(1);
    EXPECT_TRUE(rig.failed());
    EXPECT_EQ(Serial.text, "FT847 ERROR: Unexpected extra CAT response bytes\n");
    EXPECT_EQ(frequencyReports.size(), 1u);
}

TEST_F(ReadTransaction, AFailedWriteIsLatchedAndTheDriverComesBack) {
    connect();
    tick(100);
    const size_t written = uart.packets.size();
    uart.failWrites = true;
    Serial.text.clear();
    EXPECT_FALSE(rig.requestRxRead());
    EXPECT_TRUE(rig.failed());
    EXPECT_FALSE(rig.isConnected());
    EXPECT_EQ(uart.packets.size(), written);
    EXPECT_EQ(Serial.text, "FT847 ERROR: UART write failed\n");
    uart.failWrites = false;
    expectRecovery();
}

// The port's write() returns the bytes it took; anything but the frame's five is a failure,
// latched like any other, with nothing flushed and the spacing clock untouched.
TEST_F(ReadTransaction, AWriteThatTakesAnythingButFiveBytesFailsTheLink) {
    for (int taken : {0, 1, 4, 6}) {
        SCOPED_TRACE(taken);
        connect();
        tick(100);
        const size_t written = uart.packets.size();
        const uint32_t flushes = uart.flushes;
        uart.writeReturns = taken;
        Serial.text.clear();
        EXPECT_FALSE(rig.requestRxRead());
        EXPECT_TRUE(rig.failed());
        EXPECT_EQ(uart.flushes, flushes) << "a failed write is not flushed";
        EXPECT_EQ(Serial.text, "FT847 ERROR: UART write failed\n");
        uart.writeReturns = -1;
        expectRecovery();
        EXPECT_EQ(hex(uart.packets[written]), "00 00 00 00 00") << "the retry starts with CAT ON";
    }
}

// Every frame is one write of five bytes, flushed right after it; nothing else is flushed.
TEST_F(DriverTest, FlushesEachFrameRightAfterWritingIt) {
    connect();
    EXPECT_EQ(uart.packets.size(), 4u);
    EXPECT_EQ(uart.flushes, 4u);
    tick(100);
    ASSERT_TRUE(rig.setModeFm());
    ASSERT_TRUE(tickUntilFrame());
    EXPECT_FALSE(uart.unflushed) << "flushed within the update that wrote it";
    EXPECT_EQ(uart.flushes, 5u);
    tick(200);
    ASSERT_TRUE(rig.setTxTone(88.5));
    tick(300);
    EXPECT_EQ(frameLog(uart, 4),
              "1705: 08 00 00 00 17\n"
              "1805: 00 00 00 00 13\n"
              "1906: 0E 00 00 00 2B\n"
              "2006: 4A 00 00 00 2A\n");
    EXPECT_EQ(uart.flushes, 8u);
    EXPECT_EQ(uart.oddWrites, 0u);
}

TEST_F(DriverTest, FrameSpacingHoldsAcrossTheClockWrap) {
    connect();
    clockMs = 0xFFFFFFC4u;  // 60 ms before the wrap
    ASSERT_TRUE(rig.requestRxRead());
    EXPECT_EQ(uart.times.back(), 0xFFFFFFC4u);
    tick(1);
    ASSERT_EQ(rig.currentState(), FT847::State::Ready);
    tick(98);
    ASSERT_EQ(clockMs, 39u);
    EXPECT_TRUE(rig.busy()) << "99 ms since the last frame";
    EXPECT_FALSE(rig.requestTxRead());
    tick(1);
    EXPECT_FALSE(rig.busy()) << "100 ms since the last frame";
    EXPECT_TRUE(rig.requestTxRead());
    EXPECT_EQ(uart.times.back(), 40u);
}
