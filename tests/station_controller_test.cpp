// The station's controller on the bench: the held settings going to a simulated radio through
// the driver, with a tracker's timing, a power cycle, a radio that refuses a value, and one that
// does not answer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "BenchRadio.h"
#include "DriverFixture.h"
#include "HeldSettings.h"
#include "RadioModel.h"
#include "StationController.h"

namespace {

using Item = HeldSettings::Item;

// The station's controller and driver on the radio model, under the station program's loop: a
// pass runs the driver, hands it the poll results and steps the controller. The loop passes
// every millisecond, or, `sleeping`, only when the driver or the controller has something due
// by their own times, when bytes have come from the radio, and at the start of each run() (a
// tracker may have set something). The bytes the line has received, as the controller learns
// them, are those the radio model sent and those hear() put on the line.
struct StationBench {
    explicit StationBench(uint32_t pollMs = 1000, bool sleepingLoop = false)
        : sleeping(sleepingLoop),
          control(rig, held, pollMs, [this](const std::string& l) { status.push_back(l); },
                  {"/dev/ttyUSB0", 4800, [this] { return received; }}) {
        clockMs = 0;
        Serial.text.clear();
        frequencyReports.clear();
        testSettings = TestSettings{};
    }

    void run(uint32_t ms) {
        for (uint32_t i = 0; i < ms; ++i) {
            ++clockMs;
            exchange();
            const bool woken = i == 0 || uart.rx.size() > receivedAfterPass ||
                               static_cast<uint32_t>(clockMs - passMs) >= sleepMs;
            if (!sleeping || woken) {
                pass();
            }
        }
    }

    void pass() {
        ++passes;
        static_cast<SerialTransport&>(rig).update();
        for (; reported < frequencyReports.size(); ++reported) {
            control.frequencyRead(frequencyReports[reported].sub ? Vfo::Downlink : Vfo::Uplink,
                                  frequencyReports[reported].hz);
        }
        control.step(clockMs);
        exchange();
        passMs = clockMs;
        sleepMs = std::min(rig.msUntilNextStep(), control.next(clockMs).inMs);
        receivedAfterPass = uart.rx.size();
    }

    void exchange() {
        if (modelled) {
            const size_t before = uart.rx.size();
            line.exchange();
            received += uart.rx.size() - before;
        }
    }

    // Bytes that come on the line from elsewhere than the radio model.
    void hear(std::initializer_list<uint8_t> bytes) {
        uart.rx.append(bytes.begin(), bytes.size());
        received += bytes.size();
    }

    // Runs until `done` holds, for at most `limit` ms; the time it took.
    template <typename Condition>
    uint32_t runUntil(Condition done, uint32_t limit) {
        for (uint32_t waited = 0; waited < limit; ++waited) {
            if (done()) {
                return waited;
            }
            run(1);
        }
        ADD_FAILURE() << "not within " << limit << " ms; status:\n" << statusText();
        return limit;
    }

    size_t count(const std::string& line) const {
        size_t n = 0;
        for (const std::string& l : status) {
            n += l == line ? 1 : 0;
        }
        return n;
    }

    // The opcodes of the frames sent since frame `from`, as hex ("13 23"): the reads, or the
    // settings (every frame but a read).
    std::string opcodes(size_t from, bool reads) const {
        std::string text;
        for (size_t i = from; i < uart.packets.size(); ++i) {
            const uint8_t op = uart.packets[i][4];
            if ((op == 0x13 || op == 0x23) == reads) {
                static const char digits[] = "0123456789ABCDEF";
                text += (text.empty() ? "" : " ") + std::string{digits[op >> 4], digits[op & 15]};
            }
        }
        return text;
    }

    // When each frame with this opcode went out, from frame `from` on.
    std::vector<uint32_t> timesOf(uint8_t opcode, size_t from = 0) const {
        std::vector<uint32_t> at;
        for (size_t i = from; i < uart.packets.size(); ++i) {
            if (uart.packets[i][4] == opcode) {
                at.push_back(uart.times[i]);
            }
        }
        return at;
    }

    size_t framesLike(const HardwareSerial::Frame& frame) const {
        size_t n = 0;
        for (size_t i = 0; i < uart.packets.size(); ++i) {
            n += uart.packets[i] == frame ? 1 : 0;
        }
        return n;
    }

    std::string statusText() const {
        std::string text;
        for (const std::string& l : status) {
            text += l;
        }
        return text;
    }

    void connect() {
        ASSERT_TRUE(rig.begin());
        runUntil([&] { return count("station: settings applied\n") > 0; }, 3000);
    }

    const bool sleeping;
    HardwareSerial uart;
    RadioModel radio{RadioModel::Options{}};
    BenchRadio line{uart, radio};
    bool modelled = true;  // the radio model behind the UART, or the bench's own radio
    FT847 rig{uart};
    HeldSettings held;
    std::vector<std::string> status;
    StationController control;
    size_t reported = 0;
    uint64_t received = 0;
    uint64_t passes = 0;
    uint32_t passMs = 0;
    uint32_t sleepMs = 0;
    size_t receivedAfterPass = 0;
};

class Station : public ::testing::Test, public StationBench {};

TEST_F(Station, ATrackerThatResetsTheDownlinkFasterThanTheRadioTakesFramesDoesNotStarveTheRest) {
    connect();
    held.set(Item::UplinkFrequency, 145900007);
    held.set(Item::UplinkMode, 0x08);
    const size_t pollsBefore = frequencyReports.size();
    // A new downlink frequency every 50 ms for 4 s: faster than a set and its read-back.
    uint64_t downlink = 437800003;
    for (int i = 0; i < 80; ++i) {
        downlink += 137;
        held.set(Item::DownlinkFrequency, downlink);
        run(50);
    }
    EXPECT_EQ(radio.satTx.tens, 14590000u) << "the uplink reached the radio";
    EXPECT_EQ(radio.satTx.mode, 0x08);
    EXPECT_GE(frequencyReports.size() - pollsBefore, 4u) << "polls go on, one VFO at a time";
    run(400);
    EXPECT_EQ(uint64_t{radio.satRx.tens} * 10, downlink - downlink % 10) << "and the newest downlink";
}

// Pending settings take turns in the items' order (the downlink's frequency and mode, the
// uplink's, the tone), starting after the one sent last. A tone is its code, then the encoder.
TEST_F(Station, PendingSettingsTakeTurnsInTheItemsOrderStartingAfterTheOneSentLast) {
    held.set(Item::Tone, 885);
    held.set(Item::UplinkMode, 0x08);
    held.set(Item::UplinkFrequency, 145910000);
    held.set(Item::DownlinkMode, 0x08);
    held.set(Item::DownlinkFrequency, 435300000);
    connect();
    EXPECT_EQ(opcodes(0, false), "00 4E 11 17 21 27 2B 2A") << "CAT ON, SAT ON, then in order";
    const struct {
        std::vector<std::pair<Item, uint64_t>> sets;
        const char* sent;
    } turns[] = {
        {{{Item::UplinkFrequency, 145920000}}, "21"},
        // After the uplink's frequency: the tone, then round to the downlink's.
        {{{Item::DownlinkMode, 0x01}, {Item::DownlinkFrequency, 435310000}, {Item::Tone, 670}},
         "2B 2A 11 17"},
        // After the downlink's mode: the uplink's, then the tone (the encoder off).
        {{{Item::Tone, 0}, {Item::DownlinkFrequency, 435320000}, {Item::UplinkMode, 0x01}},
         "27 2A 11"},
    };
    for (const auto& turn : turns) {
        const size_t from = uart.packets.size();
        for (const auto& set : turn.sets) {
            held.set(set.first, set.second);
        }
        run(2000);
        EXPECT_EQ(opcodes(from, false), turn.sent);
    }
}

TEST_F(Station, AfterAPowerCycleTheNewestHeldValuesGoToTheRadioBeforeTheFirstPoll) {
    held.set(Item::DownlinkFrequency, 435300000);
    held.set(Item::DownlinkMode, 0x08);
    connect();
    EXPECT_EQ(radio.satRx.tens, 43530000u);

    radio.setPowered(false);
    runUntil([&] { return count("station: disconnected\n") == 1; }, 2000);
    uint64_t unknown = 0;
    EXPECT_FALSE(control.radioFrequency(Vfo::Downlink, unknown)) << "not while the link is down";
    // Hold-over: the tracker goes on setting while the radio is off.
    held.set(Item::DownlinkFrequency, 435301230);
    held.set(Item::UplinkFrequency, 145899870);
    run(3000);
    radio.setPowered(true);
    const size_t reportsAtPowerOn = frequencyReports.size();
    runUntil([&] { return count("station: settings applied\n") == 2; }, 8000);
    EXPECT_EQ(count("station: connected\n"), 2u);
    EXPECT_EQ(radio.satRx.tens, 43530123u);
    EXPECT_EQ(radio.satTx.tens, 14589987u);
    EXPECT_EQ(radio.satRx.mode, 0x08) << "the mode is held too, and goes again";
    EXPECT_EQ(frequencyReports.size(), reportsAtPowerOn) << "no poll before the held values";

    // What the radio holds is known from the read-backs of the settings, before any poll.
    uint64_t hz = 0;
    EXPECT_TRUE(control.radioFrequency(Vfo::Downlink, hz));
    EXPECT_EQ(hz, 435301230u);
    EXPECT_TRUE(control.radioFrequency(Vfo::Uplink, hz));
    EXPECT_EQ(hz, 145899870u);

    // The next polls read what the station set: no knob was turned.
    run(1200);
    ASSERT_TRUE(held.get(Item::DownlinkFrequency, hz));
    EXPECT_EQ(hz, 435301230u);
    // An operator turns the knob: the next poll makes the radio's value the station's.
    radio.satRx.tens = 43531000;
    run(1200);
    ASSERT_TRUE(held.get(Item::DownlinkFrequency, hz));
    EXPECT_EQ(hz, 435310000u);
    EXPECT_TRUE(control.radioFrequency(Vfo::Downlink, hz));
    EXPECT_EQ(hz, 435310000u) << "and what the radio holds";
}

// The mode byte of every poll's reply is what the station holds of the VFO's mode, unless a set
// is on its way; a mode that nobody set is not sent back after a reconnection.
TEST_F(Station, HoldsTheRadiosOwnModeFromTheConnectionAndSendsOnlyModesThatWereSet) {
    uint64_t mode = 0;
    EXPECT_FALSE(held.get(Item::DownlinkMode, mode));
    connect();
    ASSERT_TRUE(frequencyReports.empty());
    ASSERT_TRUE(held.get(Item::DownlinkMode, mode)) << "from the handshake's reads";
    EXPECT_EQ(mode, 0x01u);
    runUntil([&] { return frequencyReports.size() >= 2; }, 1000);
    ASSERT_TRUE(held.get(Item::DownlinkMode, mode));
    EXPECT_EQ(mode, 0x01u) << "the radio model's SAT RX VFO is on USB";
    ASSERT_TRUE(held.get(Item::UplinkMode, mode));
    EXPECT_EQ(mode, 0x00u);

    // Switched to AM by hand, and the uplink set to FM.
    radio.satRx.mode = 0x04;
    held.set(Item::UplinkMode, 0x08);
    run(2500);
    ASSERT_TRUE(held.get(Item::DownlinkMode, mode));
    EXPECT_EQ(mode, 0x04u);
    ASSERT_TRUE(held.get(Item::UplinkMode, mode));
    EXPECT_EQ(mode, 0x08u);
    // A mode byte that is none of the radio's modes is not held.
    radio.satRx.mode = 0x0A;
    run(1200);
    ASSERT_TRUE(held.get(Item::DownlinkMode, mode));
    EXPECT_EQ(mode, 0x04u);
    radio.satRx.mode = 0x04;

    radio.setPowered(false);
    runUntil([&] { return count("station: disconnected\n") == 1; }, 2000);
    radio.satTx.mode = 0x01;
    const size_t frames = uart.packets.size();
    radio.setPowered(true);
    runUntil([&] { return count("station: settings applied\n") == 2; }, 8000);
    size_t rxModeFrames = 0;
    for (size_t i = frames; i < uart.packets.size(); ++i) {
        rxModeFrames += uart.packets[i][4] == 0x17 ? 1 : 0;
    }
    EXPECT_EQ(rxModeFrames, 0u) << "nobody set the downlink's mode";
    EXPECT_EQ(radio.satRx.mode, 0x04);
    EXPECT_EQ(radio.satTx.mode, 0x08) << "the uplink's was set, and goes again";
}

TEST_F(Station, AValueTheRadioRefusesIsGivenUpAfterThreeTries) {
    // The bench's own radio answers every read with 145.8 MHz: any other frequency fails its
    // read-back.
    modelled = false;
    uart.powered = true;
    held.set(Item::DownlinkFrequency, 145900000);
    ASSERT_TRUE(rig.begin());
    runUntil([&] { return count("station: connected\n") == 3; }, 30000);
    runUntil([&] {
        return count("station: the radio did not take RX 145900000 Hz; given up\n") == 1;
    }, 1000);
    EXPECT_FALSE(held.pending(Item::DownlinkFrequency));
    run(5000);
    EXPECT_TRUE(rig.isConnected()) << "nothing fails the link any more";
    EXPECT_EQ(count("station: disconnected\n"), 3u);
}

// A refusal counts against the value refused: one set while it was on its way starts with
// none, and is given up after three refusals of its own.
TEST_F(Station, ARefusalCountsOnlyAgainstTheValueThatWasRefused) {
    modelled = false;  // the bench's own radio: every read answers 145.8 MHz
    uart.powered = true;
    held.set(Item::DownlinkFrequency, 145900000);
    ASSERT_TRUE(rig.begin());
    runUntil([&] { return framesLike({{0x14, 0x59, 0x00, 0x00, 0x11}}) == 1; }, 3000);
    held.set(Item::DownlinkFrequency, 145910000);
    runUntil([&] {
        return count("station: the radio did not take RX 145910000 Hz; given up\n") == 1;
    }, 30000);
    EXPECT_EQ(framesLike({{0x14, 0x59, 0x10, 0x00, 0x11}}), 3u);
    EXPECT_EQ(count("station: disconnected\n"), 4u);
    EXPECT_EQ(count("station: the radio did not take RX 145900000 Hz; given up\n"), 0u);
}

TEST_F(Station, ARadioSwitchedOffWhileAValueIsOnItsWayBlamesNoValue) {
    connect();
    held.set(Item::DownlinkFrequency, 435300000);
    // Three times the radio goes off just after the frequency went out, before its read-back,
    // and comes back with another frequency on its VFO, so that the value goes again.
    for (int time = 1; time <= 3; ++time) {
        const size_t frames = uart.packets.size();
        runUntil([&] {
            for (size_t i = frames; i < uart.packets.size(); ++i) {
                if (uart.packets[i][4] == 0x11) {
                    return true;
                }
            }
            return false;
        }, 8000);
        radio.setPowered(false);
        runUntil([&] { return count("station: disconnected\n") == static_cast<size_t>(time); },
                 2000);
        radio.satRx.tens = 14580000;
        radio.setPowered(true);
    }
    EXPECT_EQ(count("station: the radio did not take RX 435300000 Hz; given up\n"), 0u);
    runUntil([&] { return radio.satRx.tens == 43530000; }, 8000);
}

// A radio that does not answer the handshake: one line says what was tried and why a radio is
// silent, another that bytes came but no valid reply. Each comes once, until the radio answers;
// a link lost later is a new outage, and its first failed handshake says it again.
TEST_F(Station, SaysOnceUntilTheRadioAnswersWhyItDoesNotAnswer) {
    const std::string silent =
        "station: no reply from the radio on /dev/ttyUSB0 at 4800 bps: it may be off, set to "
        "another CAT rate, on a wrong cable, or an early FT-847 without the read commands\n";
    const std::string garbled =
        "station: bytes from /dev/ttyUSB0 at 4800 bps, but no valid reply: the radio may be set "
        "to another CAT rate, or the cable or the port may be wrong\n";
    // Until the handshake's read of the SAT RX VFO has gone out.
    const auto awaitRead = [&] {
        runUntil([&] { return rig.currentState() == FT847::State::AwaitResponse; }, 6000);
    };

    radio.setPowered(false);
    ASSERT_TRUE(rig.begin());
    // CAT ON at 1 ms, SAT ON 500 ms later, the read 1000 ms after that, its timeout 500 ms later.
    const uint32_t took = runUntil([&] { return count(silent) == 1; }, 3000);
    EXPECT_GE(took, 2000u);
    EXPECT_LE(took, 2010u);
    // What the status line says, systemctl status says for as long as the outage lasts.
    EXPECT_EQ(control.outageReason() + "\n", silent.substr(9));
    run(11000);
    EXPECT_EQ(uart.packets.size(), 9u) << "three handshakes of three frames";
    EXPECT_EQ(count(silent), 1u);

    // Bytes at another rate: three, then nothing (a timeout); then five that are no frequency.
    awaitRead();
    hear({0xF8, 0x80, 0x3C});
    runUntil([&] { return count(garbled) == 1; }, 600);
    awaitRead();
    hear({0xAA, 0xF0, 0x0F, 0x81, 0x7E});
    run(10);
    EXPECT_EQ(rig.currentState(), FT847::State::RetryWait);
    EXPECT_EQ(count(garbled), 1u);
    EXPECT_EQ(count(silent), 1u);

    EXPECT_EQ(control.outageReason() + "\n", garbled.substr(9)) << "the newest";

    radio.setPowered(true);
    runUntil([&] { return count("station: connected\n") == 1; }, 6000);
    EXPECT_EQ(control.outageReason(), "");
    radio.setPowered(false);
    runUntil([&] { return count("station: disconnected\n") == 1; }, 2000);
    EXPECT_EQ(count(silent), 1u) << "a failed poll is a disconnect, not a handshake";
    EXPECT_EQ(control.outageReason(), "") << "until a handshake of this outage fails";
    runUntil([&] { return count(silent) == 2; }, 6000);
    awaitRead();
    hear({0xAA, 0xF0, 0x0F, 0x81, 0x7E});
    runUntil([&] { return count(garbled) == 2; }, 100);
    EXPECT_EQ(status.back(), garbled);
}

}  // namespace

// At the shortest poll interval the two polls of a cycle would take every frame the radio can
// take: a setting gets its turn after them all the same, and the polls go on.
TEST(StationPolls, ASettingGetsItsTurnAtTheShortestPollInterval) {
    StationBench b(100);
    b.connect();
    b.run(500);
    b.held.set(Item::DownlinkFrequency, 435310000);
    const uint32_t took = b.runUntil([&] { return b.radio.satRx.tens == 43531000u; }, 2000);
    EXPECT_LE(took, 500u);
    const size_t polls = frequencyReports.size();
    b.run(1000);
    EXPECT_GE(frequencyReports.size() - polls, 8u);
}

// Every poll interval the downlink is read, then the uplink, and both are reported. With polling
// off only the downlink is read, every 5 s, unreported. Either way a radio switched off is
// noticed at the next read: its timeout is the disconnect.
TEST(StationPolls, ReadBothVfosEveryIntervalOrTheDownlinkEveryFiveSecondsWithPollingOff) {
    const struct {
        uint32_t pollMs;
        uint32_t everyMs;   // from one read of the downlink to the next
        const char* reads;  // in five intervals
        size_t reports;     // of each VFO
    } cases[] = {
        {1000, 1000, "13 23 13 23 13 23 13 23 13 23", 5},
        {250, 250, "13 23 13 23 13 23 13 23 13 23", 5},
        {0, 5000, "13 13 13 13 13", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("poll every " + std::to_string(c.pollMs) + " ms");
        StationBench b(c.pollMs);
        b.connect();
        // The first poll goes with the pass that finds the settings applied.
        const size_t from = b.uart.packets.size() - 1;
        ASSERT_EQ(b.uart.packets[from][4], 0x13);
        ASSERT_EQ(b.uart.times[from], clockMs);
        const size_t statusFrom = b.status.size();
        b.run(5 * c.everyMs - 1);
        EXPECT_EQ(b.opcodes(from, true), c.reads);
        const std::vector<uint32_t> downlink = b.timesOf(0x13, from);
        for (size_t i = 1; i < downlink.size(); ++i) {
            EXPECT_EQ(downlink[i] - downlink[i - 1], c.everyMs);
        }
        const std::vector<std::string> said(b.status.begin() + static_cast<long>(statusFrom),
                                            b.status.end());
        EXPECT_EQ(std::count(said.begin(), said.end(), "station: RX 435800000 Hz\n"),
                  static_cast<long>(c.reports));
        EXPECT_EQ(std::count(said.begin(), said.end(), "station: TX 145900000 Hz\n"),
                  static_cast<long>(c.reports));

        b.radio.setPowered(false);
        const uint32_t noticed =
            b.runUntil([&] { return b.count("station: disconnected\n") == 1; }, 6000);
        EXPECT_LE(noticed, c.everyMs + 500);
    }
}

// A new poll interval counts from the last read of the downlink: the next is due then, or at
// once if that time has passed.
TEST(StationPolls, ANewIntervalCountsFromTheLastPoll) {
    StationBench b(1000);
    b.connect();
    b.run(300);
    const uint32_t last = b.timesOf(0x13).back();
    b.control.setPollInterval(2000);
    b.run(2500);
    EXPECT_EQ(b.timesOf(0x13).back() - last, 2000u);

    b.run(1000);
    const size_t reads = b.timesOf(0x13).size();
    b.control.setPollInterval(500);
    b.run(1);
    ASSERT_EQ(b.timesOf(0x13).size(), reads + 1) << "overdue: at once";
    EXPECT_EQ(b.timesOf(0x13).back(), clockMs);
}

// A device that hung up is read at once, not at the next poll or link check: the read's
// failure is the disconnect, and the driver's retry brings the link back. A poll under way
// finds out as well, and goes on to the uplink as it would.
TEST(StationPolls, AHungUpDeviceIsReadAtOnce) {
    StationBench b(0);
    b.connect();
    b.run(1000);
    size_t from = b.uart.packets.size();
    b.control.deviceLost();
    b.run(200);
    EXPECT_EQ(b.opcodes(from, true), "13");
    EXPECT_EQ(b.statusText().find("station: RX"), std::string::npos) << "unreported";

    b.radio.setPowered(false);
    b.control.deviceLost();
    EXPECT_LE(b.runUntil([&] { return b.count("station: disconnected\n") == 1; }, 2000), 510u);
    b.radio.setPowered(true);
    b.runUntil([&] { return b.count("station: connected\n") == 2; }, 6000);

    StationBench p(1000);
    p.connect();
    p.run(500);
    const size_t polls = p.timesOf(0x13).size();
    p.runUntil([&] { return p.timesOf(0x13).size() > polls; }, 1000);
    from = p.uart.packets.size();
    const size_t uplinkReports = p.count("station: TX 145900000 Hz\n");
    p.control.deviceLost();
    p.run(500);
    EXPECT_EQ(p.opcodes(from, true), "23");
    EXPECT_EQ(p.count("station: TX 145900000 Hz\n"), uplinkReports + 1);
}

// The program's loop sleeps until the sooner of msUntilNextStep() and the controller's next
// errand, or until bytes arrive: it sends the same frames at the same times, and reports the
// same, as a loop that passes every millisecond, through settings, polls or link checks, a lost
// device, a power cycle and refused writes, and it passes far less often.
TEST(StationLoop, SleepingUntilTheNextStepOrErrandChangesNothingButTheNumberOfPasses) {
    for (const uint32_t pollMs : {1000u, 0u}) {
        SCOPED_TRACE("poll every " + std::to_string(pollMs) + " ms");
        std::string frames[2];
        std::string status[2];
        uint64_t passes[2] = {0, 0};
        for (const bool sleeping : {false, true}) {
            StationBench b(pollMs, sleeping);
            b.held.set(Item::DownlinkFrequency, 435300000);
            b.held.set(Item::Tone, 885);
            b.connect();
            b.run(2500);
            b.held.set(Item::UplinkFrequency, 145910000);
            b.held.set(Item::UplinkMode, 0x08);
            b.run(1200);
            b.control.deviceLost();
            b.run(6000);
            b.radio.setPowered(false);
            b.run(5000);
            b.held.set(Item::DownlinkFrequency, 435310000);
            b.radio.setPowered(true);
            b.run(9000);
            b.radio.faults.refuseWrites = true;
            b.run(1500);
            b.radio.faults.refuseWrites = false;
            b.run(9000);
            frames[sleeping] = frameLog(b.uart);
            status[sleeping] = b.statusText();
            passes[sleeping] = b.passes;
            EXPECT_EQ(b.radio.satRx.tens, 43531000u);
        }
        EXPECT_EQ(frames[1], frames[0]);
        EXPECT_EQ(status[1], status[0]);
        EXPECT_GT(passes[0], 10 * passes[1]);
    }
}
