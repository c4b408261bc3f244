#pragma once

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>

#include "FT847.h"
#include "HeldSettings.h"

// Runs beside the driver: reports every connect and disconnect, brings the radio to the held
// settings (from the command line and from trackers) one command at a time, the newest value of
// each, and polls both VFOs every pollMs. After every (re)connection every held value goes to
// the radio again before the first poll. Settings take turns, so that a tracker that re-sets
// the downlink faster than the radio takes frames cannot keep the uplink waiting, and once
// everything held has gone out, a poll that is due goes before the next setting. With polling
// off it still reads the SAT RX VFO every kLinkCheckMs, unreported, so that a radio switched off
// is noticed at any poll setting.
class StationController {
public:
    static constexpr uint32_t kLinkCheckMs = 5000;
    // A link failure this soon after a setting's command was taken comes from its read-back
    // (the radio refused the value); a silent radio takes at least 600 ms to fail the link.
    static constexpr uint32_t kRefusalWithinMs = 400;

    // `status` gets the status lines, each ended by a newline.
    using StatusLines = std::function<void(const std::string& line)>;

    StationController(FT847& rig, HeldSettings& held, uint32_t pollMs, StatusLines status);

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
    bool pollDue(uint32_t nowMs) const;
    bool nextSetting(HeldSettings::Item& item) const;
    void lost(uint32_t nowMs);

    FT847& rig;
    HeldSettings& held;
    const uint32_t pollMs;
    StatusLines post;
    bool connected = false;
    bool settled = false;        // everything held at the connection has gone to the radio
    unsigned unsent = 0;         // bit per item: held at the connection, not sent since
    size_t lastSent = kNone;     // the item sent last, so that the others go first next
    size_t inFlight = kNone;     // the item whose command the driver is carrying out
    uint32_t inFlightGeneration = 0;  // and the generation of the value it carries
    uint32_t inFlightSinceMs = 0;     // and when the driver took it
    bool txPollDue = false;
    bool probeDue = false;
    bool checking = false;       // the read under way is a link check: its result is not reported
    uint32_t pollGeneration[2] = {0, 0};  // [0] uplink, [1] downlink, when its read went out
    uint32_t lastPollMs = 0;
};
