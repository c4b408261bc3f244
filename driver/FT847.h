#pragma once

#include <float.h>
#include <stddef.h>
#include <stdint.h>

#include "SerialTransport.h"

// The board's UART (HardwareSerial.h). The driver only keeps a reference to it here.
class HardwareSerial;

// setTxTone() matches a tone on the bit pattern of an IEEE 754 double (binary64: 64 bits, 53 of
// them significand). Some toolchains for small cores make double a 32-bit float.
static_assert(sizeof(double) == sizeof(uint64_t) && DBL_MANT_DIG == 53 && DBL_MAX_EXP == 1024,
              "FT847: the tone match reads the bits of a 64-bit IEEE 754 double, and this "
              "toolchain's double is not one; make double 64 bits (avr-gcc: -mdouble=64)");

// CAT driver for the Yaesu FT-847 in satellite (SAT) operation.
//
// The radio takes 5-byte frames (four parameter bytes, then the opcode) at 8N2, wants at least
// 100 ms between frames, and answers only read commands, with four BCD frequency bytes and a
// mode byte. The driver switches CAT and SAT on, reads both SAT VFOs, and from then on sets
// frequencies, modes and the SAT TX CTCSS tone on request. Any link failure is latched; 3000 ms
// later the whole start-up handshake runs again, for as long as it takes.
//
// Nothing here blocks: commands only queue work, and update() does at most one step per call.
// The driver allocates nothing and keeps all its state in this object.
class FT847 final : public SerialTransport {
public:
    enum class State : uint8_t {
        Idle = 0,               // constructed, not begun
        SendCatOn = 1,          // send CAT ON
        WaitCatOn = 2,          // 500 ms after CAT ON
        SendSatOn = 3,          // send SAT ON
        WaitSatOn = 4,          // 1000 ms after SAT ON
        RetryWait = 5,          // failure latched; 3000 ms, then start over
        SendSatPreset = 6,      // SAT ON again, on requestSatelliteMode()
        WaitSatPreset = 7,      // 100 ms after that SAT ON
        ReadRxInit = 8,         // start-up read of the SAT RX VFO
        ReadTxInit = 9,         // start-up read of the SAT TX VFO
        Ready = 10,             // connected and idle
        SendCommand = 11,       // send the pending frequency or mode frame
        ReadBack = 12,          // read the VFO back to verify that frame
        AwaitResponse = 13,     // collecting a 5-byte reply
        SendToneFrequency = 14, // send the CTCSS tone code
        SendToneMode = 15,      // switch the CTCSS encoder on or off
    };

    // Why the read under way was started; a frequency or mode command sets it for its read-back.
    enum class Purpose : uint8_t {
        InitRx = 0,
        InitTx = 1,
        PollRx = 2,
        PollTx = 3,
        CheckFrequency = 4,
        CheckMode = 5,
    };

    // Timing of the FT-847 CAT port, in milliseconds.
    static constexpr uint32_t kFrameSpacingMs = 100;  // between any two frames
    static constexpr uint32_t kReadTimeoutMs = 500;   // for a whole 5-byte reply
    static constexpr uint32_t kCatOnSettleMs = 500;   // after CAT ON
    static constexpr uint32_t kSatOnSettleMs = 1000;  // after SAT ON in the handshake
    static constexpr uint32_t kSatPresetSettleMs = 100;  // after SAT ON on request
    static constexpr uint32_t kRetryDelayMs = 3000;   // from a failure to the next handshake

    static constexpr size_t kFrameLength = 5;
    static constexpr uint64_t kMaxFrequencyHz = 999999990ULL;  // 8 BCD digits of 10 Hz

    // Operating-mode codes, as sent in a mode frame and returned in byte 4 of a read reply.
    static constexpr uint8_t kModeLsb = 0x00;
    static constexpr uint8_t kModeUsb = 0x01;
    static constexpr uint8_t kModeCw = 0x02;
    static constexpr uint8_t kModeCwNarrow = 0x82;
    static constexpr uint8_t kModeFm = 0x08;
    // No mode byte is known: the VFO has not been read since begin(), a failure or a SAT ON.
    static constexpr uint8_t kModeUnknown = 0xFF;

    explicit FT847(HardwareSerial& serialPort);
    ~FT847() override = default;

    // A driver is a global or lives on the stack, never on the heap. The virtual destructor
    // makes the compiler emit a deleting destructor for the vtable; this operator delete keeps
    // that destructor away from the global allocator, so a firmware with the driver links no
    // heap. Construction in place (placement new) stays possible.
    static void* operator new(size_t) = delete;
    static void* operator new[](size_t) = delete;
    static void* operator new(size_t, void* place) noexcept { return place; }
    static void operator delete(void*) noexcept {}

    FT847(const FT847&) = delete;
    FT847& operator=(const FT847&) = delete;

    // Opens the UART at the configured CAT baud rate and schedules the start-up handshake.
    // Calling it again restarts the handshake. False when the settings refuse the baud rate.
    bool begin() override;
    void update() override;

    bool isConnected() const override;
    bool initialized() const;
    bool failed() const;
    // True while a command, read or handshake step is under way, and in Ready during the
    // 100 ms after the last frame. A driver waiting out its retry delay is not busy.
    bool busy() const;
    State currentState() const;

    // Milliseconds from now until update() can next change anything, or busy() turn false:
    //   0             a step is due now (a frame may go out, a wait is over, reply bytes wait);
    //   1 to 3000     the rest of a wait, of the frame spacing or of a read's timeout; reply
    //                 bytes that arrive during a read end it sooner;
    //   kUntilCommand nothing happens until a command or begin() is given: connected and idle
    //                 (Ready, out of the frame spacing), or not begun.
    // An update() before that time changes nothing, so a loop that has nothing else to do may
    // sleep until then, or until the UART receives a byte, whichever comes first.
    uint32_t msUntilNextStep() const;
    static constexpr uint32_t kUntilCommand = 0xFFFFFFFFU;

    // The SAT TX VFO is the radio's main VFO, the SAT RX VFO its sub VFO. A selection only
    // steers the next setFrequency() or setMode(); it sends nothing.
    bool selectVfoA() override;
    bool selectVfoB() override;
    bool selectMain() override;
    bool selectSub() override;
    bool swapMainSub() override;  // not offered by this radio in SAT mode: false
    size_t write(const uint8_t* data, size_t len) override;  // no raw pass-through: 0

    // Commands. Each returns true when it is accepted, and false, changing nothing, when it is
    // not; only a poll whose read frame the UART refuses returns false with that failure
    // already latched. All of them are taken only while the link is up and no step is under
    // way (isConnected(), and currentState() is Ready), except requestSatelliteMode().
    //   - setFrequency() and the mode commands are taken within the 100 ms after the last frame
    //     too; their frame then waits for the spacing.
    //   - setTxTone(), requestRxRead() and requestTxRead() also need the spacing to be over
    //     (busy() false); a poll's frame goes out at once.
    //   - requestSatelliteMode() is taken whenever the link is up, in the middle of a command
    //     too, and abandons the step under way.
    // A frequency the radio last reported for that VFO is taken and not sent again. After a
    // frequency or mode frame the driver reads the VFO back. A frequency the radio did not take
    // fails the link, as any link failure does. A mode it did not take is only logged
    // ("FT847 MODE WARNING"): the link stays up, and the frequency is what tracking needs.
    bool setFrequency(uint64_t hz) override;  // the unit Hz digit is dropped
    bool setMode(uint8_t mode);
    bool setModeLsb() override;
    bool setModeUsb() override;
    bool setModeCw(bool narrow) override;
    bool setModeFm() override;
    bool setTxTone(double hz);  // 0 switches the CTCSS encoder off; neither is read back
    bool requestRxRead();       // result goes to rigControlSubFrequencyReceived()
    bool requestTxRead();       // result goes to rigControlFrequencyReceived()
    bool cancelAndSelectRx();   // selects the SAT RX VFO for the next command
    // Sends SAT ON again before new RX/TX settings, which are then always sent.
    bool requestSatelliteMode();
    // The mode byte of the last valid reply of the SAT RX or SAT TX VFO, as the radio sent it
    // (one of the codes above, or another the radio uses, such as 0x04 AM); kModeUnknown while
    // that VFO's frequency is not known either. Asks nothing of the radio.
    uint8_t rxMode() const;
    uint8_t txMode() const;

    // Pure conversions of the CAT protocol.
    static bool encodeFrequency(uint64_t hz, uint8_t* out);
    static bool decodeFrequency(const uint8_t* in, uint64_t& hz);
    static bool encodeTone(double hz, uint8_t& code);

private:
    // How the link stands. Connected from the end of a handshake to the next failure; Failed
    // from a failure until a handshake succeeds again.
    enum class Link : uint8_t { NeverConnected, Connected, Failed };

    static constexpr size_t kToneCount = 39;
    static const uint16_t frequencies[kToneCount];  // tenths of Hz, ascending
    static const uint8_t codes[kToneCount];

    // When each kind of request is taken; see the commands above.
    bool begun() const;
    bool acceptsCommand() const;
    bool acceptsFrameNow() const;

    // Link layer.
    bool canSend() const;
    bool sendPacket(const uint8_t* frame);
    bool sendOpcode(uint8_t p1, uint8_t opcode);
    void drain();
    void fail(const char* message);
    bool beginRead(bool rx, Purpose why);
    void stepResponse();
    void finishResponse();

    bool waited(uint32_t sinceMs, uint32_t intervalMs) const;
    uint32_t msLeft(uint32_t sinceMs, uint32_t intervalMs) const;
    uint32_t msUntilCanSend() const;
    bool requestRead(bool rx, Purpose why);
    void setCommand(uint8_t p1, uint8_t opcode);

    // The bytes first: a Cortex-M0+ loads a byte field with one 16-bit instruction only within
    // 32 bytes of the object's start, and word fields within 128. On a 32-bit core the object
    // (vtable pointer, port reference and fields) is 43 bytes with one byte of padding, before
    // the words.
    HardwareSerial& port;
    State state = State::Idle;
    Link link = Link::NeverConnected;
    Purpose purpose = Purpose::PollRx;  // of the read under way, or of the command's read-back
    bool targetRx = true;  // the VFO the next command addresses: SAT RX, else SAT TX
    bool txnRx = true;     // the VFO of the command or read under way
    bool hasSent = false;  // a frame went out since begin()
    uint8_t responseLength = 0;
    uint8_t rxModeByte = 0;  // mode byte of the reply that rxFrequency came from
    uint8_t txModeByte = 0;
    uint8_t command[kFrameLength] = {};   // the frame a command sends, kept for its read-back
    uint8_t response[kFrameLength] = {};  // the reply being collected
    uint32_t rxFrequency = 0;  // Hz, as the SAT RX VFO last reported it; 0: not known
    uint32_t txFrequency = 0;  // the same for the SAT TX VFO
    uint32_t lastSendMs = 0;   // when the last frame went out
    uint32_t stepStartMs = 0;  // when the current wait began: a settle, a read, the retry delay
};
