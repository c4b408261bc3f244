#pragma once

// The board's UART wired to the radio's CAT socket. Declarations only: the board's firmware
// defines these over its UART peripheral, typically with interrupt-fed receive and transmit
// FIFOs so that no call waits for the line.

#include <stddef.h>
#include <stdint.h>

// Frame format 8 data bits, no parity, 2 stop bits, in the encoding of the board's UART code:
// data bits in bits 0-3, stop bits in bits 4-5, parity in bits 6-7 (0 = none).
constexpr int SERIAL_8N2 = 0x28;

class HardwareSerial {
public:
    explicit HardwareSerial(int uartNumber);

    // Opens the UART; rxPin and txPin are the board's pin numbers.
    void begin(uint32_t baud, int config, int rxPin, int txPin);
    // Bytes received and not yet read.
    int available();
    // The oldest received byte (0 to 255), or -1 when none is waiting.
    int read();
    // Queues up to len bytes for sending and returns how many it took.
    size_t write(const uint8_t* data, size_t len);
    // Returns once the queued bytes are on their way.
    void flush();
};
