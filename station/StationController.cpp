#include "StationController.h"

#include <string>
#include <utility>

namespace {

using Item = HeldSettings::Item;

Item frequencyOf(bool rx) { return rx ? Item::DownlinkFrequency : Item::UplinkFrequency; }

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
                                     StatusLines status)
    : rig(radio), held(settings), pollMs(pollEveryMs), post(std::move(status)) {}

// The SAT RX VFO (the downlink) is the radio's sub VFO, SAT TX (the uplink) its main VFO.
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

bool StationController::poll(bool rx, bool check, uint32_t nowMs) {
    // A set that comes while the read is under way must not be overruled by its result.
    const uint32_t generation = held.generation(frequencyOf(rx));
    if (!(rx ? rig.requestRxRead() : rig.requestTxRead())) {
        return false;
    }
    pollGeneration[rx ? 1 : 0] = generation;
    checking = check;
    if (rx) {
        lastPollMs = nowMs;
    }
    return true;
}

bool StationController::pollDue(uint32_t nowMs) const {
    const uint32_t interval = pollMs != 0 ? pollMs : kLinkCheckMs;
    return txPollDue || static_cast<uint32_t>(nowMs - lastPollMs) >= interval;
}

// The pending setting after the one sent last, in the order of application: each setting takes
// its turn, however often another one changes.
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

// The link went down while the driver carried out a held value. If it went down at the
// value's read-back, the radio refused the value: after a few such refusals in a row it is
// given up, so that it does not keep failing the link. A radio switched off or a line that
// went silent fails the link later, and blames no value.
void StationController::lost(uint32_t nowMs) {
    if (inFlight == kNone) {
        return;
    }
    const Item item = static_cast<Item>(inFlight);
    inFlight = kNone;
    if (static_cast<uint32_t>(nowMs - inFlightSinceMs) >= kRefusalWithinMs) {
        return;
    }
    uint64_t value = 0;
    if (held.failedToApply(item, inFlightGeneration) && held.get(item, value)) {
        post("station: the radio did not take " + describe(item, value) + "; given up\n");
    }
}

void StationController::step(uint32_t nowMs) {
    const bool now = rig.isConnected();
    if (now != connected) {
        connected = now;
        post(connected ? "station: connected\n" : "station: disconnected\n");
        settled = false;
        unsent = 0;
        lastSent = kNone;
        if (connected) {
            held.reconnected();
            for (size_t i = 0; i < HeldSettings::kItems; ++i) {
                unsent |= held.pending(static_cast<Item>(i)) ? 1u << i : 0u;
            }
        } else {
            lost(nowMs);
        }
        probeDue = false;
        checking = false;
        txPollDue = false;
    }
    if (!connected || rig.busy()) {
        return;
    }
    if (inFlight != kNone) {
        // Connected and idle again: the radio took it (frequencies are read back).
        held.applied(static_cast<Item>(inFlight), inFlightGeneration);
        inFlight = kNone;
    }
    if (probeDue) {
        probeDue = !poll(true, true, nowMs) && rig.isConnected();
        return;
    }
    if (!settled && unsent == 0) {
        settled = true;
        txPollDue = false;
        lastPollMs = nowMs - (pollMs != 0 ? pollMs : kLinkCheckMs);
        post("station: settings applied\n");
    }
    Item next = Item::Tone;
    if (!(settled && pollDue(nowMs)) && nextSetting(next)) {
        const uint32_t generation = held.generation(next);
        lastSent = static_cast<size_t>(next);
        unsent &= ~(1u << static_cast<size_t>(next));
        if (apply(next)) {
            inFlight = static_cast<size_t>(next);
            inFlightGeneration = generation;
            inFlightSinceMs = nowMs;
        } else {
            // A connected, idle driver takes every value the station holds; one it refuses
            // would otherwise be offered again on every pass.
            uint64_t value = 0;
            (void)held.get(next, value);
            held.applied(next, generation);
            post("station: the driver refused " + describe(next, value) + "\n");
        }
        return;
    }
    if (!settled || !pollDue(nowMs)) {
        return;
    }
    if (txPollDue) {
        txPollDue = !poll(false, false, nowMs);
    } else if (pollMs == 0) {
        (void)poll(true, true, nowMs);
    } else {
        txPollDue = poll(true, false, nowMs);
    }
}

void StationController::frequencyRead(bool rx, uint64_t hz) {
    // What the radio holds, unless a set came after the read went out.
    (void)held.polled(frequencyOf(rx), hz, pollGeneration[rx ? 1 : 0]);
    if (rx && checking) {
        checking = false;
        return;
    }
    post(std::string(rx ? "station: RX " : "station: TX ") + std::to_string(hz) + " Hz\n");
}

int64_t StationController::msUntilDue(uint32_t nowMs) const {
    if (!connected || rig.busy()) {
        return -1;  // the driver's own schedule wakes the loop
    }
    Item next = Item::Tone;
    if (probeDue || inFlight != kNone || !settled || nextSetting(next) || txPollDue) {
        return 0;
    }
    const uint32_t interval = pollMs != 0 ? pollMs : kLinkCheckMs;
    const uint32_t since = nowMs - lastPollMs;
    return since >= interval ? 0 : int64_t{interval - since};
}
