#include "FT847.h"
#include "HardwareSerial.h"
#include "Millis.h"

HardwareSerial catUart(1);  // the UART wired to the radio's CAT socket
FT847 radio(catUart);       // a global: no heap, its state is in .bss

constexpr bool kSleepWhenIdle = false;  // optional: see the end of the loop

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

        // msUntilNextStep() is 0 while the driver has a step due, else how long it needs no
        // update() (FT847::kUntilCommand: not until it is given a command), unless the UART
        // receives a byte in the meantime.
        if (kSleepWhenIdle && radio.msUntilNextStep() > 0) {
            // Until the next interrupt: the millisecond tick, or the UART's receive interrupt.
            // A tickless board sets a wake-up timer to the sooner of that time and its own
            // next deadline (here the next poll) instead, and checks and sleeps with interrupts
            // masked, so that a byte that arrives in between is not slept through.
            __asm__ volatile("wfi");
        }
    }
}
