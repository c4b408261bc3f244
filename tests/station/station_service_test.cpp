// The station as a service: the line `systemctl status` shows, and what a configuration read
// again changes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ReloadPlan.h"
#include "ServiceStatus.h"
#include "StationOptions.h"

namespace {

using Link = ServiceStatus::Link;
using Item = HeldSettings::Item;

ServiceStatus onPort(Link link) {
    ServiceStatus status;
    status.link = link;
    status.device = "/dev/ttyUSB0";
    status.baud = 57600;
    return status;
}

StationOptions radioConf() {
    StationOptions o;
    o.port = "/dev/ttyUSB0";
    o.baud = 57600;
    o.rxHz = 435300000;
    o.rxMode = 0x08;
    o.txHz = 145850000;
    o.txMode = 0x08;
    o.toneTenths = 670;
    o.rigctldPort = "4532";
    return o;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

}  // namespace

TEST(ServiceStatus, SaysHowTheLinkStandsThenTheVfosThenTheTrackers) {
    EXPECT_EQ(onPort(Link::WaitingForDevice).text(), "waiting for /dev/ttyUSB0");
    EXPECT_EQ(onPort(Link::Connecting).text(), "connecting to the radio on /dev/ttyUSB0 at 57600 bps");

    ServiceStatus silent = onPort(Link::NotAnswering);
    silent.reason = "no reply from the radio on /dev/ttyUSB0 at 57600 bps: it may be off";
    silent.trackers = 0;
    EXPECT_EQ(silent.text(),
              "no reply from the radio on /dev/ttyUSB0 at 57600 bps: it may be off; 0 trackers");

    ServiceStatus connected = onPort(Link::Connected);
    connected.rxHz = 435300000;
    connected.rxMode = 0x08;
    connected.txHz = 145850000;
    connected.txMode = 0x01;
    connected.trackers = 1;
    EXPECT_EQ(connected.text(), "radio connected; RX 435300000 Hz FM, TX 145850000 Hz USB; 1 tracker");
    connected.trackers = 8;
    connected.rxMode = 0x82;
    connected.txMode = 0x00;
    EXPECT_EQ(connected.text(),
              "radio connected; RX 435300000 Hz CW narrow, TX 145850000 Hz LSB; 8 trackers");
    // Modes the station only reports: AM with its narrow filter, and FM narrow by its own name.
    connected.rxMode = 0x84;
    connected.txMode = 0x88;
    EXPECT_EQ(connected.text(),
              "radio connected; RX 435300000 Hz AM narrow, TX 145850000 Hz FMN; 8 trackers");
    // Not read yet; a code that is none of the radio's modes; no mode known.
    connected.rxHz = 0;
    connected.rxMode = 0x0A;
    connected.txMode = 0xFF;
    connected.trackers = -1;
    EXPECT_EQ(connected.text(), "radio connected; RX ? Hz mode 0A, TX 145850000 Hz");
}

TEST(ReloadPlan, HoldsOnlyWhatChangedAndKeepsWhatNeedsARestart) {
    const StationOptions running = radioConf();

    const ReloadPlan same = planReload(running, radioConf());
    EXPECT_TRUE(same.hold.empty()) << "a tracker's newer value is left alone";
    EXPECT_TRUE(same.changed.empty());
    EXPECT_TRUE(same.refused.empty());

    StationOptions read = radioConf();
    read.rxHz = 435310000;
    read.txMode = 0x01;
    read.toneTenths = 0;
    read.pollMs = 500;
    read.rigctldStrict = true;
    read.txHz.reset();  // left as the radio has it
    const ReloadPlan live = planReload(running, read);
    ASSERT_EQ(live.hold.size(), 3u);
    EXPECT_EQ(live.hold[0].item, Item::DownlinkFrequency);
    EXPECT_EQ(live.hold[0].value, 435310000u);
    EXPECT_EQ(live.hold[1].item, Item::UplinkMode);
    EXPECT_EQ(live.hold[1].value, 0x01u);
    EXPECT_EQ(live.hold[2].item, Item::Tone);
    EXPECT_EQ(live.hold[2].value, 0u);
    EXPECT_EQ(live.changed,
              (std::vector<std::string>{"rx-freq", "tx-mode", "tone", "poll-ms", "rigctld-strict"}));
    EXPECT_TRUE(live.refused.empty());
    EXPECT_EQ(live.next.pollMs, 500u);
    EXPECT_FALSE(live.next.txHz.has_value());

    // The device, its rate and the server's address stay; the rest applies.
    read = radioConf();
    read.port = "/dev/ttyUSB1\x1b[2J";
    read.baud = 9600;
    read.waitForPort = true;
    read.rigctldAddress = "::";
    read.rxMode = 0x01;
    const ReloadPlan restart = planReload(running, read);
    EXPECT_EQ(joined(restart.refused),
              "port /dev/ttyUSB1\\x1b[2J needs a restart; the station keeps /dev/ttyUSB0\n"
              "baud 9600 needs a restart; the station keeps 57600\n"
              "wait-for-port yes needs a restart; the station keeps no\n"
              "rigctld [::]:4532 needs a restart; the station keeps 127.0.0.1:4532\n");
    EXPECT_EQ(restart.next.port, "/dev/ttyUSB0");
    EXPECT_EQ(restart.next.baud, 57600u);
    EXPECT_FALSE(restart.next.waitForPort);
    EXPECT_EQ(restart.next.rigctldAddress, "127.0.0.1");
    ASSERT_EQ(restart.hold.size(), 1u);
    EXPECT_EQ(restart.hold[0].item, Item::DownlinkMode);

    read = radioConf();
    read.rigctldPort.reset();
    EXPECT_EQ(joined(planReload(running, read).refused),
              "rigctld off needs a restart; the station keeps 127.0.0.1:4532\n");

    // What a start holds: every setting given, in the items' order.
    StationOptions few;
    few.txHz = 145850000;
    few.toneTenths = 885;
    const std::vector<HeldSetting> held = heldSettingsOf(few);
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(held[0].item, Item::UplinkFrequency);
    EXPECT_EQ(held[1].item, Item::Tone);
    EXPECT_EQ(held[1].value, 885u);
}
