#pragma once

#include <stdint.h>

#include "FT847.h"

// When the driver next takes a step by itself, judged from its public state, the time its last
// frame left (which the port records) and the time it entered its state. The program's loop
// sleeps until then. A driver that is connected and idle has no such step: it waits for a
// command. Neither has one that waits for a reply, until its read times out: the reply's bytes
// wake the loop.
class DriverSchedule {
public:
    // Call after every call into the driver: update() and each command.
    void observe(FT847::State state, uint32_t nowMs);

    // Milliseconds from nowMs until the driver's next timed step: 0 when it is due, -1 when
    // there is none. `framed` is false before the port's first frame.
    int64_t msUntilStep(FT847::State state, bool busy, bool framed, uint32_t lastFrameMs,
                        uint32_t nowMs) const;

private:
    FT847::State seen = FT847::State::Idle;
    uint32_t enteredMs = 0;
};
