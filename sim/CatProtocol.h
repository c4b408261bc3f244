#pragma once

// The FT-847's CAT protocol as the radio's side reads it: opcodes, operating modes, the BCD
// frequency coding and the CTCSS tone table. The simulated radio, the bench, the emulator and
// the tests' oracles take these facts from here, once. The driver keeps its own constants, so
// that the driver and the simulated radio stay two independent readings of the radio.
//
// A frame is five bytes: four parameter bytes, then the opcode.

#include <stddef.h>
#include <stdint.h>

namespace cat {

constexpr size_t kFrameLength = 5;

// Opcodes, byte 5 of a command frame.
constexpr uint8_t kCatOn = 0x00;
constexpr uint8_t kCatOff = 0x80;
constexpr uint8_t kSatOn = 0x4E;
constexpr uint8_t kSatOff = 0x8E;
constexpr uint8_t kSetSatRxFrequency = 0x11;
constexpr uint8_t kSetSatTxFrequency = 0x21;
constexpr uint8_t kReadSatRx = 0x13;  // answered with the SAT RX VFO's frequency and mode
constexpr uint8_t kReadSatTx = 0x23;  // answered with the SAT TX VFO's frequency and mode
constexpr uint8_t kSetSatRxMode = 0x17;
constexpr uint8_t kSetSatTxMode = 0x27;
constexpr uint8_t kSetSatTxTone = 0x2B;      // P1: tone code
constexpr uint8_t kSetSatTxToneMode = 0x2A;  // P1: encoder on or off
constexpr uint8_t kToneEncoderOn = 0x4A;
constexpr uint8_t kToneEncoderOff = 0x8A;

inline bool isRead(uint8_t opcode) { return opcode == kReadSatRx || opcode == kReadSatTx; }

// Operating modes: P1 of a mode command, byte 5 of a read reply. The radio knows these ten.
struct Mode {
    uint8_t code;
    const char* name;
};
constexpr Mode kModes[] = {
    {0x00, "LSB"}, {0x01, "USB"},    {0x02, "CW"},   {0x03, "CW-R"}, {0x04, "AM"},
    {0x08, "FM"},  {0x82, "CW-N"},   {0x83, "CW-R-N"}, {0x84, "AM-N"}, {0x88, "FM-N"},
};
constexpr uint8_t kModeLsb = 0x00;
constexpr uint8_t kModeUsb = 0x01;
constexpr uint8_t kModeCw = 0x02;
constexpr uint8_t kModeCwNarrow = 0x82;
constexpr uint8_t kModeFm = 0x08;

// The name of a mode code, or nullptr for a code the radio does not know.
inline const char* modeName(uint8_t code) {
    for (const Mode& mode : kModes) {
        if (mode.code == code) {
            return mode.name;
        }
    }
    return nullptr;
}

inline bool knownMode(uint8_t code) { return modeName(code) != nullptr; }

// A frequency travels as 8 BCD digits of 10 Hz, most significant first, two digits a byte with
// the tens digit in the high nibble: 145,900,000 Hz is 14 59 00 00.
constexpr uint32_t kMaxTens = 99999999;

inline void encodeBcd(uint32_t tens, uint8_t* out) {
    for (int i = 3; i >= 0; --i) {
        const uint32_t pair = tens % 100;
        out[i] = static_cast<uint8_t>(((pair / 10) << 4) | (pair % 10));
        tens /= 100;
    }
}

// False when a nibble is above 9. An all-zero value decodes (to 0); whether it is a valid
// frequency is the reader's decision.
inline bool decodeBcd(const uint8_t* in, uint32_t& tens) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const uint32_t high = static_cast<uint32_t>(in[i] >> 4);
        const uint32_t low = static_cast<uint32_t>(in[i] & 0x0F);
        if (high > 9 || low > 9) {
            return false;
        }
        value = value * 100 + high * 10 + low;
    }
    tens = value;
    return true;
}

// The 39 CTCSS tones of the SAT TX encoder, ascending, in tenths of Hz, with the code the radio
// uses for each. The codes follow no arithmetic rule.
struct Tone {
    uint16_t tenths;
    uint8_t code;
};
constexpr Tone kTones[] = {
    {670, 0x3F},  {693, 0x39},  {719, 0x1F},  {744, 0x3E},  {770, 0x0F},  {797, 0x3D},
    {825, 0x1E},  {854, 0x3C},  {885, 0x0E},  {915, 0x3B},  {948, 0x1D},  {974, 0x3A},
    {1000, 0x0D}, {1035, 0x1C}, {1072, 0x0C}, {1109, 0x1B}, {1148, 0x0B}, {1188, 0x1A},
    {1230, 0x0A}, {1273, 0x19}, {1318, 0x09}, {1365, 0x18}, {1413, 0x08}, {1462, 0x17},
    {1514, 0x07}, {1567, 0x16}, {1622, 0x06}, {1679, 0x15}, {1738, 0x05}, {1799, 0x14},
    {1862, 0x04}, {1928, 0x13}, {2035, 0x03}, {2107, 0x12}, {2181, 0x02}, {2257, 0x11},
    {2336, 0x01}, {2418, 0x10}, {2503, 0x00},
};
constexpr size_t kToneCount = sizeof kTones / sizeof kTones[0];
static_assert(kToneCount == 39, "the FT-847 offers 39 CTCSS tones");

// The code of a tone given in Hz, by the rule that defines a match: 10 x hz must be within
// 0.01 of a row's tenths (computed in double precision), the first such row wins, and only
// 67.0 to 250.3 Hz is considered (NaN is not).
inline bool toneCodeFor(double hz, uint8_t& code) {
    if (!(hz >= 67.0 && hz <= 250.3)) {
        return false;
    }
    for (const Tone& tone : kTones) {
        const double difference = 10.0 * hz - static_cast<double>(tone.tenths);
        if (difference > -0.01 && difference < 0.01) {
            code = tone.code;
            return true;
        }
    }
    return false;
}

}  // namespace cat
