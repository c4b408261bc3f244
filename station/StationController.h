#pragma once

#include <stddef.h>
#include <stdint.h>

#include "FT847.h"
#include "LineOutput.h"
#include "StationOptions.h"

// Runs beside the driver: reports every connect and disconnect, applies the requested settings
// after each connection one command at a time, then polls both VFOs every --poll-ms. With
// polling off it still reads the SAT RX VFO every kLinkCheckMs, unreported, so that a radio
// switched off is noticed at any poll setting.
class StationController {
public:
    static constexpr uint32_t kLinkCheckMs = 5000;

    StationController(FT847& rig, const StationOptions& options, LineOutput& out);

    // Call after every rig.update().
    void step(uint32_t nowMs);

    // The device hung up. A driver that is connected and idle would only learn of it from its
    // next frame, so the station sends one (a read) as soon as the driver is idle; its failure
    // is the disconnect, and the driver's retry brings the link back.
    void deviceLost() { probeDue = true; }

    // A poll's result (rigControlSubFrequencyReceived, rigControlFrequencyReceived).
    void frequencyRead(bool rx, uint64_t hz);

    // Milliseconds from nowMs until step() has something to do, 0 if it has now, -1 if nothing
    // until the driver's state changes.
    int64_t msUntilDue(uint32_t nowMs) const;

private:
    enum class Setting : uint8_t { RxFrequency, RxMode, TxFrequency, TxMode, Tone };

    bool apply(Setting setting);
    bool checkLink(uint32_t nowMs);

    FT847& rig;
    const StationOptions& options;
    LineOutput& out;
    Setting plan[5] = {};
    size_t planLength = 0;
    size_t next = 0;
    bool connected = false;
    bool polling = false;
    bool txPollDue = false;
    bool probeDue = false;
    bool checking = false;  // the read under way is a link check: its result is not reported
    uint32_t lastPollMs = 0;
};
