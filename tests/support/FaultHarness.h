#pragma once

// One driver on the bench UART, a RadioModel behind it, an InvariantChecker watching. The
// seeded fault-injection test and the fuzz target both drive it one action at a time, each
// turning its own input (a generator, a fuzzer's bytes) into actions and arguments; recover()
// then makes the radio healthy and checks that the driver comes back and works.
//
// It uses the test platform's globals (clock, console, settings, rig-control records), so only
// one harness may exist at a time.

#include <cstddef>
#include <cstdint>
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

    struct Setup {
        uint32_t baud = 4800;
        uint32_t latencyMs = 5;
        uint32_t startMs = 0;
        uint64_t seed = 1;
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

        void add(const Figures& other);
        uint64_t faults() const;  // every fault event and every fault that struck
    };

    explicit FaultHarness(const Setup& setup);

    void perform(Action action, uint64_t argument);
    void run(uint32_t ms);  // the owner's loop, with the radio on the line
    void recover(uint64_t argument);

    // Milliseconds within which a driver left alone reconnects to a healthy radio.
    static uint32_t reconnectionBoundMs(uint32_t baud, uint32_t latencyMs);

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

    const uint32_t bound;
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
