#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "DriverFixture.h"

namespace {

// A connected driver, 100 ms after its last handshake frame, so a command goes out at once.
class Command : public DriverTest {
protected:
    void SetUp() override {
        connect();
        tick(100);
        Serial.text.clear();
        written = uart.packets.size();
    }

    // Frames written since SetUp.
    std::string newFrames() const { return frameLog(uart, written); }

    size_t written = 0;
};

}  // namespace

TEST_F(Command, ModeFmOnTheRxVfoIsSentThenReadBack) {
    ASSERT_TRUE(rig.setModeFm());
    EXPECT_TRUE(rig.busy());
    tick(1);
    tick(100);
    ASSERT_TRUE(rig.busy()) << "the read-back reply is taken on the next update";
    tick(1);
    EXPECT_FALSE(rig.busy() && rig.currentState() != FT847::State::Ready);
    EXPECT_EQ(rig.currentState(), FT847::State::Ready);
    EXPECT_TRUE(rig.isConnected());
    EXPECT_EQ(newFrames(),
              "1705: 08 00 00 00 17\n"
              "1805: 00 00 00 00 13\n");
    EXPECT_EQ(Serial.text, "FT847 MODE TX: 08 00 00 00 17 (RX)\n")
        << "FM read back as FM: no warning";
}

TEST_F(Command, ModesUseTheirCodesAndTheSelectedVfosOpcode) {
    struct Case {
        bool (*call)(FT847&);
        bool rx;
        const char* frame;
    };
    const Case cases[] = {
        {[](FT847& r) { return r.setModeLsb(); }, true, "00 00 00 00 17"},
        {[](FT847& r) { return r.setModeUsb(); }, false, "01 00 00 00 27"},
        {[](FT847& r) { return r.setModeCw(false); }, true, "02 00 00 00 17"},
        {[](FT847& r) { return r.setModeCw(true); }, false, "82 00 00 00 27"},
        {[](FT847& r) { return r.setModeFm(); }, false, "08 00 00 00 27"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(c.rx ? rig.selectSub() : rig.selectMain());
        ASSERT_TRUE(c.call(rig));
        ASSERT_TRUE(tickUntilFrame());
        EXPECT_EQ(lastFrame(), c.frame);
        ASSERT_TRUE(tickUntilFrame());
        EXPECT_EQ(lastFrame(), c.rx ? "00 00 00 00 13" : "00 00 00 00 23");
        tick(1);
        ASSERT_TRUE(rig.isConnected());
    }
}

TEST_F(Command, AModeThatDidNotTakeIsOnlyAWarning) {
    ASSERT_TRUE(rig.selectMain());
    ASSERT_TRUE(rig.setModeUsb());
    tick(101);  // mode frame, then the read-back; the bench radio reports FM
    tick(1);
    EXPECT_TRUE(rig.isConnected());
    EXPECT_EQ(rig.currentState(), FT847::State::Ready);
    EXPECT_EQ(Serial.text,
              "FT847 MODE TX: 01 00 00 00 27 (TX)\n"
              "FT847 MODE WARNING: TX requested=0x01 actual=0x08; frequency setup continues\n");
}

TEST_F(Command, FrequencyOnTheTxVfoIsSentAndAMismatchedReadBackFailsTheLink) {
    ASSERT_TRUE(rig.selectMain());
    ASSERT_TRUE(rig.setFrequency(145900000));
    tick(101);
    EXPECT_EQ(newFrames(),
              "1705: 14 59 00 00 21\n"
              "1805: 00 00 00 00 23\n");
    tick(1);
    // The bench radio always reports 145.8 MHz.
    EXPECT_TRUE(rig.failed());
    EXPECT_FALSE(rig.isConnected());
    EXPECT_EQ(Serial.text, "FT847 ERROR: Frequency read-back mismatch\n");

    // The next handshake reads both VFOs again and the link comes back.
    tick(3000 + 1604);
    EXPECT_TRUE(rig.isConnected());

    // A read-back that differs only in the 10 Hz digit is a mismatch too.
    tick(100);
    Serial.text.clear();
    ASSERT_TRUE(rig.setFrequency(145800010));
    tick(102);
    EXPECT_TRUE(rig.failed());
    EXPECT_EQ(Serial.text, "FT847 ERROR: Frequency read-back mismatch\n");
}

TEST_F(Command, FrequencyTheRadioLastReportedIsNotSentAgain) {
    // The start-up read filled both caches with 145.8 MHz; the unit Hz digit does not count.
    EXPECT_TRUE(rig.setFrequency(145800000));
    EXPECT_TRUE(rig.setFrequency(145800009));
    ASSERT_TRUE(rig.selectMain());
    EXPECT_TRUE(rig.setFrequency(145800000));
    EXPECT_FALSE(rig.busy());
    tick(500);
    EXPECT_EQ(newFrames(), "");

    // After SAT ON both caches are empty and the same frequency is sent on either VFO.
    ASSERT_TRUE(rig.requestSatelliteMode());
    tick(1);
    EXPECT_EQ(Serial.text, "FT847 PRESET: SAT ON sent; wait 100 ms before RX/TX settings\n");
    tick(99);
    EXPECT_TRUE(rig.busy());
    tick(1);
    ASSERT_EQ(rig.currentState(), FT847::State::Ready);
    ASSERT_TRUE(rig.setFrequency(145800000));
    tick(102);
    tick(100);
    ASSERT_TRUE(rig.selectSub());
    ASSERT_TRUE(rig.setFrequency(145800000));
    tick(102);
    EXPECT_EQ(newFrames(),
              "2205: 00 00 00 00 4E\n"
              "2306: 14 58 00 00 21\n"
              "2406: 00 00 00 00 23\n"
              "2508: 14 58 00 00 11\n"
              "2608: 00 00 00 00 13\n");
    EXPECT_TRUE(rig.isConnected());
}

TEST_F(Command, FrequencyIsAcceptedInsideTheSpacingWindowAndItsFrameWaits) {
    ASSERT_TRUE(rig.requestTxRead());
    tick(1);
    ASSERT_TRUE(rig.busy()) << "1 ms after the read";
    ASSERT_TRUE(rig.setFrequency(435300000));
    tick(98);
    EXPECT_EQ(newFrames(), "1704: 00 00 00 00 23\n");
    tick(1);
    EXPECT_EQ(lastFrame(), "43 53 00 00 11");
    EXPECT_EQ(uart.times.back(), 1804u);
}

TEST_F(Command, SatellitePresetDropsAPartialReply) {
    uart.powered = false;
    ASSERT_TRUE(rig.requestRxRead());
    const uint8_t head[2] = {0x14, 0x58};
    uart.rx.append(head, sizeof head);
    tick(1);
    ASSERT_TRUE(rig.requestSatelliteMode());
    EXPECT_EQ(uart.available(), 0);
    const uint8_t rest[3] = {0x00, 0x00, 0x08};
    uart.rx.append(rest, sizeof rest);  // the rest arrives late
    tick(200);
    EXPECT_EQ(uart.available(), 0) << "drained when the 100 ms after SAT ON ended";
    uart.powered = true;
    ASSERT_TRUE(rig.requestRxRead());
    tick(1);
    EXPECT_TRUE(rig.isConnected()) << "the late bytes were not taken for the new reply";
    ASSERT_EQ(frequencyReports.size(), 1u);
    EXPECT_EQ(frequencyReports[0].hz, 145800000u);
}

TEST_F(Command, ToneOnSendsCodeThenEncoderOnAndToneOffOnlyEncoderOff) {
    ASSERT_TRUE(rig.setTxTone(88.5));
    EXPECT_TRUE(rig.busy());
    tick(101);
    EXPECT_EQ(rig.currentState(), FT847::State::Ready);
    EXPECT_FALSE(rig.setTxTone(0)) << "within 100 ms of the last frame";
    tick(99);
    EXPECT_FALSE(rig.setTxTone(0)) << "99 ms after the last frame";
    tick(1);
    ASSERT_TRUE(rig.setTxTone(0));
    tick(1);
    EXPECT_EQ(newFrames(),
              "1705: 0E 00 00 00 2B\n"
              "1805: 4A 00 00 00 2A\n"
              "1906: 8A 00 00 00 2A\n");
    EXPECT_EQ(Serial.text,
              "FT847 TX TONE: 88.5 Hz ENC ON\n"
              "FT847 TX TONE: 0.0 Hz OFF\n");
    EXPECT_TRUE(rig.isConnected()) << "tones are not read back";
}

TEST_F(Command, MinusZeroSwitchesTheToneOffAsZeroDoes) {
    ASSERT_TRUE(rig.setTxTone(-0.0));
    tick(300);
    EXPECT_EQ(newFrames(), "1705: 8A 00 00 00 2A\n");
    EXPECT_EQ(Serial.text, "FT847 TX TONE: -0.0 Hz OFF\n");
}

TEST_F(Command, ToneIsRefusedInsideTheSpacingWindowWhileAModeWaits) {
    ASSERT_TRUE(rig.setTxTone(88.5));
    tick(101);
    ASSERT_EQ(rig.currentState(), FT847::State::Ready);
    tick(50);
    EXPECT_FALSE(rig.setTxTone(100.0)) << "50 ms after the encoder frame";
    ASSERT_TRUE(rig.setModeFm()) << "a mode command is accepted and its frame waits";
    ASSERT_TRUE(tickUntilFrame());
    EXPECT_EQ(uart.times.back() - uart.times[uart.times.size() - 2], 100u);
}

TEST_F(Command, OutOfRangeArgumentsAreRefusedAndChangeNothing) {
    const double badTones[] = {-88.5, 66.9, 199.5, 250.4,
                               std::numeric_limits<double>::quiet_NaN(),
                               -std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::denorm_min()};
    for (double tone : badTones) {
        EXPECT_FALSE(rig.setTxTone(tone)) << tone;
    }
    for (uint64_t hz : {uint64_t{0}, uint64_t{9}, uint64_t{999999991}, UINT64_MAX}) {
        EXPECT_FALSE(rig.setFrequency(hz)) << hz;
    }
    EXPECT_FALSE(rig.busy());
    EXPECT_EQ(rig.currentState(), FT847::State::Ready);
    tick(1000);
    EXPECT_EQ(newFrames(), "");
    EXPECT_EQ(Serial.text, "");
    EXPECT_TRUE(rig.isConnected());
}

TEST_F(Command, SecondCommandIsRefusedWhileOneIsUnderWay) {
    ASSERT_TRUE(rig.setModeFm());
    EXPECT_FALSE(rig.setModeLsb());
    EXPECT_FALSE(rig.setFrequency(435000000));
    EXPECT_FALSE(rig.setTxTone(88.5));
    EXPECT_FALSE(rig.requestRxRead());
    EXPECT_FALSE(rig.requestTxRead());
    EXPECT_FALSE(rig.cancelAndSelectRx());
    tick(102);
    EXPECT_EQ(newFrames(),
              "1705: 08 00 00 00 17\n"
              "1805: 00 00 00 00 13\n");
}

TEST_F(DriverTest, CommandsAreRefusedUntilConnectedAndAfterAFailure) {
    auto refusesAll = [this] {
        EXPECT_FALSE(rig.setFrequency(145900000));
        EXPECT_FALSE(rig.setModeFm());
        EXPECT_FALSE(rig.setTxTone(88.5));
        EXPECT_FALSE(rig.requestRxRead());
        EXPECT_FALSE(rig.requestTxRead());
        EXPECT_FALSE(rig.cancelAndSelectRx());
        EXPECT_FALSE(rig.requestSatelliteMode());
    };
    refusesAll();  // not begun
    ASSERT_TRUE(rig.begin());
    tick(1000);
    refusesAll();  // handshake under way
    tick(1003);
    ASSERT_TRUE(rig.failed());
    refusesAll();  // read timed out
    const size_t written = uart.packets.size();
    tick(2999);
    EXPECT_EQ(uart.packets.size(), written) << "refused commands sent nothing";
}

TEST_F(DriverTest, VfoSelectionSteersOnlyTheNextCommand) {
    EXPECT_FALSE(rig.selectMain()) << "not begun, yet the selection is made";
    EXPECT_FALSE(rig.selectVfoB());
    EXPECT_FALSE(rig.swapMainSub());
    const uint8_t bytes[5] = {0, 0, 0, 0, 0x13};
    EXPECT_EQ(rig.write(bytes, 5), 0u);

    connect();
    tick(100);
    EXPECT_TRUE(rig.selectVfoA());  // main: SAT TX
    EXPECT_FALSE(rig.swapMainSub());
    EXPECT_EQ(rig.write(bytes, 5), 0u);
    ASSERT_TRUE(rig.setFrequency(435000000));
    EXPECT_FALSE(rig.swapMainSub()) << "nor while a command runs";
    EXPECT_EQ(rig.write(bytes, 5), 0u);
    EXPECT_TRUE(rig.selectVfoB()) << "a selection is accepted while a command runs";
    tick(102);
    EXPECT_EQ(hex(uart.packets[uart.packets.size() - 2]), "43 50 00 00 21");
    EXPECT_EQ(lastFrame(), "00 00 00 00 23") << "the command kept its VFO";
    EXPECT_TRUE(rig.failed()) << "the bench radio reports 145.8 MHz";

    tick(3000 + 1604 + 100);
    ASSERT_TRUE(rig.isConnected());
    ASSERT_TRUE(rig.selectMain());
    ASSERT_TRUE(rig.cancelAndSelectRx());
    ASSERT_TRUE(rig.setModeFm());
    ASSERT_TRUE(tickUntilFrame());
    EXPECT_EQ(lastFrame(), "08 00 00 00 17");
}

TEST_F(Command, SilentRadioDuringAPollDropsTheLink) {
    uart.powered = false;
    ASSERT_TRUE(rig.requestRxRead());
    tick(500);
    EXPECT_FALSE(rig.initialized());
    EXPECT_FALSE(rig.busy());
    EXPECT_FALSE(rig.setFrequency(145900000));
}

TEST_F(Command, SatellitePresetAbandonsACommandUnderWay) {
    ASSERT_TRUE(rig.setFrequency(145900000));
    tick(1);
    ASSERT_EQ(lastFrame(), "14 59 00 00 11");
    ASSERT_TRUE(rig.requestSatelliteMode()) << "accepted in any state once ready";
    tick(201);
    EXPECT_EQ(newFrames(),
              "1705: 14 59 00 00 11\n"
              "1805: 00 00 00 00 4E\n");
    EXPECT_EQ(rig.currentState(), FT847::State::Ready);
    EXPECT_TRUE(rig.isConnected()) << "the read-back that would have failed never ran";
}

TEST_F(Command, EachVfoKeepsTheModeByteOfItsLastReplyAsLongAsItsFrequency) {
    EXPECT_EQ(rig.rxMode(), 0x08) << "the start-up reads reported FM";
    EXPECT_EQ(rig.txMode(), 0x08);

    // A poll of the TX VFO that the radio answers in AM (0x04, a code the driver never sends).
    uart.powered = false;
    ASSERT_TRUE(rig.requestTxRead());
    const uint8_t am[5] = {0x43, 0x53, 0x00, 0x00, 0x04};
    uart.rx.append(am, sizeof am);
    tick(1);
    ASSERT_TRUE(rig.isConnected());
    EXPECT_EQ(rig.txMode(), 0x04);
    EXPECT_EQ(rig.rxMode(), 0x08) << "the other VFO keeps its own";
    EXPECT_EQ(newFrames(), "1704: 00 00 00 00 23\n") << "the query itself sends nothing";

    // A failure empties the frequency caches, and the modes go with them; so does a restart.
    tick(100);
    ASSERT_TRUE(rig.requestRxRead());
    tick(500);
    ASSERT_TRUE(rig.failed());
    EXPECT_EQ(rig.rxMode(), 0xFF);
    EXPECT_EQ(rig.txMode(), 0xFF);
    uart.powered = true;
    tick(3000 + 1604);
    ASSERT_TRUE(rig.isConnected());
    ASSERT_EQ(rig.rxMode(), 0x08);
    ASSERT_TRUE(rig.begin());
    EXPECT_EQ(rig.rxMode(), 0xFF);
    EXPECT_EQ(rig.txMode(), 0xFF);
}
