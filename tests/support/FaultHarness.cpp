#include "FaultHarness.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "CatProtocol.h"
#include "Log.h"
#include "Millis.h"
#include "RigControl.h"
#include "Settings.h"

namespace {

using Action = FaultHarness::Action;
using Command = InvariantChecker::Command;

RadioModel::Options prepare(const FaultHarness::Setup& setup) {
    clockMs = setup.startMs;
    Serial.text.clear();
    frequencyReports.clear();
    testSettings = TestSettings{};
    testSettings.baud = setup.baud;
    RadioModel::Options options;
    options.baud = setup.baud;
    options.latencyMs = setup.latencyMs;
    options.seed = setup.seed;
    return options;
}

// The codes of the driver's five mode shortcuts: LSB, USB, CW, CW narrow, FM.
constexpr uint8_t kShortcutModes[5] = {cat::kModeLsb, cat::kModeUsb, cat::kModeCw,
                                       cat::kModeCwNarrow, cat::kModeFm};

constexpr uint64_t kRadioHas = UINT64_MAX;
constexpr uint64_t kRadioHasOnTheOtherVfo = UINT64_MAX - 1;

// Mostly frequencies a satellite station uses, then the edges of the range, then anything;
// kRadioHas stands for the frequency the selected VFO of the radio is on,
// kRadioHasOnTheOtherVfo for the other VFO's.
uint64_t frequencyFrom(uint64_t argument) {
    const uint64_t rest = argument >> 4;
    switch (argument & 0x0F) {
    case 0: return 0;
    case 1: return rest % 10;                         // below 10 Hz
    case 2: return 10;
    case 3: return 999999990;
    case 4: return 999999991 + rest % 1000;
    case 5: return rest;                              // anything at all
    case 11: case 12: return kRadioHas;               // the radio's own frequency
    case 13: return kRadioHasOnTheOtherVfo;
    case 6: return 10 + rest % 999999981;             // anywhere in range
    case 7: case 8: case 9: return 144000000 + rest % 2000000;
    default: return 435000000 + rest % 3000000;
    }
}

// Standard tones, off, near misses and any bit pattern at all (NaN and infinities included).
double toneFrom(uint64_t argument) {
    static const double kTones[] = {67.0, 88.5, 100.0, 123.0, 156.7, 250.3};
    const uint64_t rest = argument >> 3;
    switch (argument & 0x07) {
    case 0: return 0.0;
    case 1: case 2: return kTones[rest % 6];
    case 3: return kTones[rest % 6] + 0.02;
    case 4: return -kTones[rest % 6];
    case 5: return 60.0 + static_cast<double>(rest % 2000) / 10.0;
    default: {
        double any = 0.0;
        std::memcpy(&any, &rest, sizeof any);
        return any;
    }
    }
}

RadioModel::Faults faultsFrom(uint64_t argument) {
    static const uint16_t kChances[4] = {0, 20, 250, 1000};
    static const uint32_t kExtraLatencyMs[4] = {0, 0, 150, 700};
    RadioModel::Faults faults;
    faults.loseFrame = kChances[argument & 3];
    faults.dropByte = kChances[(argument >> 2) & 3];
    faults.corruptByte = kChances[(argument >> 4) & 3];
    faults.duplicateByte = kChances[(argument >> 6) & 3];
    faults.truncateReply = kChances[(argument >> 8) & 3];
    faults.extraLatencyMs = kExtraLatencyMs[(argument >> 10) & 3];
    return faults;
}

const char* nameOf(Action action) {
    static const char* const kNames[] = {
        "Wait", "LongWait", "Begin", "BeginRefused", "SelectMain", "SelectSub", "SetFrequency",
        "SetMode", "SetModeShortcut", "SetTone", "PollRx", "PollTx", "CancelAndSelectRx",
        "SatellitePreset", "PowerOff", "PowerOn", "RefuseWrites", "AcceptWrites", "Faults",
        "NoFaults", "LineNoise"};
    const size_t index = static_cast<size_t>(action);
    return index < sizeof kNames / sizeof kNames[0] ? kNames[index] : "?";
}

}  // namespace

// The bound, in milliseconds from the last millisecond in which the radio was not healthy
// (off, faulty or refusing writes) to the driver being connected and idle, with the driver left
// alone from then on, for an owner's loop whose updates are never more than G ms apart (G = 1
// for a loop that updates every millisecond).
//
// Two facts about such a loop: a wait of N ms from a stamp s ends at the first update at or
// after s + N, which comes at the latest at s + N + G - 1; and the step after it (the next
// frame) comes at the latest one gap later. D, the time from writing a read to the arrival of
// the last reply byte, is the wire time of the 5-byte read and the 5-byte reply (11 bits a
// byte) plus the radio's latency, rounded up to the next millisecond.
//
// The worst case is a handshake whose CAT ON went out in that last millisecond, t0, and was
// lost: the radio then ignores SAT ON and the reads, so
//   SAT ON goes out by t0 + 500 + 2G - 1, the RX read 1000 + 2G - 1 later, and the read times
//     out by 500 + G - 1 after that: 2000 + 5G - 3 ms;
//   the retry wait of 3000 ms ends, and CAT ON goes out one update later: 3000 + 2G - 1;
//   the new handshake sends SAT ON and the RX read as above: 1500 + 4G - 2;
//   the RX reply is taken by D + G - 1 after the read, and the TX read goes out at the first
//     update that is both after that one and 100 ms or more after the RX read:
//     max(100 + G - 1, D + 2G - 1);
//   the TX reply is taken, and the driver connected, by D + G - 1 after the TX read.
// In all 6493 + 12G + D + max(99 + G, D + 2G - 1); for G = 1 and D below 100 ms that is
// 6605 + D. A loop that comes back as late as it may at every step takes exactly this long.
// Every other state recovers sooner: a read under way fails at most 500 + G - 1 ms later, a
// failure already latched retries within 3000 + 2G - 1 ms, a lost SAT ON or read fails
// earlier in its handshake, and a connected driver that is left alone stays connected.
uint32_t FaultHarness::reconnectionBoundMs(uint32_t baud, uint32_t latencyMs,
                                           uint32_t longestGapMs) {
    const uint64_t frameUs = (5ull * 11 * 1000000 + baud - 1) / baud;
    const uint64_t d = (2 * frameUs + 999) / 1000 + latencyMs;
    const uint64_t g = longestGapMs;
    const uint64_t txRead = 99 + g > d + 2 * g - 1 ? 99 + g : d + 2 * g - 1;
    return static_cast<uint32_t>(6493 + 12 * g + d + txRead);
}

uint32_t FaultHarness::longestGapMs(Loop loop) {
    switch (loop) {
    case Loop::Steady: return 1;
    case Loop::Jittered: return 50;
    case Loop::Stalling: return 2000;
    case Loop::Count: break;
    }
    return 1;
}

FaultHarness::FaultHarness(const Setup& setup)
    : radio(prepare(setup)),
      line(uart, radio),
      rig(uart),
      checker(rig, uart),
      baud(setup.baud),
      latencyMs(setup.latencyMs),
      loop(setup.loop),
      loopState(setup.loopSeed ^ 0x9E3779B97F4A7C15ull ? setup.loopSeed ^ 0x9E3779B97F4A7C15ull
                                                       : 1),
      maxGapMs(longestGapMs(setup.loop)),
      bound(reconnectionBoundMs(setup.baud, setup.latencyMs, maxGapMs)) {}

void FaultHarness::scriptLoop(std::function<uint32_t()> next, uint32_t longest) {
    scripted = std::move(next);
    maxGapMs = longest;
    bound = reconnectionBoundMs(baud, latencyMs, longest);
}

void FaultHarness::note(const std::string& text) {
    if (trace.size() < 20000) {
        trace += std::to_string(millis()) + ": " + text + "\n";
    }
}

void FaultHarness::fail(const std::string& text) {
    if (problem.empty()) {
        problem = "at " + std::to_string(millis()) + " ms: " + text;
    }
}

// The owner's loop: each millisecond the clock moves and the line delivers what the radio has
// sent by then; in the milliseconds the loop chooses, update() runs (several times for gaps of
// 0), and the radio receives what the driver wrote.
void FaultHarness::run(uint32_t ms) {
    for (uint32_t i = 0; i < ms; ++i) {
        ++clockMs;
        const size_t waiting = uart.rx.size();
        line.exchange();
        if (skipMs > 0) {
            --skipMs;
            if (gapMs >= 100) {
                counts.bytesInStalls += uart.rx.size() - waiting;
            }
            continue;
        }
        do {
            update();
            gapMs = nextGap();
        } while (gapMs == 0);
        skipMs = gapMs - 1;
        line.exchange();
    }
    counts.simulatedMs += ms;
}

void FaultHarness::update() {
    const uint32_t now = millis();
    if (updatedOnce) {
        const uint32_t gap = now - lastUpdateMs;
        counts.updatesInSameMs += gap == 0 ? 1 : 0;
        if (gap >= 100) {
            ++counts.stalls;
            counts.stallsAcrossWrap += now < lastUpdateMs ? 1 : 0;
        }
        counts.longestGapMs = gap > counts.longestGapMs ? gap : counts.longestGapMs;
    }
    updatedOnce = true;
    lastUpdateMs = now;
    ++counts.updates;
    const FT847::State before = rig.currentState();
    checker.beforeUpdate();
    static_cast<SerialTransport&>(rig).update();
    checker.updated();
    checkReadBackTruth(before);
}

// xorshift64*, the loop's own generator, so that the actions drawn do not depend on how often
// the loop has run.
uint32_t FaultHarness::draw(uint32_t below) {
    loopState ^= loopState >> 12;
    loopState ^= loopState << 25;
    loopState ^= loopState >> 27;
    return static_cast<uint32_t>(((loopState * 0x2545F4914F6CDD1Dull) >> 32) % below);
}

// A main loop with other work to do: often straight back (up to three more updates in the same
// millisecond), mostly within a few milliseconds, now and then up to 50.
uint32_t FaultHarness::jitter() {
    const uint32_t pick = draw(8);
    if (pick < 2 && sameMsRun < 3) {
        ++sameMsRun;
        return 0;
    }
    sameMsRun = 0;
    if (pick < 5) {
        return 1;
    }
    return pick < 7 ? 2 + draw(9) : 11 + draw(40);
}

uint32_t FaultHarness::nextGap() {
    if (scripted) {
        return scripted();
    }
    switch (loop) {
    case Loop::Steady:
    case Loop::Count:
        return 1;
    case Loop::Jittered:
        return jitter();
    case Loop::Stalling: {
        // A flash write that starts before the wrap and ends after it.
        const uint32_t toWrap = 0u - millis();
        if (!wrapStalled && toWrap != 0 && toWrap < 2000) {
            wrapStalled = true;
            sameMsRun = 0;
            const uint32_t gap = toWrap + 1 + draw(2000 - toWrap);
            return gap < 100 ? 100 : gap;
        }
        if (draw(333) == 0) {
            sameMsRun = 0;
            return 100 + draw(1901);
        }
        return jitter();
    }
    }
    return 1;
}

// Whatever damages or forges reply bytes; a read-back can only be trusted without it.
uint64_t FaultHarness::replyDamage() const {
    const RadioModel::Tally& t = radio.tally;
    return uint64_t{t.bytesDropped} + t.bytesCorrupted + t.bytesDuplicated + t.repliesTruncated +
           t.repliesDelayed + counts.noiseBursts;
}

// A frequency command that ends connected must have set the radio to that frequency, unless
// a reply was damaged meanwhile: the read-back exists to catch a lost command.
void FaultHarness::checkReadBackTruth(FT847::State before) {
    for (; framesNoted < uart.packets.size(); ++framesNoted) {
        const HardwareSerial::Frame& frame = uart.packets[framesNoted];
        const uint8_t opcode = frame[4];
        if (opcode == cat::kSetSatRxFrequency || opcode == cat::kSetSatTxFrequency) {
            truthPending = cat::decodeBcd(frame.data(), truthTens);
            truthRx = opcode == cat::kSetSatRxFrequency;
            truthDamage = replyDamage();
        } else if (cat::isRead(opcode)) {
            readRx = opcode == cat::kReadSatRx;
            readDamage = replyDamage();
        } else {
            truthPending = false;
        }
    }
    const FT847::State after = rig.currentState();
    if (before == FT847::State::AwaitResponse &&
        (after == FT847::State::Ready || after == FT847::State::ReadTxInit)) {
        cacheTrusted[readRx ? 1 : 0] = replyDamage() == readDamage;
    }
    if (!truthPending || before != FT847::State::AwaitResponse || after == before) {
        return;
    }
    truthPending = false;
    const uint32_t actual = truthRx ? radio.satRx.tens : radio.satTx.tens;
    if (after == FT847::State::Ready && rig.isConnected() && replyDamage() == truthDamage &&
        actual != truthTens) {
        fail("a frequency command ended connected, but the radio is at " +
             std::to_string(uint64_t{actual} * 10) + " Hz, not " +
             std::to_string(uint64_t{truthTens} * 10));
    }
}

bool FaultHarness::command(Command which, uint64_t value, double tone) {
    ++counts.driverCalls;
    const InvariantChecker::Snapshot before = checker.snapshot();
    bool accepted = false;
    switch (which) {
    case Command::SetFrequency: accepted = rig.setFrequency(value); break;
    case Command::SetMode: accepted = rig.setMode(static_cast<uint8_t>(value)); break;
    case Command::SetTone: accepted = rig.setTxTone(tone); break;
    case Command::PollRx: accepted = rig.requestRxRead(); break;
    case Command::PollTx: accepted = rig.requestTxRead(); break;
    case Command::CancelAndSelectRx: accepted = rig.cancelAndSelectRx(); break;
    case Command::SatellitePreset: accepted = rig.requestSatelliteMode(); break;
    }
    checker.commanded(which, before, accepted, value, tone);
    if (which == Command::CancelAndSelectRx && accepted) {
        selectedRx = true;
    }
    // A frequency answered from the cache: the cache must hold what the radio is on, unless a
    // damaged reply filled it.
    if (which == Command::SetFrequency && accepted && rig.currentState() == FT847::State::Ready &&
        cacheTrusted[selectedRx ? 1 : 0]) {
        const uint32_t actual = (selectedRx ? radio.satRx : radio.satTx).tens;
        if (uint64_t{actual} * 10 != value - value % 10) {
            fail("setFrequency(" + std::to_string(value) +
                 ") was answered from the cache, but the radio is at " +
                 std::to_string(uint64_t{actual} * 10) + " Hz");
        }
    }
    return accepted;
}

bool FaultHarness::select(bool rx) {
    selectedRx = rx;
    ++counts.driverCalls;
    const bool result = rx ? rig.selectSub() : rig.selectMain();
    checker.selected(rx);
    return result;
}

void FaultHarness::perform(Action action, uint64_t argument) {
    ++counts.actions;
    checker.disturbed();
    bool accepted = false;
    switch (action) {
    case Action::Wait:
        run(static_cast<uint32_t>(argument % 300) + 1);
        return;
    case Action::LongWait:
        run(static_cast<uint32_t>(argument % 4000) + 1);
        return;
    case Action::Begin:
    case Action::BeginRefused: {
        ++counts.driverCalls;
        const InvariantChecker::Snapshot before = checker.snapshot();
        testSettings.baudAllowed = action == Action::Begin;
        accepted = rig.begin();
        testSettings.baudAllowed = true;
        checker.begun(before, accepted);
        selectedRx = accepted ? true : selectedRx;
        break;
    }
    case Action::SelectMain:
    case Action::SelectSub:
        accepted = select(action == Action::SelectSub);
        break;
    case Action::SetFrequency:
        argument = frequencyFrom(argument);
        if (argument == kRadioHas || argument == kRadioHasOnTheOtherVfo) {
            const bool rx = selectedRx == (argument == kRadioHas);
            argument = uint64_t{(rx ? radio.satRx : radio.satTx).tens} * 10;
        }
        accepted = command(Command::SetFrequency, argument);
        break;
    case Action::SetMode:
        argument &= 0xFF;
        accepted = command(Command::SetMode, argument);
        break;
    case Action::SetModeShortcut: {
        // The shortcuts, each checked as the mode code it stands for.
        const size_t which = static_cast<size_t>(argument % 5);
        ++counts.driverCalls;
        const InvariantChecker::Snapshot before = checker.snapshot();
        accepted = which == 0   ? rig.setModeLsb()
                   : which == 1 ? rig.setModeUsb()
                   : which == 2 ? rig.setModeCw(false)
                   : which == 3 ? rig.setModeCw(true)
                                : rig.setModeFm();
        argument = kShortcutModes[which];
        checker.commanded(Command::SetMode, before, accepted, argument);
        break;
    }
    case Action::SetTone: {
        const double hz = toneFrom(argument);
        accepted = command(Command::SetTone, 0, hz);
        char text[48];
        std::snprintf(text, sizeof text, "SetTone(%g) -> %s", hz, accepted ? "true" : "false");
        note(text);
        return;
    }
    case Action::PollRx:
        accepted = command(Command::PollRx, 0);
        break;
    case Action::PollTx:
        accepted = command(Command::PollTx, 0);
        break;
    case Action::CancelAndSelectRx:
        accepted = command(Command::CancelAndSelectRx, 0);
        break;
    case Action::SatellitePreset:
        accepted = command(Command::SatellitePreset, 0);
        break;
    case Action::PowerOff:
    case Action::PowerOn: {
        const bool on = action == Action::PowerOn;
        if (radio.powered() != on) {
            counts.powerCycles += on ? 0 : 1;
            counts.powerSwitchesInStalls += skipMs > 0 && gapMs >= 100 ? 1 : 0;
        }
        radio.setPowered(on);
        break;
    }
    case Action::RefuseWrites:
        ++counts.writeRefusals;
        radio.faults.refuseWrites = true;
        line.exchange();
        break;
    case Action::AcceptWrites:
        radio.faults.refuseWrites = false;
        line.exchange();
        break;
    case Action::Faults: {
        ++counts.faultMixes;
        const bool refusing = radio.faults.refuseWrites;
        radio.faults = faultsFrom(argument);
        radio.faults.refuseWrites = refusing;
        break;
    }
    case Action::NoFaults: {
        const bool refusing = radio.faults.refuseWrites;
        radio.faults = RadioModel::Faults{};
        radio.faults.refuseWrites = refusing;
        break;
    }
    case Action::LineNoise:
        ++counts.noiseBursts;
        for (uint64_t n = argument % 6 + 1, bits = argument >> 8; n > 0; --n, bits >>= 8) {
            uart.rx.push_back(static_cast<uint8_t>(bits));
        }
        break;
    case Action::Count:
        break;
    }
    note(std::string(nameOf(action)) + "(" + std::to_string(argument) + ") -> " +
         (accepted ? "true" : "false"));
}

// A command takes at most four gaps of the loop more than its frames' spacing and replies.
void FaultHarness::settle() {
    const uint32_t limit = 1000 + 4 * maxGapMs;
    for (uint32_t i = 0; i < limit && (rig.busy() || rig.currentState() != FT847::State::Ready);
         ++i) {
        run(1);
    }
}

// Frequency and mode of one VFO, each verified against the radio itself.
void FaultHarness::verifyVfo(bool rx, uint64_t hz, uint8_t mode) {
    const char* vfo = rx ? "SAT RX" : "SAT TX";
    const RadioModel::Vfo& state = rx ? radio.satRx : radio.satTx;
    if (!select(rx) || !command(Command::SetFrequency, hz)) {
        fail(std::string("a connected driver refused a frequency for ") + vfo);
        return;
    }
    settle();
    if (uint64_t{state.tens} * 10 != hz - hz % 10 || !rig.isConnected()) {
        fail(std::string(vfo) + " is at " + std::to_string(uint64_t{state.tens} * 10) +
             " Hz, not " + std::to_string(hz));
    }
    if (!command(Command::SetMode, mode)) {
        fail(std::string("a connected driver refused a mode for ") + vfo);
        return;
    }
    settle();
    if (state.mode != mode || !rig.isConnected()) {
        fail(std::string(vfo) + " mode is " + std::to_string(state.mode) + ", not " +
             std::to_string(mode));
    }
}

// From now on the driver is left alone: it must be connected within the bound, then stay
// connected and silent for another 300 ms.
void FaultHarness::awaitReconnection() {
    checker.radioHealthy(bound);
    for (uint32_t waited = 0; checker.ok() && !checker.reconnected() && waited <= bound;
         ++waited) {
        run(1);
    }
    // The loop may not have looked at the driver once it was too late.
    if (checker.ok() && !checker.reconnected()) {
        fail("not connected " + std::to_string(bound) + " ms after the radio came right");
    }
    if (checker.reconnected() && checker.lastRecoveryMs() > counts.longestRecoveryMs) {
        counts.longestRecoveryMs = checker.lastRecoveryMs();
    }
    run(300);
    checker.disturbed();
}

void FaultHarness::recover(uint64_t argument) {
    note("radio healthy");
    radio.faults = RadioModel::Faults{};
    radio.setPowered(true);
    line.exchange();
    awaitReconnection();
    if (!ok()) {
        return;
    }
    // A radio switched off and on while the driver sat idle has CAT off again, and the driver
    // learns that only from its next read. The firmware polls periodically; so does this.
    note("poll");
    command(Command::PollRx, 0);
    awaitReconnection();
    const uint32_t failuresBefore = checker.failures;
    if (!ok()) {
        return;
    }

    verifyVfo(true, 435000000 + argument % 3000000, kShortcutModes[argument % 5]);
    verifyVfo(false, 144000000 + (argument >> 24) % 2000000, kShortcutModes[(argument >> 8) % 5]);
    settle();
    if (!command(Command::SetTone, 0, 88.5)) {
        fail("a connected, idle driver refused the 88.5 Hz tone");
    }
    settle();
    if (radio.toneCode != 0x0E || !radio.toneEncoder) {
        fail("the radio's tone is not 88.5 Hz with the encoder on");
    }
    if (!command(Command::PollTx, 0)) {
        fail("a connected, idle driver refused a poll");
    }
    settle();
    if (frequencyReports.empty() || frequencyReports.back().sub ||
        frequencyReports.back().hz != uint64_t{radio.satTx.tens} * 10) {
        fail("the SAT TX poll did not report the radio's frequency");
    }
    if (!rig.isConnected() || checker.failures != failuresBefore) {
        fail("the driver lost the link to a healthy radio");
    }
}

std::string FaultHarness::report() const {
    static const char* const kLoops[] = {"steady", "jittered", "stalling", "scripted"};
    std::string text = checker.ok() ? problem : checker.firstViolation();
    text += "\nloop: " + std::string(kLoops[scripted ? 3 : static_cast<size_t>(loop) % 3]) +
            ", reconnection bound " + std::to_string(bound) + " ms\nactions:\n" + trace +
            "frames:\n";
    for (size_t i = 0; i < uart.packets.size() && text.size() < 60000; ++i) {
        char row[40];
        const HardwareSerial::Frame& f = uart.packets[i];
        std::snprintf(row, sizeof row, "%lu: %02X %02X %02X %02X %02X\n",
                      static_cast<unsigned long>(uart.times[i]), f[0], f[1], f[2], f[3], f[4]);
        text += row;
    }
    return text;
}

FaultHarness::Figures FaultHarness::figures() const {
    Figures f = counts;
    f.sequences = 1;
    f.frames = uart.packets.size();
    f.failures = checker.failures;
    f.reconnections = checker.reconnections;
    f.refusedCalls = checker.refused;
    f.framesLost = radio.tally.framesLost;
    f.bytesDropped = radio.tally.bytesDropped;
    f.bytesCorrupted = radio.tally.bytesCorrupted;
    f.bytesDuplicated = radio.tally.bytesDuplicated;
    f.repliesTruncated = radio.tally.repliesTruncated;
    f.repliesDelayed = radio.tally.repliesDelayed;
    const size_t kind = static_cast<size_t>(loop) % 3;
    f.loops[kind] = 1;
    f.longestRecoveryByLoopMs[kind] = counts.longestRecoveryMs;
    f.updatesBeforeStep = checker.updatesBeforeStep;
    f.statesBeforeStep[kind] = checker.statesBeforeStep;
    f.statesAtStep[kind] = checker.statesAtStep;
    return f;
}

void FaultHarness::Figures::add(const Figures& other) {
    sequences += other.sequences;
    actions += other.actions;
    driverCalls += other.driverCalls;
    simulatedMs += other.simulatedMs;
    frames += other.frames;
    failures += other.failures;
    reconnections += other.reconnections;
    refusedCalls += other.refusedCalls;
    powerCycles += other.powerCycles;
    writeRefusals += other.writeRefusals;
    faultMixes += other.faultMixes;
    noiseBursts += other.noiseBursts;
    framesLost += other.framesLost;
    bytesDropped += other.bytesDropped;
    bytesCorrupted += other.bytesCorrupted;
    bytesDuplicated += other.bytesDuplicated;
    repliesTruncated += other.repliesTruncated;
    repliesDelayed += other.repliesDelayed;
    if (other.longestRecoveryMs > longestRecoveryMs) {
        longestRecoveryMs = other.longestRecoveryMs;
    }
    updates += other.updates;
    updatesInSameMs += other.updatesInSameMs;
    stalls += other.stalls;
    stallsAcrossWrap += other.stallsAcrossWrap;
    powerSwitchesInStalls += other.powerSwitchesInStalls;
    bytesInStalls += other.bytesInStalls;
    if (other.longestGapMs > longestGapMs) {
        longestGapMs = other.longestGapMs;
    }
    updatesBeforeStep += other.updatesBeforeStep;
    for (size_t i = 0; i < 3; ++i) {
        statesBeforeStep[i] |= other.statesBeforeStep[i];
        statesAtStep[i] |= other.statesAtStep[i];
        loops[i] += other.loops[i];
        if (other.longestRecoveryByLoopMs[i] > longestRecoveryByLoopMs[i]) {
            longestRecoveryByLoopMs[i] = other.longestRecoveryByLoopMs[i];
        }
    }
}

uint64_t FaultHarness::Figures::faults() const {
    return powerCycles + writeRefusals + noiseBursts + framesLost + bytesDropped +
           bytesCorrupted + bytesDuplicated + repliesTruncated + repliesDelayed;
}
