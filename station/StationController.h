#pragma once

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>

#include "FT847.h"
#include "HandshakeWatch.h"
#include "HeldSettings.h"

// Runs beside the driver and has it do the station's errands, one at a time.
// - Every connect and disconnect is reported.
// - The radio is brought to the held settings (from the command line and from trackers), one
//   command at a time, with the newest value of each.
// - After every (re)connection, every held value goes to the radio again; the first poll
//   follows them at once.
// - Settings take turns, so that a tracker that re-sets the downlink faster than the radio takes
//   frames cannot keep the uplink waiting.
// - Once everything held at the connection has gone out, a poll that is due goes before the
//   next setting, unless a poll went last: polls and settings take turns.
// - Every pollMs the downlink is read, then the uplink, and both are reported. What a read
//   finds on the VFO, its frequency and its mode (if it is one of the radio's modes), becomes
//   what the station holds, unless a tracker set something newer meanwhile. The modes that the
//   handshake read are held from the connection on, but for one a tracker set.
// - With polling off, the downlink is still read every kLinkCheckMs, unreported, so that a radio
//   switched off is noticed.
// - A value that the radio refuses kMaxAttempts times in a row is given up.
// - While the radio does not answer, a line says why it may be (HandshakeWatch).
class StationController {
public:
    static constexpr uint32_t kLinkCheckMs = 5000;
    // A silent radio fails the link no sooner than the read-back of a setting times out: one
    // frame spacing after the setting's frame, and one read timeout after that. A failure sooner
    // than this after the driver took a setting came from the read-back's reply: the radio holds
    // another value than the one it was sent, it refused it.
    static constexpr uint32_t kRefusedWithinMs = FT847::kFrameSpacingMs + FT847::kReadTimeoutMs;
    // No errand until the driver's state changes or a setting comes. The driver's "never", so
    // that the sooner of the two times is their minimum.
    static constexpr uint32_t kUntilChange = FT847::kUntilCommand;

    // What the station has the driver do.
    enum class Errand : uint8_t {
        None,
        Apply,      // send a held setting
        PollRx,     // read the downlink and report it
        PollTx,     // read the uplink and report it
        CheckLink,  // read the downlink, unreported: is the radio still there?
    };

    struct Plan {
        Errand errand;
        HeldSettings::Item item;  // the setting, for Apply
        uint32_t inMs;            // due in this many ms: 0 now, or kUntilChange
    };

    // `status` gets the status lines, each ended by a newline. `line` is the serial line the
    // driver uses.
    using StatusLines = std::function<void(const std::string& line)>;

    StationController(FT847& rig, HeldSettings& held, uint32_t pollMs, StatusLines status,
                      HandshakeWatch::Line line);

    // Call after every rig.update(), and after a tracker has set something: notes what the
    // driver finished, then starts the next errand if it is due.
    void step(uint32_t nowMs);

    // The errand step() starts next, and when. The loop sleeps until then at the most.
    Plan next(uint32_t nowMs) const;

    // The device hung up. A driver that is connected and idle would only learn of it from its
    // next frame, so the station sends one (a read) as soon as the driver is idle; its failure
    // is the disconnect, and the driver's retry brings the link back.
    void deviceLost();

    // A poll's result (rigControlSubFrequencyReceived, rigControlFrequencyReceived); the mode
    // of the same reply is asked of the driver.
    void frequencyRead(Vfo vfo, uint64_t hz);

    // A new poll interval (a configuration read again): the next poll is due pollMs after the
    // last one, at once if that time has passed.
    void setPollInterval(uint32_t pollEveryMs) { pollMs = pollEveryMs; }

    // The frequency the radio holds on a VFO, as it last reported it or confirmed it by the
    // read-back of a setting: false while the link is down, and until then.
    bool radioFrequency(Vfo vfo, uint64_t& hz) const;

    // While the radio does not answer, why it may be (HandshakeWatch::reason()); "" otherwise.
    const std::string& outageReason() const { return handshake.reason(); }

private:
    enum class Phase : uint8_t {
        Disconnected,
        Restoring,  // connected; sending what was held at the connection
        Serving,    // connected; settings and polls take turns
    };
    static constexpr size_t kNone = HeldSettings::kItems;

    void noticeLink(uint32_t nowMs);
    void finishErrand();
    void lost(uint32_t nowMs);
    void holdRadioMode(Vfo vfo, uint32_t generationAtRead);
    void settle(uint32_t nowMs);
    void start(const Plan& plan, uint32_t nowMs);
    void startApply(HeldSettings::Item item, uint32_t nowMs);
    bool startRead(Errand errand, uint32_t nowMs);
    bool apply(HeldSettings::Item item);
    bool nextSetting(HeldSettings::Item& item) const;
    uint32_t pollInterval() const { return pollMs != 0 ? pollMs : kLinkCheckMs; }

    FT847& rig;
    HeldSettings& held;
    uint32_t pollMs;
    StatusLines post;
    HandshakeWatch handshake;
    Phase phase = Phase::Disconnected;
    Errand underWay = Errand::None;  // what the driver is doing for the station
    // Due at once, whatever the poll interval: CheckLink after the device hung up, PollTx after
    // PollRx.
    Errand owed = Errand::None;
    HeldSettings::Item applying = HeldSettings::Item::DownlinkFrequency;  // for Apply
    uint64_t applyingValue = 0;
    uint64_t radioHz[2] = {0, 0};  // by Vfo; 0: not known
    uint32_t errandGeneration = 0;  // of the setting sent, or of the frequency read
    uint32_t modeGeneration = 0;    // of the mode of the VFO read
    uint32_t errandSinceMs = 0;
    unsigned unsent = 0;      // while Restoring: a bit per item held at the connection, not sent
    size_t lastSent = kNone;  // the item sent last, so that the others go first next
    uint32_t lastPollMs = 0;  // the last read of the downlink
    bool lastWasRead = false;  // the errand started last was a poll or a link check
};
