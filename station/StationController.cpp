#include "StationController.h"

StationController::StationController(FT847& radio, const StationOptions& stationOptions,
                                     FILE* output)
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

void StationController::step(uint32_t nowMs) {
    const bool now = rig.isConnected();
    if (now != connected) {
        connected = now;
        fprintf(out, connected ? "station: connected\n" : "station: disconnected\n");
        fflush(out);
        next = 0;
        polling = false;
    }
    if (!connected || rig.busy()) {
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
        fprintf(out, "station: settings applied\n");
        fflush(out);
    }
    if (options.pollMs == 0) {
        return;
    }
    if (txPollDue) {
        txPollDue = !rig.requestTxRead();
    } else if (static_cast<uint32_t>(nowMs - lastPollMs) >= options.pollMs && rig.requestRxRead()) {
        lastPollMs = nowMs;
        txPollDue = true;
    }
}
