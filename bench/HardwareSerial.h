#pragma once

// The simulated UART, with the FT-847 behind it. It records every frame the driver writes with
// the clock value at that moment, and while `powered` it answers each read command at once.
//
// It is also as strict as a real UART about the driver's side of the platform contract: it
// remembers how the port was opened, counts flush() calls, and counts each promise the driver
// broke (a read of an empty port, a write of other than one whole frame, a frame written before
// the one before it was flushed, a read command written while received bytes were unread).

#include <stddef.h>
#include <stdint.h>

#include "CatProtocol.h"
#include "FixedBuffers.h"
#include "Millis.h"

// Frame format 8 data bits, no parity, 2 stop bits.
constexpr int SERIAL_8N2 = 2;

class HardwareSerial {
public:
    // Five bytes of one CAT frame: four parameters, then the opcode.
    struct Frame {
        uint8_t bytes[cat::kFrameLength];

        static constexpr size_t size() { return cat::kFrameLength; }
        uint8_t* data() { return bytes; }
        const uint8_t* data() const { return bytes; }
        uint8_t& operator[](size_t i) { return bytes[i]; }
        const uint8_t& operator[](size_t i) const { return bytes[i]; }
        const uint8_t* begin() const { return bytes; }
        const uint8_t* end() const { return bytes + cat::kFrameLength; }

        friend bool operator==(const Frame& a, const Frame& b) {
            for (size_t i = 0; i < cat::kFrameLength; ++i) {
                if (a.bytes[i] != b.bytes[i]) {
                    return false;
                }
            }
            return true;
        }
        friend bool operator!=(const Frame& a, const Frame& b) { return !(a == b); }
    };

    // Room for the frames of the longest test (a fault sequence writes a few hundred), and for
    // more received bytes than a test ever leaves waiting.
    static constexpr size_t kRecordCapacity = 4096;
    static constexpr size_t kReceiveCapacity = 2048;

    // SAT VFO at 145.8 MHz in FM.
    static constexpr Frame readReply = {{0x14, 0x58, 0x00, 0x00, 0x08}};

    bool powered = false;     // the radio is switched on and answers reads
    bool failWrites = false;  // every write fails: returns 0, records nothing
    ByteQueue<kReceiveCapacity> rx{"the receive queue"};  // bytes the driver can read
    FixedRecord<Frame, kRecordCapacity> packets{"the record of frames"};  // every frame written
    FixedRecord<uint32_t, kRecordCapacity> times{"the record of times"};  // millis() at each

    // When 0 or more, every write takes nothing, records nothing and returns this: a transmit
    // buffer with no room (0), or with room for part of a frame, or a broken port.
    int writeReturns = -1;

    // How the driver opened the port: the number of begin() calls and the last one's arguments.
    uint32_t beginCalls = 0;
    uint32_t baud = 0;
    int config = -1;
    int rxPin = -1;
    int txPin = -1;

    uint32_t flushes = 0;
    bool unflushed = false;  // a frame was taken and flush() has not been called since

    // Promises the driver broke.
    uint32_t emptyReads = 0;       // read() while available() was 0
    uint32_t oddWrites = 0;        // write() of other than 5 bytes
    uint32_t unflushedWrites = 0;  // a frame written while the one before was not flushed
    uint32_t staleReads = 0;       // a read command written while received bytes were unread

    void begin(uint32_t bitsPerSecond, int frameFormat, int rxPinNumber, int txPinNumber) {
        ++beginCalls;
        baud = bitsPerSecond;
        config = frameFormat;
        rxPin = rxPinNumber;
        txPin = txPinNumber;
    }

    int available() const { return static_cast<int>(rx.size()); }

    // -1 when nothing has been received, as a serial port does.
    int read() {
        if (rx.empty()) {
            ++emptyReads;
            return -1;
        }
        return rx.pop_front();
    }

    // Takes one frame. Never copies more than the five bytes a record holds, and treats the
    // data as a command only when it is a whole frame.
    size_t write(const uint8_t* data, size_t len) {
        if (len != cat::kFrameLength) {
            ++oddWrites;
        }
        if (failWrites) {
            return 0;
        }
        if (writeReturns >= 0) {
            return static_cast<size_t>(writeReturns);
        }
        if (unflushed) {
            ++unflushedWrites;
        }
        Frame frame{};
        for (size_t i = 0; i < len && i < frame.size(); ++i) {
            frame[i] = data[i];
        }
        packets.push_back(frame);
        times.push_back(millis());
        unflushed = true;
        const bool isRead = len == frame.size() && cat::isRead(data[4]);
        if (isRead && !rx.empty()) {
            ++staleReads;
        }
        if (powered && isRead) {
            rx.append(readReply.data(), readReply.size());
        }
        return len;
    }

    void flush() {
        ++flushes;
        unflushed = false;
    }

    // The first promise of the platform contract the driver broke, or nullptr.
    const char* brokenPromise() const {
        if (emptyReads != 0) {
            return "read() while nothing was received";
        }
        if (oddWrites != 0) {
            return "a write of other than one 5-byte frame";
        }
        if (unflushedWrites != 0 || unflushed) {
            return "a frame not flushed right after it was written";
        }
        if (staleReads != 0) {
            return "a read command written while received bytes were unread";
        }
        return nullptr;
    }
};
