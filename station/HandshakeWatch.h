#pragma once

#include <stdint.h>

#include <functional>
#include <string>

#include "FT847.h"

// Says why the radio does not answer the driver's start-up handshake, from what the station
// sees: the driver's state after each of its steps, and the count of bytes the serial line has
// received.
// - A handshake read that failed with no byte received since it went out: the radio is silent.
//   It is off, set to another CAT rate (the emulator, too, answers nothing then), on a wrong
//   cable, or one of the first FT-847s, which lack the read commands.
// - One that failed after bytes came: they were no valid reply. Bytes sent at another rate, or
//   from another device, look like this.
// Each is said once, until the radio answers and the link is up. A link that is lost later is
// a new outage: the first handshake that fails in it says so again. reason() keeps the newest
// one for as long as the outage lasts.
class HandshakeWatch {
public:
    struct Line {
        std::string port;  // the device, as the user named it
        uint32_t baud;
        std::function<uint64_t()> bytesReceived;  // bytes received on the line so far
    };

    explicit HandshakeWatch(Line serialLine);

    // After every rig.update(): the status line its step calls for, ended by a newline, or "".
    std::string look(const FT847& rig);

    // Why the radio may not be answering, as the status line says it without "station: " and
    // the newline; "" while the link is up, and until a handshake of this outage failed.
    const std::string& reason() const { return why; }

private:
    Line line;
    std::string why;
    FT847::State seen = FT847::State::Idle;
    bool reading = false;  // a handshake read is under way
    uint64_t receivedAtRead = 0;
    bool saidSilent = false;
    bool saidGarbled = false;
};
