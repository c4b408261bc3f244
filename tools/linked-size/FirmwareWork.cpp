// The rest of the firmware's main loop, in a file of its own as in a firmware: the board's
// functions are called, not inlined, here as in the driver.

#include <stdint.h>

#include "Board.h"
#include "Log.h"
#include "Millis.h"
#include "RigControl.h"
#include "Settings.h"

void firmwareWork(HardwareSerial& uart) {
    const uint32_t baud = settingsGetRadio();
    if (settingsRadioBaudAllowed(1, baud)) {
        uart.begin(baud, SERIAL_8N2, 1, 2);
    }
    if (uart.available() > 0) {
        const uint8_t byte = static_cast<uint8_t>(uart.read());
        if (uart.write(&byte, 1) == 1) {
            uart.flush();
        }
        rigControlFrequencyReceived(byte);
        rigControlSubFrequencyReceived(millis(), true);
        Serial.printf("echo %u at %lu ms\n", byte, static_cast<unsigned long>(millis()));
        radioRequest.command = static_cast<uint8_t>(byte & 0x1F);
        radioRequest.mode = byte;
        radioRequest.narrow = (byte & 0x80) != 0;
        radioRequest.hz = static_cast<uint64_t>(millis()) * 10u;
        Serial.printf("result %lu\n", static_cast<unsigned long>(radioRequest.result));
    }
    Serial.print("> ");
    Serial.println("ok");
}
