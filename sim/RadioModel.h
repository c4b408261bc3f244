#pragma once

// A behavioural model of the FT-847's CAT port in satellite operation, independent of any UART
// or clock: it takes the bytes the radio receives, each with the time it was sent, and gives
// back the bytes the radio sends, each with the time its stop bits end. Whatever carries the
// bytes (the bench UART, a pseudo-terminal) adapts to it.
//
// The radio executes a command when its fifth byte has arrived. It obeys nothing but CAT ON
// while CAT is off, and the SAT VFO commands only in SAT mode; it answers only the two SAT VFO
// reads. Switched off, it ignores everything and forgets CAT and SAT mode; its VFOs keep their
// frequencies and modes, as the real radio's memory does.
//
// Times are microseconds of the caller's monotonic clock. Each byte takes 11 bit times on the
// line (start bit, 8 data bits, 2 stop bits).

#include <cstddef>
#include <cstdint>
#include <deque>

class RadioModel {
public:
    struct Vfo {
        uint32_t tens;  // frequency in 10 Hz units
        uint8_t mode;
    };

    // What can go wrong between the radio and the driver. Chances are in thousandths, drawn
    // from the model's own seeded generator: per received frame for a lost frame, per reply
    // for a truncated one, per reply byte for the rest. 1000 makes a fault certain.
    struct Faults {
        uint16_t loseFrame = 0;      // a command never reaches the radio
        uint16_t dropByte = 0;       // a reply byte is lost
        uint16_t corruptByte = 0;    // a reply byte arrives with one bit flipped
        uint16_t duplicateByte = 0;  // a reply byte arrives twice
        uint16_t truncateReply = 0;  // a reply stops after 0 to 4 bytes
        uint32_t extraLatencyMs = 0; // added before every reply
        bool refuseWrites = false;   // the port takes no bytes from the driver

        bool any() const;
    };

    // How often each fault actually struck.
    struct Tally {
        uint32_t framesLost = 0;
        uint32_t bytesDropped = 0;
        uint32_t bytesCorrupted = 0;
        uint32_t bytesDuplicated = 0;
        uint32_t repliesTruncated = 0;
        uint32_t repliesDelayed = 0;
        uint32_t framesIgnored = 0;  // switched off, CAT off or not in SAT mode
        uint32_t replies = 0;
    };

    struct Options {
        uint32_t baud = 4800;
        uint32_t latencyMs = 5;  // from the last command byte to the first reply byte
        uint64_t seed = 1;
        bool powered = true;
        Vfo satRx{43580000, 0x01};  // 435.8 MHz USB
        Vfo satTx{14590000, 0x00};  // 145.9 MHz LSB
    };

    explicit RadioModel(const Options& options);

    // Bytes the driver sent, the first of them starting at sentUs and the rest back to back.
    void receive(const uint8_t* bytes, size_t length, uint64_t sentUs);

    // The oldest byte whose stop bits have ended by nowUs; false when there is none yet.
    bool nextByte(uint64_t nowUs, uint8_t& byte);
    bool sending() const { return !outgoing.empty(); }
    uint64_t nextByteDueUs() const;  // only while sending()

    // Power off loses the bytes on the line and the partial command; power on wakes the radio
    // with CAT and SAT mode off.
    void setPowered(bool on);
    bool powered() const { return on; }

    // Microseconds one byte occupies the line at the configured baud rate.
    uint64_t byteUs(uint64_t count) const;

    Faults faults;
    Tally tally;
    Vfo satRx;
    Vfo satTx;
    bool catOn = false;
    bool satOn = false;
    uint8_t toneCode = 0;
    bool toneEncoder = false;

private:
    struct Timed {
        uint64_t dueUs;
        uint8_t byte;
    };

    void execute(const uint8_t* frame, uint64_t atUs);
    void reply(const Vfo& vfo, uint64_t atUs);
    bool strikes(uint16_t chance);
    uint32_t draw();

    const uint32_t baud;
    const uint32_t latencyMs;
    uint64_t state;  // generator
    bool on = true;
    uint8_t partial[5] = {};
    size_t partialLength = 0;
    std::deque<Timed> outgoing;
    uint64_t lineFreeUs = 0;
};
