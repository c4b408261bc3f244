// Seeded randomized fault injection: thousands of random sequences of driver calls with random
// and out-of-range arguments, VFO selections, repeated begin(), power cycles, refused writes,
// damaged replies and line noise, each under an owner's loop drawn for the sequence (every
// millisecond; jittered, with gaps of 0 to 50 ms; or stalling for up to 2 s now and then, once
// across the clock's wrap), each watched by the invariant checker after every update(), and
// each ending with a healthy radio left alone, which the driver must reconnect to within the
// bound derived in FaultHarness::reconnectionBoundMs() for the loop's longest gap G:
//
//   6493 + 12G + D + max(99 + G, D + 2G - 1) ms
//     = 2000 + 5G - 3 (a lost CAT ON: SAT ON, RX read and its timeout, each up to G late,
//                      each send one more gap after its wait)
//     + 3000 + 2G - 1 (retry wait, then CAT ON)
//     + 1500 + 4G - 2 (SAT ON, RX read)
//     + max(99 + G, D + 2G - 1) (TX read: 100 ms after the RX read, and after its reply)
//     + D + G - 1     (TX reply; D: read and reply on the wire, 11 bits a byte, plus latency)
//
// counted from the last millisecond in which the radio was not healthy; 6605 + D for a loop
// that updates every millisecond.
//
// FT847_FAULT_SEED sets the first sequence's seed (sequence i uses seed + i) and
// FT847_FAULT_SEQUENCES their number; a failure names its seed, and
//   FT847_FAULT_SEED=<seed> FT847_FAULT_SEQUENCES=1 ctest -R FaultInjection
// replays it alone. FT847_FIGURES_FILE names a file for the run's figures.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FaultHarness.h"
#include "FaultSequence.h"

namespace {

using Action = FaultHarness::Action;
using Loop = FaultHarness::Loop;

uint64_t fromEnvironment(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 0) : fallback;
}

}  // namespace

TEST(ReconnectionBound, FollowsFromTheTimingConstantsTheWireTimeAndTheLongestGap) {
    // Every millisecond: 6605 ms plus read and reply on the wire (2 x 11459 µs at 4800 baud,
    // 2 x 5730 µs at 9600, 2 x 955 µs at 57600, rounded up to whole ms) plus the latency.
    EXPECT_EQ(FaultHarness::reconnectionBoundMs(4800, 0), 6628u);
    EXPECT_EQ(FaultHarness::reconnectionBoundMs(4800, 40), 6668u);
    EXPECT_EQ(FaultHarness::reconnectionBoundMs(9600, 0), 6617u);
    EXPECT_EQ(FaultHarness::reconnectionBoundMs(57600, 5), 6612u);
    EXPECT_EQ(FaultHarness::reconnectionBoundMs(4800, 0, 1), 6628u);
    // Gaps up to 50 ms: 6493 + 600 + 23 + (99 + 50), the TX read held by the spacing.
    EXPECT_EQ(FaultHarness::reconnectionBoundMs(4800, 0, 50), 7265u);
    // Up to 700 ms: the RX reply is seen too late for the spacing to matter: 23 + 1400 - 1.
    EXPECT_EQ(FaultHarness::reconnectionBoundMs(4800, 0, 700), 16338u);
    EXPECT_EQ(FaultHarness::reconnectionBoundMs(4800, 40, 2000), 34618u);
    EXPECT_EQ(FaultHarness::reconnectionBoundMs(57600, 0, 2000), 34496u);
}

// A loop that always comes back as late as its longest gap allows: one update just before
// each deadline, the next a whole gap later, and every send a whole gap after the update
// that allowed it. At 4800 baud without latency the reply is in 23 ms after its read.
TEST(ReconnectionBound, ALoopThatIsAsLateAsItMayAtEveryStepTakesTheWholeBound) {
    struct Case {
        uint32_t gap;
        uint32_t bound;
    };
    for (const Case c : {Case{1, 6628}, Case{20, 6875}, Case{50, 7265}, Case{700, 16338},
                         Case{2000, 34538}}) {
        SCOPED_TRACE(c.gap);
        FaultHarness::Setup setup;
        setup.latencyMs = 0;
        FaultHarness harness(setup);
        FT847::State last = FT847::State::Idle;
        uint32_t failedAt = 0;
        harness.scriptLoop(
            [&harness, &last, &failedAt, c] {
                const FT847::State state = harness.rig.currentState();
                if (state == FT847::State::RetryWait && last != state) {
                    failedAt = clockMs;
                }
                last = state;
                const uint32_t sent = harness.uart.times.empty() ? 0 : harness.uart.times.back();
                const bool answers = harness.radio.catOn && harness.radio.satOn;
                uint32_t deadline = 0;
                switch (state) {
                case FT847::State::WaitCatOn: deadline = sent + 500; break;
                case FT847::State::WaitSatOn: deadline = sent + 1000; break;
                case FT847::State::RetryWait: deadline = failedAt + 3000; break;
                case FT847::State::ReadTxInit: deadline = sent + 100; break;
                case FT847::State::AwaitResponse: deadline = sent + (answers ? 23 : 500); break;
                default: return c.gap;
                }
                const int32_t left = static_cast<int32_t>(deadline - clockMs);
                return left > 1 ? std::min<uint32_t>(c.gap, static_cast<uint32_t>(left - 1))
                                : c.gap;
            },
            c.gap);
        harness.perform(Action::PowerOff, 0);
        harness.perform(Action::Begin, 0);
        harness.perform(Action::Wait, 0);  // CAT ON at 1 ms, into a radio that is off
        ASSERT_EQ(harness.uart.packets.size(), 1u);
        harness.recover(12345);
        EXPECT_TRUE(harness.ok()) << harness.report();
        EXPECT_EQ(harness.longestRecoveryMs(), c.bound);
    }
}

TEST(ReconnectionBound, ALostCatOnJustBeforeTheRadioComesRightTakesTheWholeBound) {
    for (uint32_t latency : {0u, 40u}) {
        SCOPED_TRACE(latency);
        FaultHarness::Setup setup;
        setup.latencyMs = latency;
        FaultHarness harness(setup);
        harness.perform(Action::PowerOff, 0);
        harness.perform(Action::Begin, 0);
        harness.perform(Action::Wait, 0);  // CAT ON at 1 ms, into a radio that is off
        ASSERT_EQ(harness.uart.packets.size(), 1u);
        harness.recover(12345);
        EXPECT_TRUE(harness.ok()) << harness.report();
        EXPECT_EQ(harness.longestRecoveryMs(), 6628u + latency);
    }
}

TEST(ReconnectionBound, AnyTighterBoundIsCaught) {
    FaultHarness harness(FaultHarness::Setup{});
    harness.perform(Action::PowerOff, 0);
    harness.perform(Action::Begin, 0);
    harness.perform(Action::Wait, 0);
    harness.radio.setPowered(true);
    harness.checker.radioHealthy(6627);
    harness.run(6627);
    EXPECT_NE(harness.checker.firstViolation().find("not connected 6627 ms after"),
              std::string::npos)
        << harness.checker.firstViolation();
}

TEST(ReconnectionBound, AConnectionFirstSeenAfterTheBoundIsCaught) {
    // An update every 50 ms from CAT ON at 1 ms (lost): the RX read at 1601 times out at 2101,
    // CAT ON again at 5151, SAT ON at 5701, the RX read at 6751, the TX read at 6851 and its
    // reply (in at 6874) is seen at 6901, 6900 ms after the radio came right. No update looks
    // between 6851 and 6901, when a bound of 6890 ms is already over.
    FaultHarness harness(FaultHarness::Setup{});
    harness.scriptLoop([] { return 50u; }, 50);
    harness.perform(Action::PowerOff, 0);
    harness.perform(Action::Begin, 0);
    harness.perform(Action::Wait, 0);
    harness.radio.setPowered(true);
    harness.checker.radioHealthy(6890);
    harness.run(6900);
    EXPECT_EQ(harness.uart.times.back(), 6851u);
    EXPECT_NE(harness.checker.firstViolation().find("connected only 6900 ms after"),
              std::string::npos)
        << harness.checker.firstViolation();
}

TEST(InvariantChecker, CatchesFramesTheDriverMustNotSend) {
    // A frame pushed past the driver, as a faulty driver would write it.
    struct Case {
        HardwareSerial::Frame frame;
        const char* finding;
    };
    const Case cases[] = {
        {{0x00, 0x00, 0x00, 0x00, 0x4E}, "SAT ON neither after CAT ON"},
        {{0x14, 0x59, 0x00, 0x00, 0x11}, "not the frame of the last accepted command"},
        {{0x0E, 0x00, 0x00, 0x00, 0x2B}, "not the tone that was accepted"},
        {{0x00, 0x00, 0x00, 0x00, 0x88}, "no frame the driver sends"},
        {{0x00, 0x00, 0x00, 0x01, 0x13}, "a read with parameters"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.finding);
        FaultHarness harness(FaultHarness::Setup{});
        harness.perform(Action::Begin, 0);
        harness.perform(Action::LongWait, 1999);
        ASSERT_TRUE(harness.rig.isConnected());
        ASSERT_TRUE(harness.ok()) << harness.report();
        harness.uart.packets.push_back(c.frame);
        harness.uart.times.push_back(clockMs);
        harness.run(1);
        EXPECT_NE(harness.checker.firstViolation().find(c.finding), std::string::npos)
            << harness.checker.firstViolation();
    }

    FaultHarness harness(FaultHarness::Setup{});
    harness.perform(Action::Begin, 0);
    harness.perform(Action::Wait, 0);
    harness.uart.packets.push_back({0x00, 0x00, 0x00, 0x00, 0x00});
    harness.uart.times.push_back(clockMs + 99);
    harness.run(99);
    EXPECT_NE(harness.checker.firstViolation().find("only 99 ms after"), std::string::npos)
        << harness.checker.firstViolation();
}

TEST(FaultInjection, RandomSequencesKeepEveryInvariant) {
    const uint64_t firstSeed = fromEnvironment("FT847_FAULT_SEED", 847);
    const uint64_t sequences = fromEnvironment("FT847_FAULT_SEQUENCES", 10000);
    FaultHarness::Figures total;
    for (uint64_t i = 0; i < sequences; ++i) {
        const uint64_t seed = firstSeed + i;
        SCOPED_TRACE("sequence seed " + std::to_string(seed) + "; replay with FT847_FAULT_SEED=" +
                     std::to_string(seed) + " FT847_FAULT_SEQUENCES=1");
        std::string failure;
        total.add(runFaultSequence(seed, failure));
        ASSERT_EQ(failure, "");
    }
    // Without these a full run would prove little; a replay of a few seeds need not show them.
    if (sequences >= 1000) {
        EXPECT_GT(total.failures, sequences);
        EXPECT_GT(total.reconnections, sequences);
        EXPECT_GT(total.refusedCalls, sequences);
        EXPECT_GT(total.updatesInSameMs, sequences);
        EXPECT_GT(total.stalls, sequences);
        EXPECT_GT(total.stallsAcrossWrap, sequences / 100);
        EXPECT_GT(total.powerSwitchesInStalls, sequences / 100);
        EXPECT_GT(total.bytesInStalls, sequences / 10);
        // msUntilNextStep() was held to every state under every loop: an update at or after
        // its time in each state from SendCatOn (1) to SendToneMode (15), and one before it
        // in exactly the states where the time can be more than 0: Ready (10, in the frame
        // spacing), the four waits (2, 4, 5, 7), a read (13), and the sends that can follow a
        // frame within 100 ms (SendSatPreset 6, ReadTxInit 9, SendCommand 11, ReadBack 12,
        // SendToneMode 15). The others come after a wait of 500 ms or more, or begin().
        for (size_t loop = 0; loop < 3; ++loop) {
            SCOPED_TRACE("loop " + std::to_string(loop));
            EXPECT_EQ(total.statesAtStep[loop], 0xFFFEu);
            EXPECT_EQ(total.statesBeforeStep[loop], 0xBEF4u);
        }
        EXPECT_GT(total.updatesBeforeStep, total.updates / 2);
    }

    std::string figures;
    auto put = [&figures](const char* key, uint64_t value) {
        figures += std::string(key) + " " + std::to_string(value) + "\n";
    };
    put("sequences", total.sequences);
    put("actions", total.actions);
    put("driver-calls", total.driverCalls);
    put("simulated-s", total.simulatedMs / 1000);
    put("frames", total.frames);
    put("faults", total.faults());
    put("power-cycles", total.powerCycles);
    put("write-refusals", total.writeRefusals);
    put("noise-bursts", total.noiseBursts);
    put("frames-lost", total.framesLost);
    put("bytes-dropped", total.bytesDropped);
    put("bytes-corrupted", total.bytesCorrupted);
    put("bytes-duplicated", total.bytesDuplicated);
    put("replies-truncated", total.repliesTruncated);
    put("replies-delayed", total.repliesDelayed);
    put("link-failures", total.failures);
    put("reconnections", total.reconnections);
    put("refused-calls", total.refusedCalls);
    put("longest-recovery-ms", total.longestRecoveryMs);
    put("first-seed", firstSeed);
    put("bound-ms-4800-baud-40-ms", FaultHarness::reconnectionBoundMs(4800, 40));
    put("bound-ms-57600-baud-0-ms", FaultHarness::reconnectionBoundMs(57600, 0));
    put("loops-steady", total.loops[0]);
    put("loops-jittered", total.loops[1]);
    put("loops-stalling", total.loops[2]);
    put("updates", total.updates);
    put("updates-in-same-ms", total.updatesInSameMs);
    put("stalls", total.stalls);
    put("stalls-across-wrap", total.stallsAcrossWrap);
    put("power-switches-in-stalls", total.powerSwitchesInStalls);
    put("bytes-in-stalls", total.bytesInStalls);
    put("longest-gap-ms", total.longestGapMs);
    put("updates-before-step", total.updatesBeforeStep);
    put("longest-recovery-ms-steady", total.longestRecoveryByLoopMs[0]);
    put("longest-recovery-ms-jittered", total.longestRecoveryByLoopMs[1]);
    put("longest-recovery-ms-stalling", total.longestRecoveryByLoopMs[2]);
    put("bound-ms-4800-baud-40-ms-jittered",
        FaultHarness::reconnectionBoundMs(4800, 40, FaultHarness::longestGapMs(Loop::Jittered)));
    put("bound-ms-4800-baud-40-ms-stalling",
        FaultHarness::reconnectionBoundMs(4800, 40, FaultHarness::longestGapMs(Loop::Stalling)));
    std::fputs(figures.c_str(), stdout);
    const char* file = std::getenv("FT847_FIGURES_FILE");
    if (file != nullptr && *file != '\0') {
        FILE* out = std::fopen(file, "w");
        ASSERT_NE(out, nullptr) << file;
        std::fputs(figures.c_str(), out);
        std::fclose(out);
    }
}
