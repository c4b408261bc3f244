#include "StationController.h"

#include <string>
#include <utility>

#include "OperatingModes.h"

namespace {

using Item = HeldSettings::Item;
using Errand = StationController::Errand;

std::string describe(Item item, uint64_t value) {
    switch (item) {
    case Item::DownlinkFrequency: return "RX " + std::to_string(value) + " Hz";
    case Item::UplinkFrequency: return "TX " + std::to_string(value) + " Hz";
    case Item::DownlinkMode: return "RX mode " + std::to_string(value);
    case Item::UplinkMode: return "TX mode " + std::to_string(value);
    case Item::Tone: return "tone " + std::to_string(value / 10) + "." + std::to_string(value % 10) +
                            " Hz";
    }
    return "?";
}

}  // namespace

StationController::StationController(FT847& radio, HeldSettings& settings, uint32_t pollEveryMs,
                                     StatusLines status, HandshakeWatch::Line line)
    : rig(radio), held(settings), pollMs(pollEveryMs), post(std::move(status)),
      handshake(std::move(line)) {}

void StationController::step(uint32_t nowMs) {
    const std::string why = handshake.look(rig);
    if (!why.empty()) {
        post(why);
    }
    noticeLink(nowMs);
    if (phase == Phase::Disconnected || rig.busy()) {
        return;
    }
    finishErrand();
    if (phase == Phase::Restoring && unsent == 0 && owed == Errand::None) {
        settle(nowMs);
    }
    const Plan plan = next(nowMs);
    if (plan.inMs == 0) {
        start(plan, nowMs);
    }
}

StationController::Plan StationController::next(uint32_t nowMs) const {
    const Plan now{Errand::None, Item::Tone, 0};
    const bool connected = rig.isConnected();
    if (connected != (phase != Phase::Disconnected)) {
        return now;  // step() has a connect or disconnect to report
    }
    if (!connected || rig.busy()) {
        return {Errand::None, Item::Tone, kUntilChange};  // the driver's own time comes first
    }
    if (underWay != Errand::None) {
        return now;  // step() has an errand to finish
    }
    if (owed == Errand::CheckLink) {
        return {Errand::CheckLink, Item::Tone, 0};
    }
    Item item = Item::Tone;
    if (phase == Phase::Restoring) {
        return unsent != 0 && nextSetting(item) ? Plan{Errand::Apply, item, 0} : now;
    }
    if (owed == Errand::PollTx) {
        return {Errand::PollTx, Item::Tone, 0};
    }
    // A poll that is due goes before the next setting, but not before two in a row: with the
    // shortest poll intervals, the polls would otherwise take every frame.
    const uint32_t sincePoll = nowMs - lastPollMs;
    const bool settingWaits = nextSetting(item);
    if (sincePoll >= pollInterval() && !(settingWaits && lastWasRead)) {
        return {pollMs != 0 ? Errand::PollRx : Errand::CheckLink, Item::Tone, 0};
    }
    if (settingWaits) {
        return {Errand::Apply, item, 0};
    }
    return {Errand::None, Item::Tone, pollInterval() - sincePoll};
}

void StationController::deviceLost() {
    // A read already owed finds out as well.
    if (owed == Errand::None) {
        owed = Errand::CheckLink;
    }
}

bool StationController::radioFrequency(Vfo vfo, uint64_t& hz) const {
    hz = radioHz[static_cast<size_t>(vfo)];
    return hz != 0;
}

void StationController::frequencyRead(Vfo vfo, uint64_t hz) {
    radioHz[static_cast<size_t>(vfo)] = hz;
    // What the radio holds, unless a set came after the read went out. The mode came in the
    // same reply.
    (void)held.polled(HeldSettings::frequencyOf(vfo), hz, errandGeneration);
    holdRadioMode(vfo, modeGeneration);
    if (underWay == Errand::CheckLink) {
        return;
    }
    post(std::string(vfo == Vfo::Downlink ? "station: RX " : "station: TX ") + std::to_string(hz) +
         " Hz\n");
}

// The mode byte that came in the VFO's last reply, unless it is none of the radio's modes.
void StationController::holdRadioMode(Vfo vfo, uint32_t generationAtRead) {
    const uint8_t mode = vfo == Vfo::Downlink ? rig.rxMode() : rig.txMode();
    if (operatingMode(mode) != nullptr) {
        (void)held.polled(HeldSettings::modeOf(vfo), mode, generationAtRead);
    }
}

// After every (re)connection every value held goes to the radio again.
void StationController::noticeLink(uint32_t nowMs) {
    const bool connected = rig.isConnected();
    if (connected == (phase != Phase::Disconnected)) {
        return;
    }
    post(connected ? "station: connected\n" : "station: disconnected\n");
    owed = Errand::None;
    unsent = 0;
    lastSent = kNone;
    radioHz[0] = radioHz[1] = 0;
    if (!connected) {
        phase = Phase::Disconnected;
        lost(nowMs);
        return;
    }
    phase = Phase::Restoring;
    held.reconnected();
    for (size_t i = 0; i < HeldSettings::kItems; ++i) {
        unsent |= held.pending(static_cast<Item>(i)) ? 1u << i : 0u;
    }
    // The handshake read both VFOs: their modes are known from now on, but for one that was
    // set, which goes to the radio again.
    for (const Vfo vfo : {Vfo::Downlink, Vfo::Uplink}) {
        holdRadioMode(vfo, held.generation(HeldSettings::modeOf(vfo)));
    }
}

// Connected and idle again: the radio took the setting (frequencies are read back).
void StationController::finishErrand() {
    if (underWay == Errand::Apply) {
        held.applied(applying, errandGeneration);
        if (applying == Item::DownlinkFrequency || applying == Item::UplinkFrequency) {
            radioHz[static_cast<size_t>(applying == Item::DownlinkFrequency ? Vfo::Downlink
                                                                             : Vfo::Uplink)] =
                applyingValue;
        }
    }
    underWay = Errand::None;
}

// The link went down while the driver was on an errand. A setting whose read-back failed the
// link was refused by the radio: after a few such refusals in a row it is given up, so that it
// does not keep failing the link. A radio switched off or a line that went silent blames no
// value.
void StationController::lost(uint32_t nowMs) {
    const Errand was = underWay;
    underWay = Errand::None;
    if (was != Errand::Apply || static_cast<uint32_t>(nowMs - errandSinceMs) >= kRefusedWithinMs) {
        return;
    }
    uint64_t value = 0;
    if (held.failedToApply(applying, errandGeneration) && held.get(applying, value)) {
        post("station: the radio did not take " + describe(applying, value) + "; given up\n");
    }
}

// Everything held at the connection has gone out; the first poll is due at once.
void StationController::settle(uint32_t nowMs) {
    phase = Phase::Serving;
    lastPollMs = nowMs - pollInterval();
    post("station: settings applied\n");
}

void StationController::start(const Plan& plan, uint32_t nowMs) {
    switch (plan.errand) {
    case Errand::None:
        break;
    case Errand::Apply:
        lastWasRead = false;
        startApply(plan.item, nowMs);
        break;
    case Errand::PollRx:
    case Errand::PollTx:
    case Errand::CheckLink:
        // A read that could not start stays due; one that failed the link is forgotten with it.
        if (startRead(plan.errand, nowMs)) {
            owed = plan.errand == Errand::PollRx ? Errand::PollTx : Errand::None;
            lastWasRead = true;
        }
        break;
    }
}

void StationController::startApply(Item item, uint32_t nowMs) {
    const uint32_t generation = held.generation(item);
    lastSent = static_cast<size_t>(item);
    unsent &= ~(1u << static_cast<size_t>(item));
    if (apply(item)) {
        underWay = Errand::Apply;
        applying = item;
        (void)held.get(item, applyingValue);
        errandGeneration = generation;
        errandSinceMs = nowMs;
        return;
    }
    // A connected, idle driver takes every value the station holds; one it refuses would
    // otherwise be offered again on every pass.
    uint64_t value = 0;
    (void)held.get(item, value);
    held.applied(item, generation);
    post("station: the driver refused " + describe(item, value) + "\n");
}

bool StationController::startRead(Errand errand, uint32_t nowMs) {
    const Vfo vfo = errand == Errand::PollTx ? Vfo::Uplink : Vfo::Downlink;
    // A set that comes while the read is under way must not be overruled by its result.
    const uint32_t generation = held.generation(HeldSettings::frequencyOf(vfo));
    if (!(vfo == Vfo::Downlink ? rig.requestRxRead() : rig.requestTxRead())) {
        return false;
    }
    underWay = errand;
    errandGeneration = generation;
    modeGeneration = held.generation(HeldSettings::modeOf(vfo));
    if (vfo == Vfo::Downlink) {
        lastPollMs = nowMs;
    }
    return true;
}

// The downlink is the radio's sub VFO (SAT RX), the uplink its main VFO (SAT TX).
bool StationController::apply(Item item) {
    uint64_t value = 0;
    if (!held.get(item, value)) {
        return false;
    }
    switch (item) {
    case Item::DownlinkFrequency:
        return rig.selectSub() && rig.setFrequency(value);
    case Item::DownlinkMode:
        return rig.selectSub() && rig.setMode(static_cast<uint8_t>(value));
    case Item::UplinkFrequency:
        return rig.selectMain() && rig.setFrequency(value);
    case Item::UplinkMode:
        return rig.selectMain() && rig.setMode(static_cast<uint8_t>(value));
    case Item::Tone:
        return rig.setTxTone(static_cast<double>(value) / 10.0);
    }
    return false;
}

// The pending setting after the one sent last, in the items' order: each setting takes its
// turn, however often another one changes.
bool StationController::nextSetting(Item& item) const {
    const size_t first = lastSent == kNone ? 0 : lastSent + 1;
    for (size_t i = 0; i < HeldSettings::kItems; ++i) {
        const Item candidate = static_cast<Item>((first + i) % HeldSettings::kItems);
        if (held.pending(candidate)) {
            item = candidate;
            return true;
        }
    }
    return false;
}
