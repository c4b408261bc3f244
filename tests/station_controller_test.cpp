// The station's controller on the bench: the held settings going to a simulated radio through
// the driver, with a tracker's timing, a power cycle, and a radio that refuses a value.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "BenchRadio.h"
#include "DriverFixture.h"
#include "HeldSettings.h"
#include "RadioModel.h"
#include "StationController.h"

namespace {

using Item = HeldSettings::Item;

class Station : public ::testing::Test {
protected:
    Station() {
        clockMs = 0;
        Serial.text.clear();
        frequencyReports.clear();
        testSettings = TestSettings{};
    }

    // The station's loop, one pass a millisecond: the line, the driver, the poll results, the
    // controller.
    void run(uint32_t ms) {
        for (uint32_t i = 0; i < ms; ++i) {
            ++clockMs;
            if (modelled) {
                line.exchange();
            }
            static_cast<SerialTransport&>(rig).update();
            for (; reported < frequencyReports.size(); ++reported) {
                control.frequencyRead(frequencyReports[reported].sub, frequencyReports[reported].hz);
            }
            control.step(clockMs);
            if (modelled) {
                line.exchange();
            }
        }
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

    HardwareSerial uart;
    RadioModel radio{RadioModel::Options{}};
    BenchRadio line{uart, radio};
    bool modelled = true;  // the radio model behind the UART, or the bench's own radio
    FT847 rig{uart};
    HeldSettings held;
    std::vector<std::string> status;
    StationController control{rig, held, 1000,
                              [this](const std::string& l) { status.push_back(l); }};
    size_t reported = 0;
};

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

TEST_F(Station, AfterAPowerCycleTheNewestHeldValuesGoToTheRadioBeforeTheFirstPoll) {
    held.set(Item::DownlinkFrequency, 435300000);
    held.set(Item::DownlinkMode, 0x08);
    connect();
    EXPECT_EQ(radio.satRx.tens, 43530000u);

    radio.setPowered(false);
    runUntil([&] { return count("station: disconnected\n") == 1; }, 2000);
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

    // The next polls read what the station set: no knob was turned.
    run(1200);
    uint64_t hz = 0;
    ASSERT_TRUE(held.get(Item::DownlinkFrequency, hz));
    EXPECT_EQ(hz, 435301230u);
    // An operator turns the knob: the next poll makes the radio's value the station's.
    radio.satRx.tens = 43531000;
    run(1200);
    ASSERT_TRUE(held.get(Item::DownlinkFrequency, hz));
    EXPECT_EQ(hz, 435310000u);
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

}  // namespace
