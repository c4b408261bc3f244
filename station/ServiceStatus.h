#pragma once

#include <stdint.h>

#include <string>

#include "FT847.h"

// How the station stands, in the one line that `systemctl status` shows (systemd's STATUS=):
//
//     radio connected; RX 435300000 Hz FM, TX 145850000 Hz FM; 1 tracker
//     no reply from the radio on /dev/ttyUSB0 at 57600 bps: it may be off, ...; 0 trackers
//
// The link comes first: connected, or not, and then why the radio may not be answering, as
// the station's status line says it. Then, while connected, the frequencies and modes the radio
// holds, and the number of trackers connected when the station serves them.
struct ServiceStatus {
    enum class Link : uint8_t {
        WaitingForDevice,  // the serial device is not there (not plugged in, or unplugged)
        Connecting,        // the handshake is under way, or waits to start again
        NotAnswering,      // a handshake failed; `reason` says why that may be
        Connected,
    };

    Link link = Link::Connecting;
    std::string device;  // as the user named it, made visible
    uint32_t baud = 0;
    std::string reason;
    // While connected. 0 Hz: not known yet; a mode is the radio's code, or FT847::kModeUnknown.
    uint64_t rxHz = 0;
    uint8_t rxMode = FT847::kModeUnknown;
    uint64_t txHz = 0;
    uint8_t txMode = FT847::kModeUnknown;
    int trackers = -1;  // -1: no tracker server

    std::string text() const;
};
