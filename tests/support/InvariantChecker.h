#pragma once

// Watches one driver on one bench UART and records the first broken rule. It is told about
// every driver call right after it is made, and looks again after every update(). No rule
// assumes how often the owner's loop calls update(): several times in one millisecond, or
// once after a stall of seconds, the same rules hold.
//
// - two frames are never less than 100 ms apart, the first frame after begin() excepted;
// - initialized() and failed() are never both true, isConnected() only when initialized();
// - in the 3000 ms after a failure nothing is written, failed() holds and busy() does not;
// - each wait (500 ms after CAT ON, 1000 ms after SAT ON, 100 ms after a requested SAT ON,
//   3000 ms after a failure) ends exactly at the first update() at which that much time has
//   passed: an update() before then leaves the driver waiting, the first one after ends it;
// - a state that sends does so at the first update() the 100 ms spacing allows;
// - during a read, counting every byte the driver was offered since the read went out: an
//   update() that finds exactly five, forming a valid reply, accepts it however late it comes
//   (or fails the link only for a frequency read-back that differs from the command); one that
//   finds six or more, or five that are no valid reply, fails the link; one that finds fewer
//   than five fails the link when 500 ms or more have passed since the read, and otherwise
//   keeps waiting; and no received byte is left unread;
// - a frequency is answered from the cache only once a read has filled it since the last
//   begin(), failure or SAT ON request;
// - every frame is one the driver may send at that point: CAT ON only to start a handshake,
//   SAT ON only after CAT ON or on request, a frequency, mode or tone frame only as the one the
//   last accepted command asked for, on the VFO selected then, and after a frequency or mode
//   frame nothing but the read-back of that VFO unless the command was abandoned;
// - a command is accepted exactly when the driver's state allows it and its argument is valid;
//   a refused command changes nothing observable;
// - once the radio is healthy and the driver left alone, it is connected again within the
//   bound it was given (no update() that sees it connected comes later), then stays connected
//   and silent;
// - msUntilNextStep() is exact: an update() before the time it gave changes nothing (unless
//   reply bytes arrived during a read) and leaves the time as it was, busy() does not change
//   before then either, and by the first update() at or after it something has changed; it
//   says "until a command" only for a driver that is not begun, or connected and not busy.
// - the driver keeps its side of the port's contract: begin() opens the port once, at the
//   settings' baud rate, 8N2, on RX pin 1 and TX pin 2, and a refused begin() does not open it;
//   each frame is one 5-byte write, flushed right away; read() only while bytes are waiting;
//   and no read command goes out while received bytes are unread.
//
// Expected numbers are written out here rather than taken from the driver.

#include <cstddef>
#include <cstdint>
#include <string>

#include "FT847.h"
#include "HardwareSerial.h"

class InvariantChecker {
public:
    enum class Command : uint8_t {
        SetFrequency,
        SetMode,
        SetTone,
        PollRx,
        PollTx,
        CancelAndSelectRx,
        SatellitePreset,
    };

    // Everything a caller can see of the driver and what it did.
    struct Snapshot {
        FT847::State state;
        bool connected;
        bool initialized;
        bool failed;
        bool busy;
        size_t frames;
        size_t received;  // bytes waiting in the UART
        size_t logLength;
        size_t reports;   // frequencies handed to rig control
        uint32_t portOpenings;  // begin() calls of the UART

        bool operator==(const Snapshot& other) const;
    };

    InvariantChecker(const FT847& rig, const HardwareSerial& uart);

    Snapshot snapshot() const;

    void begun(const Snapshot& before, bool accepted);
    void selected(bool rx);
    // The argument is the frequency in Hz, the mode code, or unused; tones pass toneHz.
    void commanded(Command command, const Snapshot& before, bool accepted, uint64_t argument,
                   double toneHz = 0.0);
    void beforeUpdate();  // just before each update()
    void updated();       // just after it

    // From now on the radio is on and free of faults, and the driver is left alone: it must be
    // connected within boundMs. Any later call or fault event calls disturbed().
    void radioHealthy(uint32_t boundMs);
    void disturbed();
    bool reconnected() const { return recoveredInMs != kNotYet; }
    uint32_t lastRecoveryMs() const { return recoveredInMs; }

    bool ok() const { return violation.empty(); }
    const std::string& firstViolation() const { return violation; }

    // Tallies of what was seen, for the figures of a run.
    uint32_t failures = 0;      // entries into the retry wait
    uint32_t reconnections = 0; // handshakes that ended connected
    uint32_t refused = 0;       // commands refused
    uint32_t updatesBeforeStep = 0;  // updates before msUntilNextStep()'s time, each checked
    uint32_t statesBeforeStep = 0;   // bit per State: seen with such an update
    uint32_t statesAtStep = 0;       // bit per State: seen with an update at or after the time

private:
    static constexpr uint32_t kNotYet = UINT32_MAX;

    void check(const Snapshot& now);
    void checkFrames();
    void checkFrame(const HardwareSerial::Frame& frame, uint32_t at);
    void expectCommandFrame(uint8_t p1, const uint8_t* bcd, uint8_t opcode);
    void fault(const std::string& what);
    void abandonPending();
    void forgetCache();
    void checkRead(FT847::State after, uint32_t now);

    // What msUntilNextStep() said after the last call into the driver, and what the driver
    // looked like then.
    struct StepTime {
        uint32_t askedAtMs = 0;
        uint32_t inMs = 0;
        Snapshot seen{};
    };
    void checkStepTime(const StepTime& asked, const Snapshot& before, const Snapshot& after);

    StepTime stepTime;
    Snapshot beforeUpdateSeen{};

    const FT847& rig;
    const HardwareSerial& uart;
    std::string violation;

    size_t framesSeen = 0;
    bool anyFrame = false;
    uint32_t lastFrameMs = 0;
    bool firstAfterBegin = false;

    FT847::State lastState = FT847::State::Idle;
    uint32_t stateEnteredMs = 0;
    size_t receivedBefore = 0;
    uint32_t lastReadMs = 0;
    bool lastReadRx = true;
    size_t replyOffered = 0;     // bytes waiting for the driver since the last read went out
    size_t replyTaken = 0;       // of which the driver has taken
    uint8_t reply[5] = {};       // the first five of them
    bool frequencyCheckOwed = false;  // a frequency frame went out, its read-back not yet
    bool readChecksFrequency = false; // the last read is the read-back of a frequency frame
    uint32_t checkTens = 0;           // the frequency it must report, in 10 Hz units
    bool cacheFilled[2] = {false, false};  // [0] SAT TX, [1] SAT RX
    bool lastConnected = false;
    bool retryWaiting = false;
    uint32_t failedAtMs = 0;

    bool catOnAllowed = false;
    bool satOnAllowed = false;
    bool selectionRx = true;
    bool commandPending = false;
    HardwareSerial::Frame pendingCommand{};
    uint8_t readBackOpcode = 0;  // 0: no read-back owed
    bool toneCodePending = false;
    uint8_t pendingToneCode = 0;
    bool toneModePending = false;
    uint8_t pendingToneMode = 0;

    bool healthy = false;
    uint32_t healthyAtMs = 0;
    uint32_t healthBoundMs = 0;
    uint32_t recoveredInMs = kNotYet;
};
