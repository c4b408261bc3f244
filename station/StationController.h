#pragma once

#include <stddef.h>
#include <stdint.h>

#include "FT847.h"
#include "HeldSettings.h"
#include "LineOutput.h"

// Runs beside the driver: reports every connect and disconnect, brings the radio to the held
// settings (from the command line and from trackers) one command at a time, the newest value of
// each, then polls both VFOs every pollMs. After every (re)connection every held value goes to
// the radio again before anything else. With polling off it still reads the SAT RX VFO every
// kLinkCheckMs, unreported, so that a radio switched off is noticed at any poll setting.
class StationController {
public:
    static constexpr uint32_t kLinkCheckMs = 5000;

    StationController(FT847& rig, HeldSettings& held, uint32_t pollMs, LineOutput& out);

    // Call after every rig.update(), and after a tracker has set something.
    void step(uint32_t nowMs);

    // The device hung up. A driver that is connected and idle would only learn of it from its
    // next frame, so the station sends one (a read) as soon as the driver is idle; its failure
    // is the disconnect, and the driver's retry brings the link back.
    void deviceLost() { probeDue = true; }

    // A poll's result (rigControlSubFrequencyReceived, rigControlFrequencyReceived).
    void frequencyRead(bool rx, uint64_t hz);

    // Milliseconds from nowMs until step() has something to do, 0 if it has now, -1 if nothing
    // until the driver's state changes or a tracker sets something.
    int64_t msUntilDue(uint32_t nowMs) const;

private:
    static constexpr size_t kNone = HeldSettings::kItems;

    bool apply(HeldSettings::Item item);
    bool poll(bool rx, bool check, uint32_t nowMs);
    void lost();

    FT847& rig;
    HeldSettings& held;
    const uint32_t pollMs;
    LineOutput& out;
    bool connected = false;
    bool settled = false;       // everything held was applied since the last connection
    size_t inFlight = kNone;    // the item whose command the driver is carrying out
    uint32_t inFlightGeneration = 0;  // and the generation of the value it carries
    bool txPollDue = false;
    bool probeDue = false;
    bool checking = false;      // the read under way is a link check: its result is not reported
    uint32_t pollGeneration[2] = {0, 0};  // [0] uplink, [1] downlink, when its read went out
    uint32_t lastPollMs = 0;
};
