#include "InvariantChecker.h"

#include <cstdio>

#include "CatProtocol.h"
#include "Log.h"
#include "Millis.h"
#include "RigControl.h"
#include "Settings.h"

namespace {

using Frame = HardwareSerial::Frame;
using State = FT847::State;

std::string hexOf(const Frame& frame) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X %02X %02X %02X %02X", frame[0], frame[1], frame[2],
                  frame[3], frame[4]);
    return text;
}

bool sends(State state) {
    switch (state) {
    case State::SendCatOn:
    case State::SendSatOn:
    case State::SendSatPreset:
    case State::ReadRxInit:
    case State::ReadTxInit:
    case State::SendCommand:
    case State::ReadBack:
    case State::SendToneFrequency:
    case State::SendToneMode:
        return true;
    default:
        return false;
    }
}

// How long each wait lasts, and the state that follows it.
bool waitOf(State state, uint32_t& ms, State& next) {
    switch (state) {
    case State::WaitCatOn: ms = 500; next = State::SendSatOn; return true;
    case State::WaitSatOn: ms = 1000; next = State::ReadRxInit; return true;
    case State::WaitSatPreset: ms = 100; next = State::Ready; return true;
    case State::RetryWait: ms = 3000; next = State::SendCatOn; return true;
    default: return false;
    }
}

bool parametersZero(const Frame& frame) {
    return frame[0] == 0 && frame[1] == 0 && frame[2] == 0 && frame[3] == 0;
}

const char* nameOf(InvariantChecker::Command command) {
    switch (command) {
    case InvariantChecker::Command::SetFrequency: return "setFrequency";
    case InvariantChecker::Command::SetMode: return "setMode";
    case InvariantChecker::Command::SetTone: return "setTxTone";
    case InvariantChecker::Command::PollRx: return "requestRxRead";
    case InvariantChecker::Command::PollTx: return "requestTxRead";
    case InvariantChecker::Command::CancelAndSelectRx: return "cancelAndSelectRx";
    case InvariantChecker::Command::SatellitePreset: return "requestSatelliteMode";
    }
    return "?";
}

}  // namespace

bool InvariantChecker::Snapshot::operator==(const Snapshot& other) const {
    return state == other.state && connected == other.connected &&
           initialized == other.initialized && failed == other.failed && busy == other.busy &&
           frames == other.frames && received == other.received &&
           logLength == other.logLength && reports == other.reports &&
           portOpenings == other.portOpenings;
}

InvariantChecker::InvariantChecker(const FT847& driver, const HardwareSerial& port)
    : rig(driver), uart(port), framesSeen(port.packets.size()) {
    lastState = rig.currentState();
}

InvariantChecker::Snapshot InvariantChecker::snapshot() const {
    return {rig.currentState(), rig.isConnected(), rig.initialized(), rig.failed(), rig.busy(),
            uart.packets.size(), uart.rx.size(), Serial.text.size(), frequencyReports.size(),
            uart.beginCalls};
}

void InvariantChecker::fault(const std::string& what) {
    if (violation.empty()) {
        violation = "at " + std::to_string(millis()) + " ms: " + what;
    }
}

void InvariantChecker::abandonPending() {
    frequencyCheckOwed = false;
    commandPending = false;
    toneCodePending = false;
    toneModePending = false;
    readBackOpcode = 0;
}

void InvariantChecker::forgetCache() {
    cacheFilled[0] = false;
    cacheFilled[1] = false;
}

void InvariantChecker::begun(const Snapshot& before, bool accepted) {
    checkFrames();
    Snapshot now = snapshot();
    if (!accepted) {
        now.logLength = before.logLength;  // the build tag is logged before the settings say no
        if (!(now == before)) {
            fault("a refused begin() changed the driver");
        }
        ++refused;
    } else {
        if (now.state != State::SendCatOn || now.connected || now.initialized || now.failed) {
            fault("begin() did not schedule a fresh handshake");
        }
        if (now.portOpenings != before.portOpenings + 1 || uart.baud != testSettings.baud ||
            uart.config != 2 || uart.rxPin != 1 || uart.txPin != 2) {
            char opened[96];
            std::snprintf(opened, sizeof opened,
                          "%u time(s), last at %lu bps, format %d, pins %d/%d",
                          static_cast<unsigned>(now.portOpenings - before.portOpenings),
                          static_cast<unsigned long>(uart.baud), uart.config, uart.rxPin,
                          uart.txPin);
            fault(std::string("begin() did not open the port once at the settings' rate, 8N2, "
                              "pins 1 and 2: ") + opened);
        }
        firstAfterBegin = true;
        retryWaiting = false;
        catOnAllowed = true;
        satOnAllowed = false;
        selectionRx = true;
        abandonPending();
        forgetCache();
    }
    check(now);
}

void InvariantChecker::selected(bool rx) { selectionRx = rx; }

void InvariantChecker::commanded(Command command, const Snapshot& before, bool accepted,
                                 uint64_t argument, double toneHz) {
    const bool idle = before.state == State::Ready;
    const bool mayPoll = before.initialized && !before.failed && idle && !before.busy;
    uint8_t toneCode = 0;
    bool allowed = false;
    switch (command) {
    case Command::SetFrequency:
        allowed = before.connected && idle && argument >= 10 && argument <= 999999990;
        break;
    case Command::SetMode:
        allowed = before.connected && idle;
        break;
    case Command::SetTone:
        allowed = before.connected && idle && !before.busy &&
                  (toneHz == 0.0 || cat::toneCodeFor(toneHz, toneCode));
        break;
    case Command::PollRx:
    case Command::PollTx:
        allowed = mayPoll;
        break;
    case Command::CancelAndSelectRx:
        allowed = before.initialized && idle;
        break;
    case Command::SatellitePreset:
        allowed = before.initialized;
        break;
    }
    const bool poll = command == Command::PollRx || command == Command::PollTx;
    const std::string name = nameOf(command);

    // A poll writes its read at once; when the port refuses it, the failure is latched and
    // the poll reports false.
    if (poll && allowed && uart.failWrites) {
        const Snapshot now = snapshot();
        if (accepted || now.state != State::RetryWait || !now.failed ||
            now.frames != before.frames) {
            fault(name + " with a refusing port did not latch the write failure");
        }
        check(now);
        return;
    }
    if (accepted != allowed) {
        fault(name + (accepted ? " was accepted" : " was refused") + " (argument " +
              std::to_string(argument) + ", state " +
              std::to_string(static_cast<int>(before.state)) + ")");
        return;
    }
    if (!accepted) {
        ++refused;
        if (!(snapshot() == before)) {
            fault("a refused " + name + " changed the driver");
        }
        return;
    }

    const State state = rig.currentState();
    switch (command) {
    case Command::SetFrequency: {
        uint8_t bcd[4];
        cat::encodeBcd(static_cast<uint32_t>(argument / 10), bcd);
        if (state == State::SendCommand) {
            expectCommandFrame(bcd[0], bcd,
                               selectionRx ? cat::kSetSatRxFrequency : cat::kSetSatTxFrequency);
        } else if (state == State::Ready && !cacheFilled[selectionRx ? 1 : 0]) {
            fault("setFrequency was answered from an empty cache");
        } else if (state != State::Ready) {
            fault("setFrequency left the driver in state " +
                  std::to_string(static_cast<int>(state)));
        }
        break;
    }
    case Command::SetMode: {
        const uint8_t zero[4] = {static_cast<uint8_t>(argument), 0, 0, 0};
        if (state != State::SendCommand) {
            fault("an accepted setMode sends nothing");
        }
        expectCommandFrame(zero[0], zero, selectionRx ? cat::kSetSatRxMode : cat::kSetSatTxMode);
        break;
    }
    case Command::SetTone:
        if (state != (toneHz == 0.0 ? State::SendToneMode : State::SendToneFrequency)) {
            fault("an accepted setTxTone is not under way");
        }
        toneCodePending = toneHz != 0.0;
        pendingToneCode = toneCode;
        toneModePending = true;
        pendingToneMode = toneHz == 0.0 ? cat::kToneEncoderOff : cat::kToneEncoderOn;
        break;
    case Command::PollRx:
    case Command::PollTx: {
        const uint8_t opcode = command == Command::PollRx ? cat::kReadSatRx : cat::kReadSatTx;
        if (state != State::AwaitResponse || uart.packets.size() != before.frames + 1 ||
            uart.packets.back() != Frame{0x00, 0x00, 0x00, 0x00, opcode}) {
            fault(name + " did not write its read at once");
        }
        break;
    }
    case Command::CancelAndSelectRx:
        selectionRx = true;
        break;
    case Command::SatellitePreset:
        if (state != State::SendSatPreset) {
            fault("an accepted requestSatelliteMode is not under way");
        }
        abandonPending();
        forgetCache();
        satOnAllowed = true;
        break;
    }
    checkFrames();
    check(snapshot());
}

void InvariantChecker::expectCommandFrame(uint8_t p1, const uint8_t* bcd, uint8_t opcode) {
    commandPending = true;
    pendingCommand = {p1, bcd[1], bcd[2], bcd[3], opcode};
}

// What the driver can find when it looks: the bytes waiting now, after those it took before.
void InvariantChecker::beforeUpdate() {
    beforeUpdateSeen = snapshot();
    receivedBefore = uart.rx.size();
    if (rig.currentState() == State::AwaitResponse) {
        for (size_t i = 0; i < receivedBefore && replyTaken + i < sizeof reply; ++i) {
            reply[replyTaken + i] = uart.rx[i];
        }
        replyOffered = replyTaken + receivedBefore;
    }
}

void InvariantChecker::updated() {
    const State before = lastState;
    const uint32_t now = millis();
    const bool spacingAllows =
        firstAfterBegin || !anyFrame || static_cast<uint32_t>(now - lastFrameMs) >= 100;
    const size_t framesBefore = framesSeen;
    checkFrames();
    const Snapshot after = snapshot();
    const std::string name = "state " + std::to_string(static_cast<int>(before));

    if (sends(before) && spacingAllows && framesSeen == framesBefore &&
        after.state != State::RetryWait) {
        fault(name + " could send, yet nothing was written");
    }
    uint32_t waitMs = 0;
    State next = State::Idle;
    if (waitOf(before, waitMs, next)) {
        const uint32_t waited = now - stateEnteredMs;
        if (waited >= waitMs && after.state != next) {
            fault(name + " still waiting after " + std::to_string(waited) + " ms of its " +
                  std::to_string(waitMs));
        }
        if (waited < waitMs && after.state != before) {
            fault(name + " ended after " + std::to_string(waited) + " ms, not " +
                  std::to_string(waitMs));
        }
    }
    if (before == State::AwaitResponse) {
        if (after.received != 0) {
            fault("a read left " + std::to_string(after.received) + " received bytes unread");
        }
        replyTaken = replyOffered - after.received;
        checkRead(after.state, now);
        if (after.state == State::Ready || after.state == State::ReadTxInit) {
            cacheFilled[lastReadRx ? 1 : 0] = true;
        }
    }
    const StepTime asked = stepTime;
    check(after);
    checkStepTime(asked, beforeUpdateSeen, after);
}

// `asked` is what msUntilNextStep() said after the last call, `before` and `after` the driver
// around this update(), stepTime what it says now.
void InvariantChecker::checkStepTime(const StepTime& asked, const Snapshot& before,
                                     const Snapshot& after) {
    const uint32_t now = millis();
    const uint32_t since = now - asked.askedAtMs;
    const bool forCommand = asked.inMs == FT847::kUntilCommand;
    const uint32_t bit = 1u << (static_cast<unsigned>(asked.seen.state) & 31u);
    // Bytes waiting for the driver are no change of its own.
    Snapshot seen = asked.seen;
    seen.received = before.received;
    const bool untouched = seen == before && after == before;
    const auto problem = [&](const std::string& what) {
        fault("state " + std::to_string(static_cast<int>(asked.seen.state)) + ", " +
              std::to_string(since) + " ms after msUntilNextStep() gave " +
              (forCommand ? std::string("kUntilCommand") : std::to_string(asked.inMs)) + ": " +
              what);
    };
    if (!forCommand && since >= asked.inMs) {
        statesAtStep |= bit;
        if (untouched) {
            problem("nothing has happened");
        }
        return;
    }
    if (asked.seen.state == State::AwaitResponse && before.received > asked.seen.received) {
        return;  // a reply byte that came since may end a read before its timeout
    }
    ++updatesBeforeStep;
    statesBeforeStep |= bit;
    const bool sameTime = forCommand ? stepTime.inMs == FT847::kUntilCommand
                                     : stepTime.inMs != FT847::kUntilCommand &&
                                           now + stepTime.inMs == asked.askedAtMs + asked.inMs;
    if (!untouched) {
        problem("an update changed the driver");
    } else if (!sameTime) {
        problem("an update that changed nothing moved the time to " +
                std::to_string(stepTime.inMs) + " ms");
    }
}

// The outcome of one update() during a read follows from the bytes it found and the time.
void InvariantChecker::checkRead(State after, uint32_t now) {
    const uint32_t sinceRead = now - lastReadMs;
    const std::string found = "an update " + std::to_string(sinceRead) +
                              " ms after the read that found " + std::to_string(replyOffered) +
                              " reply bytes ";
    const bool failed = after == State::RetryWait;
    if (replyOffered < 5) {
        if (sinceRead >= 500 && !failed) {
            fault(found + "did not fail the link");
        } else if (sinceRead < 500 && after != State::AwaitResponse) {
            fault(found + "gave up on the read");
        }
        return;
    }
    if (replyOffered > 5) {
        if (!failed) {
            fault(found + "did not fail the link");
        }
        return;
    }
    uint32_t tens = 0;
    const bool valid = cat::decodeBcd(reply, tens) && tens != 0;
    const bool mismatch = readChecksFrequency && tens != checkTens;
    if (valid && !mismatch && after != State::Ready && after != State::ReadTxInit) {
        fault(found + "did not accept them as a valid reply");
    }
    if ((!valid || mismatch) && !failed) {
        fault(found + "accepted " +
              (valid ? "a frequency other than the one set" : "no frequency"));
    }
}

void InvariantChecker::check(const Snapshot& now) {
    if (const char* broken = uart.brokenPromise()) {
        fault(std::string("the port's contract broken: ") + broken);
    }
    if (now.initialized && now.failed) {
        fault("initialized() and failed() both true");
    }
    if (now.connected && !now.initialized) {
        fault("isConnected() without initialized()");
    }
    if (now.state == State::RetryWait && (!now.failed || now.busy || now.connected)) {
        fault("waiting to retry, yet not failed, or busy, or connected");
    }
    if (now.state == State::RetryWait && lastState != State::RetryWait) {
        ++failures;
        retryWaiting = true;
        failedAtMs = millis();
        catOnAllowed = true;
        satOnAllowed = false;
        abandonPending();
        forgetCache();
    }
    if (now.connected && !lastConnected) {
        ++reconnections;
    }
    if (healthy) {
        const uint32_t elapsed = millis() - healthyAtMs;
        if (recoveredInMs == kNotYet) {
            if (now.connected && now.state == State::Ready) {
                recoveredInMs = elapsed;
                if (elapsed > healthBoundMs) {
                    fault("connected only " + std::to_string(elapsed) +
                          " ms after the radio came right (bound " +
                          std::to_string(healthBoundMs) + " ms)");
                }
            } else if (elapsed >= healthBoundMs) {
                fault("not connected " + std::to_string(elapsed) +
                      " ms after the radio came right (bound " + std::to_string(healthBoundMs) +
                      " ms)");
            }
        } else if (!now.connected) {
            fault("the link dropped while the radio was healthy and the driver left alone");
        }
    }
    if (now.state != lastState) {
        stateEnteredMs = millis();
    }
    lastState = now.state;
    lastConnected = now.connected;

    stepTime = {millis(), rig.msUntilNextStep(), snapshot()};
    if (stepTime.inMs == FT847::kUntilCommand && now.state != State::Idle &&
        (now.state != State::Ready || now.busy)) {
        fault("state " + std::to_string(static_cast<int>(now.state)) +
              (now.busy ? " (busy)" : "") + ": msUntilNextStep() waits for a command");
    }
}

void InvariantChecker::checkFrames() {
    for (; framesSeen < uart.packets.size(); ++framesSeen) {
        checkFrame(uart.packets[framesSeen], uart.times[framesSeen]);
    }
}

void InvariantChecker::checkFrame(const Frame& frame, uint32_t at) {
    const std::string shown = hexOf(frame) + " at " + std::to_string(at);
    if (anyFrame && !firstAfterBegin && static_cast<uint32_t>(at - lastFrameMs) < 100) {
        fault(shown + " only " + std::to_string(static_cast<uint32_t>(at - lastFrameMs)) +
              " ms after the previous frame");
    }
    if (retryWaiting && static_cast<uint32_t>(at - failedAtMs) < 3000) {
        fault(shown + " during the 3000 ms retry wait");
    }
    if (healthy && recoveredInMs != kNotYet) {
        fault(shown + ": the driver was connected and left alone");
    }
    const uint8_t opcode = frame[4];
    // Only a new SAT ON request, a failure or begin() cancels a read-back, and each of them
    // forgets it before the next frame.
    if (readBackOpcode != 0 && frame != Frame{0x00, 0x00, 0x00, 0x00, readBackOpcode}) {
        fault(shown + " where the read-back of the command's VFO was due");
    }
    readBackOpcode = 0;
    const bool owed = frequencyCheckOwed;
    frequencyCheckOwed = false;
    if (!cat::isRead(opcode)) {
        readChecksFrequency = false;
    }

    switch (opcode) {
    case cat::kCatOn:
        if (!parametersZero(frame) || !catOnAllowed) {
            fault(shown + ": CAT ON outside the start of a handshake");
        }
        catOnAllowed = false;
        satOnAllowed = true;
        break;
    case cat::kSatOn:
        if (!parametersZero(frame) || !satOnAllowed) {
            fault(shown + ": SAT ON neither after CAT ON nor requested");
        }
        satOnAllowed = false;
        break;
    case cat::kReadSatRx:
    case cat::kReadSatTx:
        if (!parametersZero(frame)) {
            fault(shown + ": a read with parameters");
        }
        lastReadMs = at;
        lastReadRx = opcode == cat::kReadSatRx;
        replyTaken = 0;
        replyOffered = 0;
        readChecksFrequency = owed;
        break;
    case cat::kSetSatRxFrequency:
    case cat::kSetSatTxFrequency:
    case cat::kSetSatRxMode:
    case cat::kSetSatTxMode:
        if (!commandPending || frame != pendingCommand) {
            fault(shown + " is not the frame of the last accepted command" +
                  (commandPending ? " (" + hexOf(pendingCommand) + ")" : std::string()));
        }
        commandPending = false;
        if (opcode == cat::kSetSatRxFrequency || opcode == cat::kSetSatTxFrequency) {
            frequencyCheckOwed = cat::decodeBcd(frame.data(), checkTens);
        }
        readBackOpcode =
            (opcode == cat::kSetSatRxFrequency || opcode == cat::kSetSatRxMode) ? cat::kReadSatRx
                                                                                : cat::kReadSatTx;
        break;
    case cat::kSetSatTxTone:
        if (!toneCodePending || frame != Frame{pendingToneCode, 0, 0, 0, cat::kSetSatTxTone}) {
            fault(shown + " is not the tone that was accepted");
        }
        toneCodePending = false;
        break;
    case cat::kSetSatTxToneMode:
        if (!toneModePending || toneCodePending ||
            frame != Frame{pendingToneMode, 0, 0, 0, cat::kSetSatTxToneMode}) {
            fault(shown + " is not the encoder switch that was accepted");
        }
        toneModePending = false;
        break;
    default:
        fault(shown + " is no frame the driver sends");
        break;
    }
    anyFrame = true;
    lastFrameMs = at;
    firstAfterBegin = false;
}

void InvariantChecker::radioHealthy(uint32_t boundMs) {
    healthy = true;
    healthyAtMs = millis();
    healthBoundMs = boundMs;
    recoveredInMs = kNotYet;
    check(snapshot());
}

void InvariantChecker::disturbed() { healthy = false; }
