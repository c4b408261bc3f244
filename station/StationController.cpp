#include "StationController.h"

#include <string>

StationController::StationController(FT847& radio, const StationOptions& stationOptions,
                                     LineOutput& output)
    : rig(radio), options(stationOptions), out(output) {
    if (options.rxHz != 0) {
        plan[planLength++] = Setting::RxFrequency;
    }
    if (options.rxMode >= 0) {
        plan[planLength++] = Setting::RxMode;
    }
    if (options.txHz != 0) {
        plan[planLength++] = Setting::TxFrequency;
    }
    if (options.txMode >= 0) {
        plan[planLength++] = Setting::TxMode;
    }
    if (options.setTone) {
        plan[planLength++] = Setting::Tone;
    }
}

// The SAT RX VFO is the radio's sub VFO, SAT TX its main VFO.
bool StationController::apply(Setting setting) {
    switch (setting) {
    case Setting::RxFrequency:
        return rig.selectSub() && rig.setFrequency(options.rxHz);
    case Setting::RxMode:
        return rig.selectSub() && rig.setMode(static_cast<uint8_t>(options.rxMode));
    case Setting::TxFrequency:
        return rig.selectMain() && rig.setFrequency(options.txHz);
    case Setting::TxMode:
        return rig.selectMain() && rig.setMode(static_cast<uint8_t>(options.txMode));
    case Setting::Tone:
        return rig.setTxTone(options.toneHz);
    }
    return false;
}

bool StationController::checkLink(uint32_t nowMs) {
    if (!rig.requestRxRead()) {
        return false;
    }
    checking = true;
    lastPollMs = nowMs;
    return true;
}

void StationController::step(uint32_t nowMs) {
    const bool now = rig.isConnected();
    if (now != connected) {
        connected = now;
        out.post(connected ? "station: connected\n" : "station: disconnected\n");
        next = 0;
        polling = false;
        probeDue = false;
        checking = false;
    }
    if (!connected || rig.busy()) {
        return;
    }
    if (probeDue) {
        probeDue = !checkLink(nowMs) && rig.isConnected();
        return;
    }
    if (next < planLength) {
        if (apply(plan[next])) {
            ++next;
        }
        return;
    }
    if (!polling) {
        polling = true;
        txPollDue = false;
        lastPollMs = nowMs - options.pollMs;
        out.post("station: settings applied\n");
    }
    if (options.pollMs == 0) {
        if (static_cast<uint32_t>(nowMs - lastPollMs) >= kLinkCheckMs) {
            (void)checkLink(nowMs);
        }
        return;
    }
    if (txPollDue) {
        txPollDue = !rig.requestTxRead();
    } else if (static_cast<uint32_t>(nowMs - lastPollMs) >= options.pollMs && rig.requestRxRead()) {
        lastPollMs = nowMs;
        txPollDue = true;
    }
}

void StationController::frequencyRead(bool rx, uint64_t hz) {
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
    if (probeDue || next < planLength || !polling || txPollDue) {
        return 0;
    }
    const uint32_t interval = options.pollMs != 0 ? options.pollMs : kLinkCheckMs;
    const uint32_t since = nowMs - lastPollMs;
    return since >= interval ? 0 : int64_t{interval - since};
}
