#pragma once

// The simulated UART, with the FT-847 behind it. It records every frame the driver writes with
// the clock value at that moment, and while `powered` it answers each read command at once.

#include <stddef.h>
#include <stdint.h>

#include <array>
#include <deque>
#include <vector>

#include "CatProtocol.h"
#include "Millis.h"

// Frame format 8 data bits, no parity, 2 stop bits.
constexpr int SERIAL_8N2 = 2;

class HardwareSerial {
public:
    using Frame = std::array<uint8_t, cat::kFrameLength>;

    // SAT VFO at 145.8 MHz in FM.
    static constexpr Frame readReply = {0x14, 0x58, 0x00, 0x00, 0x08};

    bool powered = false;       // the radio is switched on and answers reads
    bool failWrites = false;    // every write fails: returns 0, records nothing
    std::deque<uint8_t> rx;     // bytes the driver can read
    std::vector<Frame> packets; // every frame written, in order
    std::vector<uint32_t> times;  // millis() at each write

    void begin(uint32_t, int, int, int) {}

    int available() const { return static_cast<int>(rx.size()); }

    // -1 when nothing has been received, as a serial port does.
    int read() {
        if (rx.empty()) {
            return -1;
        }
        const uint8_t byte = rx.front();
        rx.pop_front();
        return byte;
    }

    // Takes one frame. Never copies more than the five bytes a record holds, and treats the
    // data as a command only when it is a whole frame.
    size_t write(const uint8_t* data, size_t len) {
        if (failWrites) {
            return 0;
        }
        Frame frame{};
        for (size_t i = 0; i < len && i < frame.size(); ++i) {
            frame[i] = data[i];
        }
        packets.push_back(frame);
        times.push_back(millis());
        const bool isRead = len == frame.size() && cat::isRead(data[4]);
        if (powered && isRead) {
            rx.insert(rx.end(), readReply.begin(), readReply.end());
        }
        return len;
    }

    void flush() {}
};
