#include "StationController.h"

#include <string>

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
                                     LineOutput& output)
    : rig(radio), held(settings), pollMs(pollEveryMs), out(output) {}

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

// The link went down while the driver carried out a held value: after a few such failures in a
// row the value is given up, so that a radio that refuses it does not keep failing the link.
void StationController::lost() {
    if (inFlight == kNone) {
        return;
    }
    const Item item = static_cast<Item>(inFlight);
    inFlight = kNone;
    uint64_t value = 0;
    if (held.failedToApply(item, inFlightGeneration) && held.get(item, value)) {
        out.post("station: the radio did not take " + describe(item, value) + "; given up\n");
    }
}

void StationController::step(uint32_t nowMs) {
    const bool now = rig.isConnected();
    if (now != connected) {
        connected = now;
        out.post(connected ? "station: connected\n" : "station: disconnected\n");
        if (connected) {
            held.reconnected();
        } else {
            lost();
        }
        settled = false;
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
    Item next = Item::Tone;
    if (held.nextPending(next)) {
        const uint32_t generation = held.generation(next);
        if (apply(next)) {
            inFlight = static_cast<size_t>(next);
            inFlightGeneration = generation;
        } else {
            // A connected, idle driver takes every value the station holds; one it refuses
            // would otherwise be offered again on every pass.
            uint64_t value = 0;
            (void)held.get(next, value);
            held.applied(next, generation);
            out.post("station: the driver refused " + describe(next, value) + "\n");
        }
        return;
    }
    if (!settled) {
        settled = true;
        txPollDue = false;
        lastPollMs = nowMs - (pollMs != 0 ? pollMs : kLinkCheckMs);
        out.post("station: settings applied\n");
    }
    if (pollMs == 0) {
        if (static_cast<uint32_t>(nowMs - lastPollMs) >= kLinkCheckMs) {
            (void)poll(true, true, nowMs);
        }
        return;
    }
    if (txPollDue) {
        txPollDue = !poll(false, false, nowMs);
    } else if (static_cast<uint32_t>(nowMs - lastPollMs) >= pollMs && poll(true, false, nowMs)) {
        txPollDue = true;
    }
}

void StationController::frequencyRead(bool rx, uint64_t hz) {
    // What the radio holds, unless a set came after the read went out.
    (void)held.polled(frequencyOf(rx), hz, pollGeneration[rx ? 1 : 0]);
    if (rx && checking) {
        checking = false;
        return;
    }
    out.post(std::string(rx ? "station: RX " : "station: TX ") + std::to_string(hz) + " Hz\n");
}

int64_t StationController::msUntilDue(uint32_t nowMs) const {
    if (!connected || rig.busy()) {
        return -1;  // the driver's own schedule wakes the loop
    }
    Item next = Item::Tone;
    if (probeDue || inFlight != kNone || held.nextPending(next) || !settled || txPollDue) {
        return 0;
    }
    const uint32_t interval = pollMs != 0 ? pollMs : kLinkCheckMs;
    const uint32_t since = nowMs - lastPollMs;
    return since >= interval ? 0 : int64_t{interval - since};
}
