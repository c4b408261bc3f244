// Seeded randomized fault injection: thousands of random sequences of driver calls with random
// and out-of-range arguments, VFO selections, repeated begin(), power cycles, refused writes,
// damaged replies and line noise, each watched by the invariant checker after every update(),
// and each ending with a healthy radio left alone, which the driver must reconnect to within
// the bound derived in FaultHarness::reconnectionBoundMs():
//
//   6605 ms + D = 2002 (a lost CAT ON: SAT ON +501, RX read +1001, timeout +500)
//               + 3001 (retry wait, then CAT ON on the next update)
//               + 1602 (SAT ON +501, RX read +1001, TX read +100)
//               + D    (read and reply on the wire, 11 bits a byte, plus the radio's latency)
//
// counted from the last millisecond in which the radio was not healthy.
//
// FT847_FAULT_SEED sets the first sequence's seed (sequence i uses seed + i) and
// FT847_FAULT_SEQUENCES their number; a failure names its seed, and
//   FT847_FAULT_SEED=<seed> FT847_FAULT_SEQUENCES=1 ctest -R FaultInjection
// replays it alone. FT847_FIGURES_FILE names a file for the run's figures.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FaultHarness.h"

namespace {

using Action = FaultHarness::Action;

uint64_t fromEnvironment(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 0) : fallback;
}

// splitmix64: a seed fixes the whole sequence on every platform.
class Generator {
public:
    explicit Generator(uint64_t seed) : state(seed) {}
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }

private:
    uint64_t state;
};

// How often each action is drawn: mostly time passing, then commands, then faults.
struct Weighted {
    Action action;
    uint32_t weight;
};
const Weighted kActions[] = {
    {Action::Wait, 30},           {Action::LongWait, 4},         {Action::Begin, 2},
    {Action::BeginRefused, 1},    {Action::SelectMain, 3},       {Action::SelectSub, 3},
    {Action::SetFrequency, 8},    {Action::SetMode, 3},          {Action::SetModeShortcut, 3},
    {Action::SetTone, 4},         {Action::PollRx, 4},           {Action::PollTx, 4},
    {Action::CancelAndSelectRx, 2}, {Action::SatellitePreset, 2}, {Action::PowerOff, 2},
    {Action::PowerOn, 3},         {Action::RefuseWrites, 1},     {Action::AcceptWrites, 2},
    {Action::Faults, 3},          {Action::NoFaults, 3},         {Action::LineNoise, 2},
};

Action draw(Generator& generator) {
    uint32_t total = 0;
    for (const Weighted& w : kActions) {
        total += w.weight;
    }
    uint32_t pick = generator.below(total);
    for (const Weighted& w : kActions) {
        if (pick < w.weight) {
            return w.action;
        }
        pick -= w.weight;
    }
    return Action::Wait;
}

// One sequence: a radio at 4800, 9600 or 57600 baud with up to 40 ms latency, a clock that
// sometimes starts just before its wrap, begin(), 20 to 60 random actions, recovery.
FaultHarness::Figures runSequence(uint64_t seed, std::string& failure) {
    Generator generator(seed);
    static const uint32_t kBauds[3] = {4800, 9600, 57600};
    FaultHarness::Setup setup;
    setup.baud = kBauds[generator.below(3)];
    setup.latencyMs = generator.below(41);
    setup.startMs = generator.below(8) == 0 ? 0xFFFFFFFFu - generator.below(20000)
                                            : static_cast<uint32_t>(generator.next());
    setup.seed = generator.next();
    FaultHarness harness(setup);
    harness.perform(Action::Begin, 0);
    const uint32_t actions = 20 + generator.below(41);
    for (uint32_t i = 0; i < actions && harness.ok(); ++i) {
        const Action action = draw(generator);
        harness.perform(action, generator.next());
    }
    if (harness.ok()) {
        harness.recover(generator.next());
    }
    if (!harness.ok()) {
        failure = harness.report();
    }
    return harness.figures();
}

}  // namespace

TEST(ReconnectionBound, FollowsFromTheTimingConstantsAndTheWireTime) {
    // 6605 ms plus read and reply on the wire (2 x 11459 µs at 4800 baud, 2 x 5730 µs at
    // 9600, 2 x 955 µs at 57600, rounded up to whole ms) plus the latency.
    EXPECT_EQ(FaultHarness::reconnectionBoundMs(4800, 0), 6628u);
    EXPECT_EQ(FaultHarness::reconnectionBoundMs(4800, 40), 6668u);
    EXPECT_EQ(FaultHarness::reconnectionBoundMs(9600, 0), 6617u);
    EXPECT_EQ(FaultHarness::reconnectionBoundMs(57600, 5), 6612u);
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
        total.add(runSequence(seed, failure));
        ASSERT_EQ(failure, "");
    }
    // Without these the run would prove little.
    EXPECT_GT(total.failures, sequences);
    EXPECT_GT(total.reconnections, sequences);
    EXPECT_GT(total.refusedCalls, sequences);

    char figures[1024];
    std::snprintf(figures, sizeof figures,
                  "sequences=%llu\nactions=%llu\ndriver_calls=%llu\nsimulated_s=%llu\n"
                  "frames=%llu\nfaults=%llu\npower_cycles=%llu\nwrite_refusals=%llu\n"
                  "noise_bursts=%llu\nframes_lost=%llu\nbytes_dropped=%llu\n"
                  "bytes_corrupted=%llu\nbytes_duplicated=%llu\nreplies_truncated=%llu\n"
                  "replies_delayed=%llu\nlink_failures=%llu\nreconnections=%llu\n"
                  "refused_calls=%llu\nlongest_recovery_ms=%u\nfirst_seed=%llu\n"
                  "bound_ms_4800_baud_40_ms=%u\nbound_ms_57600_baud_0_ms=%u\n",
                  static_cast<unsigned long long>(total.sequences),
                  static_cast<unsigned long long>(total.actions),
                  static_cast<unsigned long long>(total.driverCalls),
                  static_cast<unsigned long long>(total.simulatedMs / 1000),
                  static_cast<unsigned long long>(total.frames),
                  static_cast<unsigned long long>(total.faults()),
                  static_cast<unsigned long long>(total.powerCycles),
                  static_cast<unsigned long long>(total.writeRefusals),
                  static_cast<unsigned long long>(total.noiseBursts),
                  static_cast<unsigned long long>(total.framesLost),
                  static_cast<unsigned long long>(total.bytesDropped),
                  static_cast<unsigned long long>(total.bytesCorrupted),
                  static_cast<unsigned long long>(total.bytesDuplicated),
                  static_cast<unsigned long long>(total.repliesTruncated),
                  static_cast<unsigned long long>(total.repliesDelayed),
                  static_cast<unsigned long long>(total.failures),
                  static_cast<unsigned long long>(total.reconnections),
                  static_cast<unsigned long long>(total.refusedCalls), total.longestRecoveryMs,
                  static_cast<unsigned long long>(firstSeed),
                  FaultHarness::reconnectionBoundMs(4800, 40),
                  FaultHarness::reconnectionBoundMs(57600, 0));
    std::fputs(figures, stdout);
    const char* file = std::getenv("FT847_FIGURES_FILE");
    if (file != nullptr && *file != '\0') {
        FILE* out = std::fopen(file, "w");
        ASSERT_NE(out, nullptr) << file;
        std::fputs(figures, out);
        std::fclose(out);
    }
}
