// Drives one driver on the bench, one millisecond per update() as the bench's tick() does,
// through three phases: the connect handshake, a mode command with its read-back, and a long
// stretch connected and idle. Each phase calls update() only through its own function, so that
// valgrind --tool=callgrind --toggle-collect=<that function> counts that phase alone: the
// virtual call (load of the vtable pointer, indirect jump) and everything update() does.
// Prints the number of update() calls of each phase; exits 1 if a phase does not go as the
// bench's radio makes it go.

#include <stdint.h>
#include <stdio.h>

#include "FT847.h"
#include "HardwareSerial.h"
#include "Log.h"
#include "Millis.h"

uint32_t clockMs = 0;
Log Serial;

// Kept out of line, and by GCC's noipa from being specialised for the one driver they are
// given; clang knows only noinline.
#if defined(__clang__)
#define PHASE_FUNCTION __attribute__((noinline))
#else
#define PHASE_FUNCTION __attribute__((noinline, noipa))
#endif

extern "C" {
PHASE_FUNCTION void handshakeUpdate(SerialTransport& rig) { rig.update(); }
PHASE_FUNCTION void commandUpdate(SerialTransport& rig) { rig.update(); }
PHASE_FUNCTION void idleUpdate(SerialTransport& rig) { rig.update(); }
}

namespace {

constexpr uint32_t kIdleUpdates = 100000;
constexpr uint32_t kPhaseLimit = 10000;  // updates; far more than a phase takes on the bench

int failure(const char* what) {
    fprintf(stderr, "cost probe: %s\n", what);
    return 1;
}

}  // namespace

int main() {
    HardwareSerial uart;
    uart.powered = true;
    FT847 rig(uart);

    // From begin() to connected: CAT ON, SAT ON, the SAT RX and SAT TX reads.
    if (!rig.begin()) {
        return failure("begin() refused");
    }
    uint32_t handshakeUpdates = 0;
    while (!rig.isConnected() && handshakeUpdates < kPhaseLimit) {
        ++clockMs;
        handshakeUpdate(rig);
        ++handshakeUpdates;
    }
    if (!rig.isConnected() || uart.packets.size() != 4) {
        return failure("the handshake did not connect with four frames");
    }

    // Out of the frame spacing of the last read, uncounted, so that the command starts idle.
    while (rig.busy()) {
        ++clockMs;
        rig.update();
    }

    // From setModeFm() until the driver takes the next command: the mode frame, the read-back
    // frame 100 ms later, its reply, then the 100 ms spacing after it.
    if (!rig.setModeFm()) {
        return failure("setModeFm() refused");
    }
    uint32_t commandUpdates = 0;
    while (rig.busy() && commandUpdates < kPhaseLimit) {
        ++clockMs;
        commandUpdate(rig);
        ++commandUpdates;
    }
    if (rig.busy() || !rig.isConnected() || uart.packets.size() != 6) {
        return failure("the mode command did not end connected and idle after two frames");
    }

    for (uint32_t i = 0; i < kIdleUpdates; ++i) {
        ++clockMs;
        idleUpdate(rig);
    }
    if (rig.busy() || !rig.isConnected() || uart.packets.size() != 6) {
        return failure("the idle driver did not stay connected, idle and silent");
    }

    printf("handshake-updates %lu\ncommand-updates %lu\nidle-updates %lu\n",
           static_cast<unsigned long>(handshakeUpdates), static_cast<unsigned long>(commandUpdates),
           static_cast<unsigned long>(kIdleUpdates));
    return 0;
}
