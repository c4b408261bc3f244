#include "FaultHarness.h"

#include <cstdio>
#include <cstring>

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
// alone from then on. The worst case is a handshake whose CAT ON went out in that last
// millisecond and was lost: the radio then ignores SAT ON and the reads, so
//   the RX read goes out 501 + 1001 ms after CAT ON and times out 500 ms later: 2002 ms;
//   the retry wait is 3000 ms, and CAT ON goes out on the update after it: 3001 ms;
//   the new handshake sends SAT ON 501 ms after CAT ON, the RX read 1001 ms later and the TX
//     read 100 ms after that, and is connected once the TX reply is in: 1602 ms + D,
// where D, the time from writing a read to the update that sees its last reply byte, is the
// wire time of the 5-byte read and the 5-byte reply (11 bits a byte) plus the radio's latency,
// rounded up to the next millisecond. In all 6605 ms + D, as long as D stays below 100 ms
// (otherwise the TX read waits for the RX reply and the sum changes).
// Every other state recovers sooner: a read under way fails at most 500 ms later, a failure
// already latched retries within 3001 ms, a lost SAT ON or read fails earlier in its
// handshake, and a connected driver that is left alone stays connected.
uint32_t FaultHarness::reconnectionBoundMs(uint32_t baud, uint32_t latencyMs) {
    const uint64_t frameUs = (5ull * 11 * 1000000 + baud - 1) / baud;
    const uint64_t replyMs = (2 * frameUs + 999) / 1000 + latencyMs;
    return static_cast<uint32_t>(2002 + 3001 + 1602 + replyMs);
}

FaultHarness::FaultHarness(const Setup& setup)
    : radio(prepare(setup)),
      line(uart, radio),
      rig(uart),
      checker(rig, uart),
      bound(reconnectionBoundMs(setup.baud, setup.latencyMs)) {}

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

// The owner's loop: each millisecond the clock moves, the line delivers what the radio has
// sent by then, update() runs, and the radio receives what the driver wrote.
void FaultHarness::run(uint32_t ms) {
    for (uint32_t i = 0; i < ms; ++i) {
        ++clockMs;
        line.exchange();
        const FT847::State before = rig.currentState();
        checker.beforeUpdate();
        static_cast<SerialTransport&>(rig).update();
        checker.updated();
        checkReadBackTruth(before);
        line.exchange();
    }
    counts.simulatedMs += ms;
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
        const size_t which = argument % 5;
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
        counts.powerCycles += radio.powered() ? 1 : 0;
        radio.setPowered(false);
        break;
    case Action::PowerOn:
        radio.setPowered(true);
        break;
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

void FaultHarness::settle() {
    for (uint32_t i = 0; i < 1000 && (rig.busy() || rig.currentState() != FT847::State::Ready);
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
    std::string text = checker.ok() ? problem : checker.firstViolation();
    text += "\nactions:\n" + trace + "frames:\n";
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
}

uint64_t FaultHarness::Figures::faults() const {
    return powerCycles + writeRefusals + noiseBursts + framesLost + bytesDropped +
           bytesCorrupted + bytesDuplicated + repliesTruncated + repliesDelayed;
}
