#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "FT847.h"
#include "StationOptions.h"

// Runs beside the driver's loop: reports every connect and disconnect, applies the requested
// settings after each connection one command at a time, then polls both VFOs.
class StationController {
public:
    StationController(FT847& rig, const StationOptions& options, FILE* out);

    // Call after every rig.update().
    void step(uint32_t nowMs);

private:
    enum class Setting : uint8_t { RxFrequency, RxMode, TxFrequency, TxMode, Tone };

    bool apply(Setting setting);

    FT847& rig;
    const StationOptions& options;
    FILE* out;
    Setting plan[5] = {};
    size_t planLength = 0;
    size_t next = 0;
    bool connected = false;
    bool polling = false;
    bool txPollDue = false;
    uint32_t lastPollMs = 0;
};
