#pragma once

// A serial device on Linux (a USB-serial adapter, a motherboard UART or a pseudo-terminal) in
// the shape the FT-847 driver expects of a microcontroller UART.
//
// Raw mode, 8 data bits, no parity, 2 stop bits, non-blocking. When the device goes away (a USB
// adapter unplugged), the port closes itself and tries to open the same path again, once a
// second, on later calls; the driver's own retry brings the link back when the adapter returns.

#include <stddef.h>
#include <stdint.h>

// Frame format 8 data bits, no parity, 2 stop bits.
constexpr int SERIAL_8N2 = 2;

class HardwareSerial {
public:
    explicit HardwareSerial(const char* devicePath);
    ~HardwareSerial();

    HardwareSerial(const HardwareSerial&) = delete;
    HardwareSerial& operator=(const HardwareSerial&) = delete;

    // Baud rates the FT-847 CAT port offers.
    static bool baudSupported(uint32_t baud);

    // Opens the device at the baud rate of the last begin() (4800 before any). False, with
    // errno set, when it cannot be opened or configured.
    bool open();
    bool isOpen() const { return fd >= 0; }

    void begin(uint32_t baud, int config, int rxPin, int txPin);
    int available();
    int read();
    size_t write(const uint8_t* data, size_t len);
    void flush();

private:
    static constexpr uint32_t kReopenIntervalMs = 1000;
    static constexpr size_t kBufferSize = 256;

    bool configure();
    void close();
    void reopenIfDue();
    void fill();

    const char* path;
    int fd = -1;
    uint32_t baudRate = 4800;
    bool wanted = false;  // begin() was called: keep the device open
    uint32_t lastOpenAttemptMs = 0;
    uint8_t buffer[kBufferSize] = {};
    size_t head = 0;
    size_t count = 0;
};
