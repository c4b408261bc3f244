#include "HandshakeWatch.h"

#include <utility>

HandshakeWatch::HandshakeWatch(Line serialLine) : line(std::move(serialLine)) {}

// While the link is down, the driver reads the VFOs only in its handshake. Each read ends in
// the next read (a valid reply) or in the retry wait (a failure): no reply within 500 ms, part
// of one, bytes that are no frequency, or more bytes than a reply has.
std::string HandshakeWatch::look(const FT847& rig) {
    using State = FT847::State;
    const State state = rig.currentState();
    const State was = seen;
    seen = state;
    if (rig.isConnected()) {
        reading = false;
        saidSilent = false;
        saidGarbled = false;
        why.clear();
        return "";
    }
    if (state == was) {
        return "";
    }
    if (state == State::AwaitResponse) {
        reading = true;
        receivedAtRead = line.bytesReceived();
        return "";
    }
    const bool failed = reading && state == State::RetryWait;
    reading = false;
    if (!failed) {
        return "";
    }
    const std::string tried = line.port + " at " + std::to_string(line.baud) + " bps";
    const bool silent = line.bytesReceived() == receivedAtRead;
    bool& said = silent ? saidSilent : saidGarbled;
    why = silent ? "no reply from the radio on " + tried +
                       ": it may be off, set to another CAT rate, on a wrong cable, or an early "
                       "FT-847 without the read commands"
                 : "bytes from " + tried +
                       ", but no valid reply: the radio may be set to another CAT rate, or the "
                       "cable or the port may be wrong";
    if (said) {
        return "";
    }
    said = true;
    return "station: " + why + "\n";
}
