#include "FT847.h"
#include "HardwareSerial.h"
#include "Millis.h"

HardwareSerial catUart(1);  // the UART wired to the radio's CAT socket
FT847 radio(catUart);       // a global: no heap, its state is in .bss

int main() {
    // ... board start-up: clocks, the millisecond tick, the console, the settings ...

    radio.begin();  // false only if the settings refuse the CAT baud rate

    uint32_t lastPollMs = millis();
    for (;;) {
        radio.update();  // at most one step; never waits

        // Commands are taken only when connected and idle; a refused one is simply tried
        // again on a later pass.
        if (radio.isConnected() && !radio.busy() && millis() - lastPollMs >= 1000) {
            if (radio.requestRxRead()) {  // the reply goes to rigControlSubFrequencyReceived()
                lastPollMs = millis();
            }
        }

        // ... the rest of the firmware's work for this pass ...
    }
}
