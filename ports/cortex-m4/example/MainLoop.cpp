#include "FT847.h"
#include "HardwareSerial.h"
#include "Millis.h"

HardwareSerial catUart(1);  // the UART wired to the radio's CAT socket
FT847 radio(catUart);       // a global: its state lives in .bss, nothing is allocated

int main() {
    // ... board start-up: clocks, the millisecond tick, the console, the settings ...
    radio.begin();  // opens the UART; the handshake runs inside update()

    uint32_t lastPollMs = millis();
    for (;;) {
        radio.update();  // one step at most; never waits

        // Commands are taken only when connected and idle; otherwise try again next pass.
        if (radio.isConnected() && !radio.busy() && millis() - lastPollMs >= 1000) {
            if (radio.requestRxRead()) {  // the result goes to rigControlSubFrequencyReceived()
                lastPollMs = millis();
            }
        }

        // ... the rest of the firmware's work for this pass ...
    }
}
