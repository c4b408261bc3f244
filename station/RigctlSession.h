#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "HeldSettings.h"

// The station as a tracker's connection sees it.
struct RigctlStation {
    HeldSettings& settings;
    bool radioConnected;
    // While the radio is away, radio commands fail with RPRT -20 instead of being held.
    bool strict;
};

// One tracker connection speaking the rigctld text protocol: it takes the bytes the client sent,
// cuts them into lines, and answers every command, in order, with exactly one reply; a line may
// hold several commands. Sets go to the station's held settings and are answered at once; reads
// answer from them. Nothing here waits for the radio or reads a socket.
//
// The trackers' convention for this radio: Main (and VFOA) is the downlink, the SAT RX VFO;
// Sub (and VFOB) is the uplink, the SAT TX VFO. The driver names them the other way round (its
// main VFO is SAT TX). Here the trackers' names become downlink and uplink, and only
// StationController turns those into the driver's selectSub() and selectMain().
//
// The radio as the commands see it: F and f are the downlink unless the uplink is named, and I
// and i the uplink; M and m are the connection's VFO (V, Main at first) unless another is named.
// A client in VFO mode names a VFO before a command's arguments. In SAT mode the radio always
// transmits on SAT TX: split is always on (S 0 is taken and changes nothing), and so is the
// SATMODE function. TONE is the uplink's CTCSS encoder: it switches on at the tone that C set
// last, and off at any time. Transceive is answered as deprecated, as rigctld 4.x answers it.
// \dump_caps ends with the lines that logbooks scan for, in their order: can they get the VFO,
// switch the radio on, send Morse, send voice; the last ends their scan.
class RigctlSession {
public:
    // Longer lines are answered with RPRT -1 and skipped up to the next newline.
    static constexpr size_t kMaxLine = 256;

    // Answers every command of every complete line in `data`, appending the replies to `out`.
    // After a quit command the rest is ignored.
    void receive(const uint8_t* data, size_t length, RigctlStation& station, std::string& out);

    // The client asked to close: send what is in `out`, then close.
    bool quitting() const { return quit; }

private:
    void line(const char* text, size_t length, RigctlStation& station, std::string& out);

    Vfo selected = Vfo::Downlink;  // the connection's VFO, for mode commands (V)
    char buffer[kMaxLine + 1] = {};  // and a CR
    size_t buffered = 0;
    bool discarding = false;   // skipping the rest of an over-long line
    bool afterDcd = false;     // a newline right after a bare get-DCD byte belongs to it
    bool quit = false;
};
