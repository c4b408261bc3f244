#include "RigctlSession.h"

#include <string.h>
#include <strings.h>

#include <vector>

#include "FT847.h"

namespace {

using Item = HeldSettings::Item;
using Vfo = RigctlSession::Vfo;

// rigctld's error codes.
constexpr int kOk = 0;
constexpr int kInvalidParameter = -1;
constexpr int kNotAvailable = -11;
constexpr int kPowerOff = -20;

// Gpredict asks for the DCD with this one byte, with or without a newline.
constexpr uint8_t kGetDcd = 0x8B;

constexpr uint64_t kMinHz = 10;
constexpr uint64_t kMaxHz = 999999990;

// Filter widths reported with a mode, in Hz. CW has the SSB filter, or the 500 Hz narrow one.
constexpr long kSsbPassband = 2400;
constexpr long kCwNarrowPassband = 500;
constexpr long kFmPassband = 15000;

using Words = std::vector<std::string>;

// The outcome of one command, rendered in the client's reply form.
struct Result {
    int code = kOk;
    bool get = false;  // a get answers its values; a set answers RPRT
    std::vector<std::pair<std::string, std::string>> values;  // extended label, value

    void value(const char* label, const std::string& text) { values.emplace_back(label, text); }
    void fail(int error) {
        code = error;
        values.clear();
    }
};

bool isVfoName(const std::string& word) {
    return word == "currVFO" || word == "Main" || word == "VFOA" || word == "Sub" ||
           word == "VFOB";
}

bool namesUplink(const std::string& word) { return word == "Sub" || word == "VFOB"; }

const char* vfoName(Vfo vfo) { return vfo == Vfo::Downlink ? "Main" : "Sub"; }

// Digits, optionally with a decimal fraction ("145900123.000000"); the fraction is below the
// radio's 10 Hz steps and is dropped.
bool parseHz(const std::string& word, uint64_t& hz) {
    uint64_t value = 0;
    size_t i = 0;
    for (; i < word.size() && word[i] >= '0' && word[i] <= '9'; ++i) {
        if (value > kMaxHz) {
            return false;
        }
        value = value * 10 + static_cast<uint64_t>(word[i] - '0');
    }
    if (i == 0) {
        return false;
    }
    if (i < word.size() && word[i] == '.') {
        for (++i; i < word.size() && word[i] >= '0' && word[i] <= '9'; ++i) {
        }
    }
    if (i != word.size() || value < kMinHz || value > kMaxHz) {
        return false;
    }
    hz = value;
    return true;
}

// A whole number, optionally negative.
bool parseLong(const std::string& word, long& number) {
    size_t i = word.size() > 1 && word[0] == '-' ? 1 : 0;
    if (i == word.size()) {
        return false;
    }
    long value = 0;
    for (; i < word.size(); ++i) {
        if (word[i] < '0' || word[i] > '9' || value > 100000000) {
            return false;
        }
        value = value * 10 + (word[i] - '0');
    }
    number = word[0] == '-' ? -value : value;
    return true;
}

// The same letters in any case; a NUL inside the word makes it another word.
bool sameLetters(const std::string& word, const char* name) {
    return word.size() == strlen(name) && strncasecmp(word.data(), name, word.size()) == 0;
}

// USB, LSB, CW and FM; CW with a passband of 1 to 500 Hz is CW narrow, 0 means the mode's
// default, -1 leaves the width as it is.
bool parseMode(const std::string& name, long passband, bool hadMode, uint8_t current,
               uint8_t& code) {
    if (passband < -1) {
        return false;
    }
    if (sameLetters(name, "USB")) {
        code = FT847::kModeUsb;
    } else if (sameLetters(name, "LSB")) {
        code = FT847::kModeLsb;
    } else if (sameLetters(name, "FM")) {
        code = FT847::kModeFm;
    } else if (sameLetters(name, "CW")) {
        const bool wasNarrow = hadMode && current == FT847::kModeCwNarrow;
        const bool narrow = passband == -1 ? wasNarrow : passband >= 1 && passband <= 500;
        code = narrow ? FT847::kModeCwNarrow : FT847::kModeCw;
    } else {
        return false;
    }
    return true;
}

bool describeMode(uint8_t code, std::string& name, long& passband) {
    switch (code) {
    case FT847::kModeUsb: name = "USB"; passband = kSsbPassband; return true;
    case FT847::kModeLsb: name = "LSB"; passband = kSsbPassband; return true;
    case FT847::kModeCw: name = "CW"; passband = kSsbPassband; return true;
    case FT847::kModeCwNarrow: name = "CW"; passband = kCwNarrowPassband; return true;
    case FT847::kModeFm: name = "FM"; passband = kFmPassband; return true;
    default: return false;
    }
}

Item modeOf(Vfo vfo) { return vfo == Vfo::Downlink ? Item::DownlinkMode : Item::UplinkMode; }

// The receive and transmit ranges, in the station's own terms: every frequency the driver
// takes, in the four modes it sets, on either VFO.
const char* const kDumpState =
    "1\n"
    "2\n"
    "2\n"
    "10.000000 999999990.000000 0x2e -1 -1 0x6000000 0x0\n"
    "0 0 0 0 0 0 0\n"
    "10.000000 999999990.000000 0x2e 5000 100000 0x6000000 0x0\n"
    "0 0 0 0 0 0 0\n"
    "0x2e 10\n"
    "0 0\n"
    "0x0e 2400\n"
    "0x02 500\n"
    "0x20 15000\n"
    "0 0\n"
    "0\n"
    "0\n"
    "0\n"
    "0\n"
    "\n"
    "\n"
    "0x0\n"
    "0x0\n"
    "0x0\n"
    "0x0\n"
    "0x0\n"
    "0x0\n"
    "vfo_ops=0x0\n"
    "ptt_type=0x0\n"
    "targetable_vfo=0x0\n"
    "has_set_vfo=1\n"
    "has_get_vfo=1\n"
    "has_set_freq=1\n"
    "has_get_freq=1\n"
    "has_set_conf=0\n"
    "has_get_conf=0\n"
    "has_power2mW=0\n"
    "has_mW2power=0\n"
    "timeout=0\n"
    "rig_model=2\n"
    "rigctld_version=ft847-station\n"
    "done\n";

enum class Op : uint8_t {
    SetFrequency, GetFrequency, SetSplitFrequency, GetSplitFrequency, SetVfo, GetVfo, SetMode,
    GetMode, SetSplitMode, GetSplitMode, SetSplitVfo, GetSplitVfo, SetPtt, GetPtt, SetTone,
    GetTone, GetPowerStat, CheckVfo, GetLockMode, SetVfoOption, DumpState, Quit,
};

struct Command {
    char letter;       // the short form, 0 for none
    const char* name;  // the long form, after a backslash; also the extended reply's header
    Op op;
    bool radio;        // refused with RPRT -20 in strict mode while the radio is away
};

const Command kCommands[] = {
    {'F', "set_freq", Op::SetFrequency, true},
    {'f', "get_freq", Op::GetFrequency, true},
    {'I', "set_split_freq", Op::SetSplitFrequency, true},
    {'i', "get_split_freq", Op::GetSplitFrequency, true},
    {'V', "set_vfo", Op::SetVfo, false},
    {'v', "get_vfo", Op::GetVfo, false},
    {'M', "set_mode", Op::SetMode, true},
    {'m', "get_mode", Op::GetMode, true},
    {'X', "set_split_mode", Op::SetSplitMode, true},
    {'x', "get_split_mode", Op::GetSplitMode, true},
    {'S', "set_split_vfo", Op::SetSplitVfo, true},
    {'s', "get_split_vfo", Op::GetSplitVfo, true},
    {'T', "set_ptt", Op::SetPtt, false},
    {'t', "get_ptt", Op::GetPtt, false},
    {'C', "set_ctcss_tone", Op::SetTone, true},
    {'c', "get_ctcss_tone", Op::GetTone, true},
    {0, "get_powerstat", Op::GetPowerStat, false},
    {0, "chk_vfo", Op::CheckVfo, false},
    {0, "get_lock_mode", Op::GetLockMode, false},
    {0, "set_vfo_opt", Op::SetVfoOption, false},
    {0, "dump_state", Op::DumpState, false},
    {'q', "quit", Op::Quit, false},
    {'Q', "quit", Op::Quit, false},
};

const Command* find(const std::string& word) {
    for (const Command& command : kCommands) {
        const bool matches = word.size() == 1
                                 ? command.letter != 0 && word[0] == command.letter
                                 : word[0] == '\\' && word.compare(1, std::string::npos,
                                                                   command.name) == 0;
        if (matches) {
            return &command;
        }
    }
    return nullptr;
}

Words split(const char* text, size_t length) {
    Words words;
    std::string word;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == ' ' || text[i] == '\t') {
            if (!word.empty()) {
                words.push_back(word);
                word.clear();
            }
        } else {
            word += text[i];
        }
    }
    if (!word.empty()) {
        words.push_back(word);
    }
    return words;
}

// Sets a frequency of either VFO.
void setFrequency(RigctlStation& station, Item item, const Words& args, Result& result) {
    uint64_t hz = 0;
    if (args.size() != 1 || !parseHz(args[0], hz)) {
        result.fail(kInvalidParameter);
        return;
    }
    station.settings.set(item, hz);
}

void getFrequency(const RigctlStation& station, Item item, const char* label, Result& result) {
    uint64_t hz = 0;
    if (!station.settings.get(item, hz)) {
        result.fail(kNotAvailable);
        return;
    }
    result.value(label, std::to_string(hz));
}

void setMode(RigctlStation& station, Item item, const Words& args, Result& result) {
    long passband = 0;
    if (args.empty() || args.size() > 2 || (args.size() == 2 && !parseLong(args[1], passband))) {
        result.fail(kInvalidParameter);
        return;
    }
    uint64_t current = 0;
    const bool hadMode = station.settings.get(item, current);
    uint8_t code = 0;
    if (!parseMode(args[0], passband, hadMode, static_cast<uint8_t>(current), code)) {
        result.fail(kInvalidParameter);
        return;
    }
    station.settings.set(item, code);
}

void getMode(const RigctlStation& station, Item item, const char* modeLabel,
             const char* passbandLabel, Result& result) {
    uint64_t code = 0;
    std::string name;
    long passband = 0;
    if (!station.settings.get(item, code) || !describeMode(static_cast<uint8_t>(code), name,
                                                           passband)) {
        result.fail(kNotAvailable);
        return;
    }
    result.value(modeLabel, name);
    result.value(passbandLabel, std::to_string(passband));
}

}  // namespace

void RigctlSession::receive(const uint8_t* data, size_t length, RigctlStation& station,
                            std::string& out) {
    for (size_t i = 0; i < length && !quit; ++i) {
        const uint8_t byte = data[i];
        if (afterDcd) {
            if (byte == '\r') {
                continue;
            }
            afterDcd = false;
            if (byte == '\n') {
                continue;
            }
        }
        if (discarding) {
            discarding = byte != '\n';
            continue;
        }
        if (byte == '\n') {
            line(buffer, buffered, station, out);
            buffered = 0;
            continue;
        }
        if (buffered == 0 && byte == kGetDcd) {
            // No PTT and no squelch line through this interface.
            out += "RPRT -11\n";
            afterDcd = true;
            continue;
        }
        // 256 bytes of command, and the CR of a CR LF line end beyond them.
        if (buffered == kMaxLine + 1 || (buffered == kMaxLine && byte != '\r')) {
            out += "RPRT -1\n";
            buffered = 0;
            discarding = true;
            continue;
        }
        buffer[buffered++] = static_cast<char>(byte);
    }
}

void RigctlSession::line(const char* text, size_t length, RigctlStation& station,
                         std::string& out) {
    while (length > 0 && text[length - 1] == '\r') {
        --length;
    }
    // "+" asks for the extended form; a separator after it replaces the newline between its
    // lines.
    bool extended = false;
    char separator = '\n';
    if (length > 0 && text[0] == '+') {
        extended = true;
        ++text;
        --length;
        if (length > 0 && (text[0] == ';' || text[0] == '|' || text[0] == ',')) {
            separator = text[0];
            ++text;
            --length;
        }
    }
    Words words = split(text, length);
    if (words.empty()) {
        out += "RPRT -11\n";
        return;
    }
    if (words[0] == "AOS" || words[0] == "LOS") {
        out += "RPRT 0\n";
        return;
    }
    const Command* command = find(words[0]);
    if (command == nullptr) {
        out += "RPRT -11\n";
        return;
    }
    Words args(words.begin() + 1, words.end());
    // A client in VFO mode names a VFO before the arguments. Only V takes a VFO as its own
    // argument.
    std::string named;
    if (!args.empty() && isVfoName(args[0]) && (command->op != Op::SetVfo || args.size() > 1)) {
        named = args[0];
        args.erase(args.begin());
    }

    Result result;
    result.get = command->name[0] == 'g' || command->op == Op::DumpState;
    if (command->radio && station.strict && !station.radioConnected) {
        result.fail(kPowerOff);
    } else {
        switch (command->op) {
        case Op::SetFrequency:
            setFrequency(station, namesUplink(named) ? Item::UplinkFrequency
                                                     : Item::DownlinkFrequency,
                         args, result);
            break;
        case Op::GetFrequency:
            getFrequency(station, namesUplink(named) ? Item::UplinkFrequency
                                                     : Item::DownlinkFrequency,
                         "Frequency", result);
            break;
        case Op::SetSplitFrequency:
            setFrequency(station, Item::UplinkFrequency, args, result);
            break;
        case Op::GetSplitFrequency:
            getFrequency(station, Item::UplinkFrequency, "TX Frequency", result);
            break;
        case Op::SetVfo:
            if (args.size() != 1 || !isVfoName(args[0])) {
                result.fail(kInvalidParameter);
            } else if (args[0] != "currVFO") {
                selected = namesUplink(args[0]) ? Vfo::Uplink : Vfo::Downlink;
            }
            break;
        case Op::GetVfo:
            result.value("VFO", vfoName(selected));
            break;
        case Op::SetMode:
        case Op::GetMode: {
            const Vfo vfo = named.empty() || named == "currVFO" ? selected
                            : namesUplink(named)                ? Vfo::Uplink
                                                                : Vfo::Downlink;
            if (command->op == Op::SetMode) {
                setMode(station, modeOf(vfo), args, result);
            } else {
                getMode(station, modeOf(vfo), "Mode", "Passband", result);
            }
            break;
        }
        case Op::SetSplitMode:
            setMode(station, Item::UplinkMode, args, result);
            break;
        case Op::GetSplitMode:
            getMode(station, Item::UplinkMode, "TX Mode", "TX Passband", result);
            break;
        case Op::SetSplitVfo: {
            // In SAT mode the radio always transmits on the SAT TX VFO: split is always on.
            long split = 0;
            if (args.size() != 2 || !parseLong(args[0], split) || (split != 0 && split != 1) ||
                !isVfoName(args[1])) {
                result.fail(kInvalidParameter);
            } else if (split == 0) {
                result.fail(kNotAvailable);
            }
            break;
        }
        case Op::GetSplitVfo:
            result.value("Split", "1");
            result.value("TX VFO", vfoName(Vfo::Uplink));
            break;
        case Op::SetPtt:
        case Op::GetPtt:
        case Op::SetVfoOption:
            result.fail(kNotAvailable);
            break;
        case Op::SetTone: {
            long tenths = 0;
            uint8_t code = 0;
            if (args.size() != 1 || !parseLong(args[0], tenths) || tenths < 0 ||
                (tenths != 0 && !FT847::encodeTone(static_cast<double>(tenths) / 10.0, code))) {
                result.fail(kInvalidParameter);
            } else {
                station.settings.set(Item::Tone, static_cast<uint64_t>(tenths));
            }
            break;
        }
        case Op::GetTone: {
            uint64_t tenths = 0;
            if (!station.settings.get(Item::Tone, tenths)) {
                result.fail(kNotAvailable);
            } else {
                result.value("CTCSS Tone", std::to_string(tenths));
            }
            break;
        }
        case Op::GetPowerStat:
            result.value("Power Status", station.radioConnected ? "1" : "0");
            break;
        case Op::CheckVfo:
            // Exactly "0": anything else switches clients into VFO mode.
            out += extended ? "ChkVFO: 0\n" : "0\n";
            return;
        case Op::GetLockMode:
            if (!extended) {
                out += "0\nRPRT 0\n";
                return;
            }
            result.value("Locked", "0");
            break;
        case Op::DumpState:
            if (!extended) {
                out += kDumpState;
                return;
            }
            break;
        case Op::Quit:
            quit = true;
            out += "RPRT 0\n";
            return;
        }
    }

    if (!extended) {
        if (result.get && result.code == kOk) {
            for (const auto& value : result.values) {
                out += value.second;
                out += '\n';
            }
        } else {
            out += "RPRT " + std::to_string(result.code) + "\n";
        }
        return;
    }
    std::string header = std::string(command->name) + ":";
    for (const std::string& word : words) {
        if (&word != &words[0]) {
            header += ' ';
            header += word;
        }
    }
    out += header;
    out += separator;
    if (result.code == kOk) {
        if (command->op == Op::DumpState) {
            std::string lines = kDumpState;
            for (char& c : lines) {
                c = c == '\n' ? separator : c;
            }
            out += lines;
        }
        for (const auto& value : result.values) {
            out += value.first + ": " + value.second;
            out += separator;
        }
    }
    out += "RPRT " + std::to_string(result.code) + "\n";
}
