#include <gtest/gtest.h>

#include <cstdint>

#include "DriverFixture.h"

TEST_F(DriverTest, AFreshDriverIsIdleAndUpdateDoesNothingBeforeBegin) {
    EXPECT_FALSE(rig.isConnected());
    EXPECT_FALSE(rig.initialized());
    EXPECT_FALSE(rig.failed());
    EXPECT_FALSE(rig.busy());
    uart.powered = true;
    tick(5000);
    EXPECT_TRUE(uart.packets.empty());
    EXPECT_EQ(rig.currentState(), FT847::State::Idle);
    EXPECT_EQ(Serial.text, "");
}

TEST_F(DriverTest, BeginAsksTheSettingsOpensThePortAndLogsItsStart) {
    testSettings.baud = 9600;
    ASSERT_TRUE(rig.begin());
    EXPECT_EQ(testSettings.askedRadio, 1);
    EXPECT_EQ(testSettings.askedBaud, 9600u);
    // The port is opened at the settings' rate, 8N2, RX pin 1, TX pin 2.
    EXPECT_EQ(uart.beginCalls, 1u);
    EXPECT_EQ(uart.baud, 9600u);
    EXPECT_EQ(uart.config, 2);
    EXPECT_EQ(uart.rxPin, 1);
    EXPECT_EQ(uart.txPin, 2);
    EXPECT_EQ(Serial.text,
              "[FT847 BUILD] PRESET-100MS-TONE-5\n"
              "FT847 INIT: UART1 9600 bps, 8N2, RX=1 TX=2\n"
              "FT847: asynchronous CAT/SAT startup scheduled\n");
    EXPECT_TRUE(rig.busy());
    EXPECT_TRUE(uart.packets.empty()) << "begin() only schedules";

    // Again on every begin(), with the rate the settings give then.
    testSettings.baud = 57600;
    ASSERT_TRUE(rig.begin());
    EXPECT_EQ(uart.beginCalls, 2u);
    EXPECT_EQ(uart.baud, 57600u);
}

TEST_F(DriverTest, BeginRefusedByTheSettingsChangesNothing) {
    testSettings.baudAllowed = false;
    EXPECT_FALSE(rig.begin());
    EXPECT_EQ(uart.beginCalls, 0u) << "the port is not opened";
    EXPECT_FALSE(rig.selectMain()) << "still not started";
    uart.powered = true;
    tick(3000);
    EXPECT_TRUE(uart.packets.empty());
    EXPECT_FALSE(rig.busy());
    EXPECT_EQ(Serial.text, "[FT847 BUILD] PRESET-100MS-TONE-5\n");
}

TEST_F(DriverTest, HandshakeSendsItsFramesAtExactTimes) {
    uart.powered = true;
    ASSERT_TRUE(rig.begin());
    tick(1603);
    EXPECT_FALSE(rig.isConnected()) << "the TX reply is taken on the next update";
    tick(1);
    EXPECT_TRUE(rig.isConnected());
    EXPECT_TRUE(rig.initialized());
    EXPECT_FALSE(rig.failed());
    EXPECT_TRUE(rig.busy()) << "within 100 ms of the TX read";
    EXPECT_EQ(frameLog(uart),
              "1: 00 00 00 00 00\n"      // CAT ON on the first update
              "502: 00 00 00 00 4E\n"    // SAT ON 500 ms after CAT ON, one update later
              "1503: 00 00 00 00 13\n"   // read SAT RX 1000 ms after SAT ON, one update later
              "1603: 00 00 00 00 23\n"); // read SAT TX held back to exactly 100 ms
    EXPECT_TRUE(logged("FT847: CAT/SAT RX and TX reads verified; ready\n"));
    EXPECT_TRUE(frequencyReports.empty()) << "start-up reads are not polls";
    tick(98);
    EXPECT_TRUE(rig.busy());
    tick(1);
    EXPECT_FALSE(rig.busy()) << "100 ms after the TX read";
}

TEST_F(DriverTest, SilentRadioRetriesEvery3000MsAndSendsNothingWhileWaiting) {
    ASSERT_TRUE(rig.begin());
    tick(2002);
    EXPECT_FALSE(rig.failed()) << "the RX read sent at 1503 has 1 ms left";
    tick(1);
    EXPECT_TRUE(rig.failed());
    EXPECT_FALSE(rig.initialized());
    EXPECT_FALSE(rig.isConnected());
    EXPECT_FALSE(rig.busy());
    EXPECT_TRUE(logged("FT847 ERROR: Read timeout (500 ms)\n"));

    tick(3000);
    EXPECT_EQ(clockMs, 5003u);
    EXPECT_TRUE(logged("FT847: retrying CAT/SAT connection\n"));
    EXPECT_TRUE(rig.busy()) << "the next handshake is under way";
    tick(1);
    EXPECT_EQ(frameLog(uart),
              "1: 00 00 00 00 00\n"
              "502: 00 00 00 00 4E\n"
              "1503: 00 00 00 00 13\n"
              "5004: 00 00 00 00 00\n");
    EXPECT_TRUE(rig.failed()) << "still failed until the handshake completes";

    // The radio comes on during the second handshake.
    uart.powered = true;
    tick(1602);
    EXPECT_EQ(lastFrame(), "00 00 00 00 23");
    EXPECT_EQ(uart.times.back(), 6606u);
    tick(1);
    EXPECT_TRUE(rig.isConnected());
    EXPECT_FALSE(rig.failed());
}

// A main loop that stalls, then calls update() several times in one millisecond: each wait ends
// at the first update at which its time is over, and the frame after it goes out at the next
// update the spacing allows, in the same millisecond if the loop comes straight back.
TEST_F(DriverTest, AnIrregularLoopEndsEachWaitAtItsFirstUpdateAndSendsAtTheNext) {
    uart.powered = true;
    ASSERT_TRUE(rig.begin());
    tick(1);
    clockMs += 800;  // the 500 ms after CAT ON ended, unseen, at 501
    rig.update();
    EXPECT_EQ(uart.packets.size(), 1u) << "this update only ends the wait";
    rig.update();
    clockMs += 999;
    rig.update();
    EXPECT_EQ(uart.packets.size(), 2u) << "999 ms after SAT ON";
    tick(1);
    rig.update();
    rig.update();  // the reply is already waiting
    rig.update();
    EXPECT_EQ(uart.packets.size(), 3u) << "the TX read waits for the spacing";
    clockMs += 98;
    tick(1);
    EXPECT_EQ(uart.packets.size(), 3u) << "99 ms after the RX read";
    tick(1);
    rig.update();
    EXPECT_TRUE(rig.isConnected());
    EXPECT_EQ(frameLog(uart),
              "1: 00 00 00 00 00\n"
              "801: 00 00 00 00 4E\n"
              "1801: 00 00 00 00 13\n"
              "1901: 00 00 00 00 23\n");
}

TEST_F(DriverTest, HandshakeStartedBeforeTheClockWrapsKeepsItsTiming) {
    clockMs = 0xFFFFFF00u;
    uart.powered = true;
    ASSERT_TRUE(rig.begin());
    tick(1604);
    EXPECT_TRUE(rig.isConnected());
    ASSERT_EQ(uart.times.size(), 4u);
    EXPECT_EQ(uart.times[0], 0xFFFFFF01u);
    EXPECT_EQ(uart.times[1] - uart.times[0], 501u);
    EXPECT_EQ(uart.times[2] - uart.times[1], 1001u);
    EXPECT_EQ(uart.times[3] - uart.times[2], 100u);
}

TEST_F(DriverTest, WriteFailureOnTheFirstFrameIsRetriedAfter3000Ms) {
    uart.failWrites = true;
    ASSERT_TRUE(rig.begin());
    tick(1);
    EXPECT_TRUE(rig.failed());
    EXPECT_FALSE(rig.busy());
    EXPECT_TRUE(logged("FT847 ERROR: UART write failed\n"));
    uart.failWrites = false;
    uart.powered = true;
    tick(3000);
    EXPECT_TRUE(uart.packets.empty()) << "nothing during the retry wait";
    tick(1);
    EXPECT_EQ(frameLog(uart), "3002: 00 00 00 00 00\n");
    tick(1603);
    EXPECT_TRUE(rig.isConnected());
}

TEST_F(DriverTest, BeginAgainRestartsTheHandshakeAndReselectsTheRxVfo) {
    connect();
    tick(200);
    ASSERT_TRUE(rig.selectMain());
    ASSERT_TRUE(rig.begin());
    EXPECT_FALSE(rig.isConnected());
    EXPECT_TRUE(rig.busy());
    tick(1);
    EXPECT_EQ(frameLog(uart, 4), "1805: 00 00 00 00 00\n")
        << "the first frame after begin() is not held back";
    tick(1603);
    ASSERT_TRUE(rig.isConnected());
    ASSERT_TRUE(rig.setModeFm());
    ASSERT_TRUE(tickUntilFrame());
    EXPECT_EQ(lastFrame(), "08 00 00 00 17");
}

TEST_F(DriverTest, BeginOnAFailedDriverClearsTheFailure) {
    ASSERT_TRUE(rig.begin());
    tick(2003);
    ASSERT_TRUE(rig.failed());
    ASSERT_TRUE(rig.begin());
    EXPECT_FALSE(rig.failed());
    EXPECT_FALSE(rig.initialized());
    EXPECT_TRUE(rig.busy()) << "the handshake is scheduled, not the retry wait";
    tick(1);
    EXPECT_EQ(lastFrame(), "00 00 00 00 00");
    EXPECT_EQ(uart.times.back(), 2004u);
}

TEST_F(DriverTest, PowerCycleStoryWritesFourteenFramesWithThreeGapsOfExactly100Ms) {
    ASSERT_TRUE(rig.begin());
    tick(2200 + 1000);
    uart.powered = true;
    tick(5000);
    ASSERT_TRUE(rig.isConnected());
    uart.powered = false;
    ASSERT_TRUE(rig.requestRxRead());
    tick(600);
    uart.powered = true;
    tick(5000);
    ASSERT_TRUE(rig.isConnected());
    ASSERT_TRUE(rig.setModeFm());
    tick(400);
    ASSERT_TRUE(rig.isConnected());

    EXPECT_EQ(frameLog(uart),
              "1: 00 00 00 00 00\n"
              "502: 00 00 00 00 4E\n"
              "1503: 00 00 00 00 13\n"      // unanswered
              "5004: 00 00 00 00 00\n"
              "5505: 00 00 00 00 4E\n"
              "6506: 00 00 00 00 13\n"
              "6606: 00 00 00 00 23\n"
              "8200: 00 00 00 00 13\n"      // the poll, unanswered
              "11701: 00 00 00 00 00\n"
              "12202: 00 00 00 00 4E\n"
              "13203: 00 00 00 00 13\n"
              "13303: 00 00 00 00 23\n"
              "13801: 08 00 00 00 17\n"
              "13901: 00 00 00 00 13\n");
    int exactly100 = 0;
    for (size_t i = 1; i < uart.times.size(); ++i) {
        EXPECT_GE(uart.times[i] - uart.times[i - 1], 100u);
        exactly100 += uart.times[i] - uart.times[i - 1] == 100u ? 1 : 0;
    }
    EXPECT_EQ(exactly100, 3);
}

TEST_F(DriverTest, TellsHowLongUntilItsNextStep) {
    EXPECT_EQ(rig.msUntilNextStep(), 0xFFFFFFFFu) << "not begun: nothing until begin()";
    uart.powered = true;
    ASSERT_TRUE(rig.begin());
    EXPECT_EQ(rig.msUntilNextStep(), 0u) << "CAT ON is due";
    tick(1);
    EXPECT_EQ(rig.msUntilNextStep(), 500u) << "CAT ON went out at 1";
    tick(499);
    EXPECT_EQ(rig.msUntilNextStep(), 1u);
    tick(1);
    EXPECT_EQ(rig.msUntilNextStep(), 0u) << "at 501 the wait is over and SAT ON is due";
    tick(1);
    EXPECT_EQ(rig.msUntilNextStep(), 1000u);
    tick(1001);
    EXPECT_EQ(clockMs, 1503u);
    EXPECT_EQ(rig.msUntilNextStep(), 0u) << "the bench's radio answered the RX read at once";
    tick(1);
    EXPECT_EQ(rig.msUntilNextStep(), 99u) << "the TX read waits for the frame spacing";
    tick(100);
    EXPECT_TRUE(rig.isConnected());
    EXPECT_EQ(rig.msUntilNextStep(), 99u) << "busy until 100 ms after the TX read at 1603";
    tick(99);
    EXPECT_FALSE(rig.busy());
    EXPECT_EQ(rig.msUntilNextStep(), 0xFFFFFFFFu) << "connected and idle: until a command";

    uart.powered = false;
    ASSERT_TRUE(rig.requestRxRead());
    EXPECT_EQ(rig.msUntilNextStep(), 500u) << "a silent radio: the read's timeout";
    tick(500);
    EXPECT_TRUE(rig.failed());
    EXPECT_EQ(rig.msUntilNextStep(), 3000u) << "the retry wait";
}
