#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "HeldSettings.h"
#include "StationOptions.h"

// A setting of the options, for the station to hold.
struct HeldSetting {
    HeldSettings::Item item;
    uint64_t value;
};

// The settings that `options` gives: frequencies, modes and the tone.
std::vector<HeldSetting> heldSettingsOf(const StationOptions& options);

// What a configuration read again (SIGHUP, systemctl reload) changes in the running station.
//
// - The frequencies, modes and tone change live, without closing the serial device or any
//   tracker's connection; so do the poll interval and strict mode.
// - Only what differs from the options the station runs with is held anew. A setting that the
//   file gives as before is left alone: a tracker may have changed it since, and its value is
//   the newer. One that the file no longer gives is left as the radio has it.
// - The device, its rate, whether the station waits for the device at start, and the tracker
//   server's address cannot change while the station runs: each that differs is refused with a
//   line that says a restart is needed, and the station keeps its own. The rest still applies.
struct ReloadPlan {
    StationOptions next;               // what the station runs with from now on
    std::vector<HeldSetting> hold;     // to hold, in the order of the items
    std::vector<std::string> changed;  // the options that change live, by their names
    std::vector<std::string> refused;  // a line for each option that needs a restart
};

ReloadPlan planReload(const StationOptions& running, const StationOptions& read);
