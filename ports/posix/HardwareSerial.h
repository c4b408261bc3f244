#pragma once

// A serial device on Linux (a USB-serial adapter, a motherboard UART or a pseudo-terminal) in
// the shape the FT-847 driver expects of a microcontroller UART.
//
// Raw mode, 8 data bits, no parity, 2 stop bits, non-blocking, and for this program alone: the
// device is locked with flock() (which stops every program that checks, root's too) and set to
// exclusive mode with TIOCEXCL (which stops any other open but root's).
//
// A frame goes out whole or not at all. When the device goes away (a USB adapter unplugged,
// seen as a hang-up), the port closes it and opens the same path again once a second, whenever
// the program's loop calls reopenIfDue(); the driver's own retry brings the link back.

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

// Frame format 8 data bits, no parity, 2 stop bits.
constexpr int SERIAL_8N2 = 2;

class HardwareSerial {
public:
    explicit HardwareSerial(const char* devicePath, uint32_t baud = 4800);
    ~HardwareSerial();

    HardwareSerial(const HardwareSerial&) = delete;
    HardwareSerial& operator=(const HardwareSerial&) = delete;

    // Baud rates the FT-847 CAT port offers.
    static bool baudSupported(uint32_t baud);

    // Opens, locks and configures the device. False, with errno set, when it cannot be opened
    // or configured; EBUSY when another program has it.
    bool open();
    bool isOpen() const { return fd >= 0; }

    // The driver's side. begin() keeps a device that is already open, only setting the baud
    // rate: closing and opening again would drop and raise the modem lines.
    void begin(uint32_t baud, int config, int rxPin, int txPin);
    int available();
    int read();
    // All of `len` bytes, waiting up to kWriteDeadlineMs for room in the device's queue, or
    // none: a frame that cannot go out whole is taken back (0), as a radio that received part
    // of a frame would take the next frame's bytes for the rest of it.
    size_t write(const uint8_t* data, size_t len);
    void flush();

    // The program's loop's side.
    int descriptor() const { return fd; }
    // poll() reported `revents` on descriptor(): take what arrived, or close the device that
    // hung up.
    void onReady(short revents);
    // True once after the device went away (hang-up or I/O error) while it was open.
    bool takeHangUp();
    // Bytes received from the device since the port was made, whether read or discarded.
    uint64_t bytesReceived() const { return received; }
    // Milliseconds until the next attempt to open the device again; -1 when none is due (open,
    // or begin() not called).
    int64_t msUntilReopen(uint32_t nowMs) const;
    void reopenIfDue();

    // The call that writes to the device: ::write, or in tests a device that takes fewer bytes
    // than it is offered.
    using Writer = ssize_t (*)(int fd, const void* data, size_t len);
    void setWriter(Writer writer) { writeTo = writer; }

    static constexpr uint32_t kReopenIntervalMs = 1000;
    static constexpr uint32_t kWriteDeadlineMs = 50;

private:
    static constexpr size_t kBufferSize = 256;

    bool configure();
    void close();
    void lose();
    void fill();
    void receive();

    const char* path;
    int fd = -1;
    uint32_t baudRate;
    bool wanted = false;  // begin() was called: keep the device open
    bool exclusive = false;  // this port set the terminal's exclusive mode
    bool hungUp = false;
    uint32_t lastOpenAttemptMs = 0;
    Writer writeTo;
    uint8_t buffer[kBufferSize] = {};
    size_t head = 0;
    size_t count = 0;
    uint64_t received = 0;
};
