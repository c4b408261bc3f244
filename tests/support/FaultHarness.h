#pragma once

// One driver on the bench UART, a RadioModel behind it, an InvariantChecker watching. The
// seeded fault-injection test and the fuzz target both drive it one action at a time, each
// turning its own input (a generator, a fuzzer's bytes) into actions and arguments; recover()
// then makes the radio healthy and checks that the driver comes back and works.
//
// Simulated time moves one millisecond at a time, and the line exchanges bytes every
// millisecond, but the owner's loop decides in which milliseconds update() runs and how often:
// every millisecond, with jitter, or with stalls (see Loop). A gap in the loop carries over from
// one action to the next, so the radio can be switched off and on, and bytes can arrive, while
// the driver is not looking.
//
// It uses the test platform's globals (clock, console, settings, rig-control records), so only
// one harness may exist at a time.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "BenchRadio.h"
#include "FT847.h"
#include "HardwareSerial.h"
#include "InvariantChecker.h"
#include "RadioModel.h"

class FaultHarness {
public:
    enum class Action : uint8_t {
        Wait,             // up to 300 ms of the owner's loop
        LongWait,         // up to 4 s
        Begin,
        BeginRefused,     // the settings refuse the baud rate
        SelectMain,
        SelectSub,
        SetFrequency,     // any 64-bit value, often a plausible one
        SetMode,          // any mode byte
        SetModeShortcut,  // LSB, USB, CW, CW-N or FM
        SetTone,          // a CTCSS tone, 0, or any double
        PollRx,
        PollTx,
        CancelAndSelectRx,
        SatellitePreset,
        PowerOff,
        PowerOn,
        RefuseWrites,
        AcceptWrites,
        Faults,           // a random mix of line faults
        NoFaults,
        LineNoise,        // bytes on the line nobody asked for
        Count,
    };

    // How the owner's loop calls update(). The gap is the time from one update() to the next;
    // 0 means another update() in the same millisecond.
    enum class Loop : uint8_t {
        Steady,    // every millisecond
        Jittered,  // gaps of 0 to 50 ms: often 0 or 1, sometimes up to 10, now and then up to 50
        Stalling,  // jittered, with a stall of 100 ms to 2 s now and then (one gap in 333); the
                   // first update within 2 s of the clock's wrap starts a stall across it
        Count,
    };

    struct Setup {
        uint32_t baud = 4800;
        uint32_t latencyMs = 5;
        uint32_t startMs = 0;
        uint64_t seed = 1;
        Loop loop = Loop::Steady;
        uint64_t loopSeed = 1;
    };

    // Counts of one harness's run, added up over many.
    struct Figures {
        uint64_t sequences = 0;
        uint64_t actions = 0;
        uint64_t driverCalls = 0;
        uint64_t simulatedMs = 0;
        uint64_t frames = 0;
        uint64_t failures = 0;
        uint64_t reconnections = 0;
        uint64_t refusedCalls = 0;
        uint64_t powerCycles = 0;
        uint64_t writeRefusals = 0;
        uint64_t faultMixes = 0;
        uint64_t noiseBursts = 0;
        uint64_t framesLost = 0;
        uint64_t bytesDropped = 0;
        uint64_t bytesCorrupted = 0;
        uint64_t bytesDuplicated = 0;
        uint64_t repliesTruncated = 0;
        uint64_t repliesDelayed = 0;
        uint32_t longestRecoveryMs = 0;
        uint64_t loops[3] = {0, 0, 0};  // sequences per Loop
        uint64_t updates = 0;
        uint64_t updatesInSameMs = 0;    // update() calls after another in the same millisecond
        uint64_t stalls = 0;             // gaps of 100 ms or more
        uint64_t stallsAcrossWrap = 0;
        uint64_t powerSwitchesInStalls = 0;  // the radio switched off or on during a stall
        uint64_t bytesInStalls = 0;          // bytes that reached the UART during a stall
        uint32_t longestGapMs = 0;
        uint32_t longestRecoveryByLoopMs[3] = {0, 0, 0};
        uint64_t updatesBeforeStep = 0;  // updates before msUntilNextStep()'s time
        // Per Loop, a bit per FT847::State: seen with an update before msUntilNextStep()'s
        // time, and with one at or after it.
        uint32_t statesBeforeStep[3] = {0, 0, 0};
        uint32_t statesAtStep[3] = {0, 0, 0};

        void add(const Figures& other);
        uint64_t faults() const;  // every fault event and every fault that struck
    };

    explicit FaultHarness(const Setup& setup);

    void perform(Action action, uint64_t argument);
    void run(uint32_t ms);  // the owner's loop, with the radio on the line
    void recover(uint64_t argument);

    // Replaces the drawn loop: next() gives the gap after each update(), at most longestGapMs.
    void scriptLoop(std::function<uint32_t()> next, uint32_t longestGapMs);

    // Milliseconds within which a driver left alone reconnects to a healthy radio, when no two
    // updates of the owner's loop are more than longestGapMs apart.
    static uint32_t reconnectionBoundMs(uint32_t baud, uint32_t latencyMs,
                                        uint32_t longestGapMs = 1);
    static uint32_t longestGapMs(Loop loop);

    bool ok() const { return checker.ok() && problem.empty(); }
    std::string report() const;  // the first violation, the actions taken and the frames
    Figures figures() const;
    uint32_t longestRecoveryMs() const { return counts.longestRecoveryMs; }

    HardwareSerial uart;
    RadioModel radio;
    BenchRadio line;
    FT847 rig;
    InvariantChecker checker;

private:
    bool command(InvariantChecker::Command which, uint64_t value, double tone = 0.0);
    bool select(bool rx);
    void settle();
    uint64_t replyDamage() const;
    void checkReadBackTruth(FT847::State before);
    void awaitReconnection();
    void note(const std::string& text);
    void fail(const std::string& text);
    void verifyVfo(bool rx, uint64_t hz, uint8_t mode);
    void update();
    uint32_t nextGap();
    uint32_t jitter();
    uint32_t draw(uint32_t below);

    const uint32_t baud;
    const uint32_t latencyMs;
    const Loop loop;
    uint64_t loopState;  // the loop's own generator, apart from the actions'
    std::function<uint32_t()> scripted;
    uint32_t maxGapMs;
    uint32_t bound;
    uint32_t skipMs = 0;  // milliseconds without update() before the next one
    uint32_t gapMs = 1;   // the gap drawn after the last update()
    uint32_t sameMsRun = 0;
    bool wrapStalled = false;
    uint32_t lastUpdateMs = 0;
    bool updatedOnce = false;
    std::string problem;
    std::string trace;
    Figures counts;
    size_t framesNoted = 0;
    bool truthPending = false;
    bool truthRx = true;
    uint32_t truthTens = 0;
    uint64_t truthDamage = 0;
    bool selectedRx = true;
    bool readRx = true;
    uint64_t readDamage = 0;
    bool cacheTrusted[2] = {false, false};  // [0] SAT TX, [1] SAT RX
};
