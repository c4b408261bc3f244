// Power-resilience scenario: three drivers on three simulated UARTs, one simulated clock.
// Every expectation is an assert, and several asserted expressions are calls the scenario
// needs, so the checks must stay active in every build type. Only C headers: the program runs
// on targets whose toolchain has no C++ standard library.
#undef NDEBUG
#include <assert.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "FT847.h"
#include "HardwareSerial.h"
#include "Log.h"
#include "Millis.h"
#include "Tick.h"

uint32_t clockMs = 0;
Log Serial;

void tick(FT847& rig, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        ++clockMs;
        static_cast<SerialTransport&>(rig).update();
    }
}

int main() {
    // Powered-off start-up.
    HardwareSerial uart;
    FT847 rig(uart);
    assert(rig.begin());
    assert(clockMs==0);
    tick(rig, 2200);
    assert(!rig.isConnected());
    assert(!rig.initialized());
    assert(rig.failed());
    assert(!rig.busy());

    // Bounded retry: nothing is written in the next 1000 ms of the driver's retry wait.
    const size_t n = uart.packets.size();
    tick(rig, 1000);
    assert(uart.packets.size()==n);

    // Late power-on.
    uart.powered = true;
    tick(rig, 5000);
    assert(rig.isConnected());
    assert(rig.initialized());
    assert(!rig.failed());

    // Power cycle: after a poll of the silent radio the driver is neither initialized nor
    // busy, a frequency command is refused, and the link is back once the radio is on.
    uart.powered = false;
    assert(rig.requestRxRead());
    tick(rig, 600);
    assert(!rig.initialized());
    assert(!rig.busy());
    assert(!rig.setFrequency(145900000));
    uart.powered = true;
    tick(rig, 5000);
    assert(rig.isConnected());
    assert(!rig.failed());

    // Mode command after reconnection: accepted, busy at once, still connected 400 ms later.
    assert(rig.setModeFm());
    assert(rig.busy());
    tick(rig, 400);
    assert(rig.isConnected());

    // Packet spacing: every frame of the first UART at least 100 ms after the one before.
    for (size_t i = 1; i < uart.times.size(); ++i) {
        assert(uint32_t(uart.times[i]-uart.times[i-1])>=100);
    }

    // Timer wrap: a second driver, begun 256 ms before the clock wraps, has failed against
    // the silent radio 2200 ms later and connects once the radio is on.
    clockMs = 0xFFFFFF00u;
    HardwareSerial uart2;
    FT847 r2(uart2);
    assert(r2.begin());
    tick(r2, 2200);
    assert(r2.failed());
    uart2.powered = true;
    tick(r2, 5000);
    assert(r2.isConnected());

    // UART failure: the first update latches it, and the driver connects once writes succeed.
    HardwareSerial uart3;
    uart3.failWrites = true;
    FT847 r3(uart3);
    assert(r3.begin());
    tick(r3, 1);
    assert(r3.failed());
    assert(!r3.busy());
    uart3.failWrites = false;
    uart3.powered = true;
    tick(r3, 5000);
    assert(r3.isConnected());

    fputs("PASS: powered-off startup, bounded retry, late power-on, power cycle, cache reset, "
          "packet spacing, timer wrap and UART failure\n",
          stdout);
    return 0;
}
