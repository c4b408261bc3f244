// A firmware's main loop on the bench: it brings the driver up against the bench's radio and
// prints "firmware: connected" once it is.

#include <cstdio>

#include "FT847.h"
#include "HardwareSerial.h"
#include "Log.h"
#include "Millis.h"

uint32_t clockMs = 0;
Log Serial;

int main() {
    HardwareSerial uart;
    uart.powered = true;
    FT847 radio(uart);
    if (!radio.begin()) {
        return 1;
    }
    for (int pass = 0; pass < 5000 && !radio.isConnected(); ++pass) {
        ++clockMs;
        radio.update();
    }
    if (!radio.isConnected()) {
        return 1;
    }
    std::puts("firmware: connected");
    return 0;
}
