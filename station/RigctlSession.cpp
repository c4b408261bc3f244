#include "RigctlSession.h"

#include <string.h>
#include <strings.h>

#include <vector>

#include "FT847.h"
#include "OperatingModes.h"

namespace {

using Item = HeldSettings::Item;

// rigctld's error codes.
constexpr int kOk = 0;
constexpr int kInvalidParameter = -1;
constexpr int kNotAvailable = -11;
constexpr int kDeprecated = -18;
constexpr int kPowerOff = -20;

// Gpredict asks for the DCD with this one byte, with or without a newline.
constexpr uint8_t kGetDcd = 0x8B;

constexpr uint64_t kMinHz = 10;
constexpr uint64_t kMaxHz = 999999990;

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

// A mode the station sets, by its name, in any case. CW with a passband from 1 Hz to the narrow
// filter's width is CW narrow, 0 means the mode's default filter, -1 leaves the filter as it is.
bool parseMode(const std::string& name, long passband, bool hadMode, uint8_t current,
               uint8_t& code) {
    if (passband < -1) {
        return false;
    }
    for (const OperatingMode& mode : kOperatingModes) {
        if (mode.option == nullptr || !sameLetters(name, mode.rigctl)) {
            continue;
        }
        code = mode.code;
        if (mode.code == FT847::kModeCw) {
            const bool wasNarrow = hadMode && current == FT847::kModeCwNarrow;
            const bool narrow =
                passband == -1 ? wasNarrow
                               : passband >= 1 &&
                                     passband <= operatingMode(FT847::kModeCwNarrow)->passbandHz;
            code = narrow ? FT847::kModeCwNarrow : FT847::kModeCw;
        }
        return true;
    }
    return false;
}

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

// What the station can do, in rigctld's layout of "label: value" lines. Logbooks scan it for
// the lines that say whether they can switch the radio on, read the VFO, send Morse and send
// voice; the last of these ends their scan.
const char* const kDumpCaps =
    "Caps dump for model: 2\n"
    "Model name: FT-847 in SAT mode\n"
    "Mfg name: Yaesu\n"
    "Backend version: ft847-station\n"
    "Rig type: Transceiver\n"
    "PTT type: None\n"
    "DCD type: None\n"
    "Port type: Network link\n"
    "Frequency range: 10 Hz to 999999990 Hz in 10 Hz steps\n"
    "Mode list: LSB USB CW FM\n"
    "VFO list: Main Sub\n"
    "Functions: SATMODE TONE\n"
    "CTCSS tones: 39, from 67.0 Hz to 250.3 Hz\n"
    "Can set Frequency: Y\n"
    "Can get Frequency: Y\n"
    "Can set Mode: Y\n"
    "Can get Mode: Y\n"
    "Can set VFO: Y\n"
    "Can get VFO: Y\n"
    "Can set PTT: N\n"
    "Can get PTT: N\n"
    "Can get DCD: N\n"
    "Can set Split Freq: Y\n"
    "Can get Split Freq: Y\n"
    "Can set Split Mode: Y\n"
    "Can get Split Mode: Y\n"
    "Can get Split VFO: Y\n"
    "Can set CTCSS: Y\n"
    "Can get CTCSS: Y\n"
    "Can set Func: Y\n"
    "Can get Func: Y\n"
    "Can get VFO info: Y\n"
    "Can set Power Stat: N\n"
    "Can get Power Stat: Y\n"
    "Can send Morse: N\n"
    "Can send Voice: N\n";

using Words = std::vector<std::string>;

// The arguments a command takes, after the VFO name that a client in VFO mode puts first.
enum class Takes : uint8_t {
    Nothing,    // words after the command are ignored
    Frequency,  // Hz
    Mode,       // a mode name, and optionally a passband in Hz
    Vfo,        // a VFO name
    Split,      // 0 or 1, and the TX VFO's name
    Tone,       // tenths of Hz: 0 (encoder off) or a CTCSS tone of the radio
    Function,   // a function's name, and 0 (off) or 1 (on)
    Name,       // a function's name
};

struct Arguments {
    uint64_t hz = 0;
    std::string name;  // a mode or VFO name
    long number = 0;   // a passband (0 when none is given), split, or tone
};

// What a command did, and how its reply is formed.
struct Result {
    enum class Kind : uint8_t {
        Values,           // a get's values, or a set's RPRT line: the usual reply
        ValuesAndStatus,  // a get's values, followed by the RPRT line in the normal form too
        Lines,            // a block of lines (\dump_state)
        Labelled,         // values with their labels in either form (\get_vfo_info)
        Answer,           // a value, with neither header nor RPRT line in either form
        Status,           // only the RPRT line, in either form
    };
    Kind kind = Kind::Values;
    int code = kOk;
    std::vector<std::pair<std::string, std::string>> values;  // extended label, value
    const char* lines = nullptr;  // for Lines, each ended by a newline
    bool closes = false;          // the client asked to close

    void value(const char* label, const std::string& text) { values.emplace_back(label, text); }
    void fail(int error) {
        code = error;
        values.clear();
    }
};

struct Request {
    RigctlStation& station;
    Vfo& selected;             // the connection's VFO
    const std::string& named;  // a VFO named before the arguments, or empty
    const Arguments& args;
};

using Handler = void (*)(Request& request, Result& result);

struct Command {
    const char* shortName;  // as sent: "F", "q", "AOS"; nullptr for none
    const char* name;       // after a backslash; the extended reply's header; nullptr for none
    bool get;               // a get answers its values; a set answers its RPRT line
    bool radio;             // refused with RPRT -20 in strict mode while the radio is away
    Takes takes;
    Handler handler;
};

constexpr bool kGet = true;
constexpr bool kSet = false;
constexpr bool kRadio = true;     // about the radio
constexpr bool kStation = false;  // answered by the station alone

Vfo vfoNamed(const std::string& word) { return namesUplink(word) ? Vfo::Uplink : Vfo::Downlink; }

// F and f address the downlink unless the uplink is named; M and m the connection's VFO unless
// another is named.
Vfo frequencyVfo(const Request& r) { return vfoNamed(r.named); }
Vfo modeVfo(const Request& r) {
    return r.named.empty() || r.named == "currVFO" ? r.selected : vfoNamed(r.named);
}

void holdFrequency(Request& r, Item item) { r.station.settings.set(item, r.args.hz); }

void reportFrequency(const Request& r, Item item, const char* label, Result& result) {
    uint64_t hz = 0;
    if (!r.station.settings.get(item, hz)) {
        result.fail(kNotAvailable);
        return;
    }
    result.value(label, std::to_string(hz));
}

void holdMode(Request& r, Item item, Result& result) {
    uint64_t current = 0;
    const bool hadMode = r.station.settings.get(item, current);
    uint8_t code = 0;
    if (!parseMode(r.args.name, r.args.number, hadMode, static_cast<uint8_t>(current), code)) {
        result.fail(kInvalidParameter);
        return;
    }
    r.station.settings.set(item, code);
}

void reportMode(const Request& r, Item item, const char* modeLabel, const char* passbandLabel,
                Result& result) {
    uint64_t code = 0;
    const OperatingMode* mode =
        r.station.settings.get(item, code) ? operatingMode(static_cast<uint8_t>(code)) : nullptr;
    if (mode == nullptr) {
        result.fail(kNotAvailable);
        return;
    }
    result.value(modeLabel, mode->rigctl);
    result.value(passbandLabel, std::to_string(mode->passbandHz));
}

void setFrequency(Request& r, Result&) {
    holdFrequency(r, HeldSettings::frequencyOf(frequencyVfo(r)));
}

void getFrequency(Request& r, Result& result) {
    reportFrequency(r, HeldSettings::frequencyOf(frequencyVfo(r)), "Frequency", result);
}

void setSplitFrequency(Request& r, Result&) { holdFrequency(r, Item::UplinkFrequency); }

void getSplitFrequency(Request& r, Result& result) {
    reportFrequency(r, Item::UplinkFrequency, "TX Frequency", result);
}

void setVfo(Request& r, Result&) {
    if (r.args.name != "currVFO") {
        r.selected = vfoNamed(r.args.name);
    }
}

void getVfo(Request& r, Result& result) { result.value("VFO", vfoName(r.selected)); }

void setMode(Request& r, Result& result) {
    holdMode(r, HeldSettings::modeOf(modeVfo(r)), result);
}

void getMode(Request& r, Result& result) {
    reportMode(r, HeldSettings::modeOf(modeVfo(r)), "Mode", "Passband", result);
}

void setSplitMode(Request& r, Result& result) { holdMode(r, Item::UplinkMode, result); }

void getSplitMode(Request& r, Result& result) {
    reportMode(r, Item::UplinkMode, "TX Mode", "TX Passband", result);
}

// In SAT mode the radio always transmits on the SAT TX VFO: split is always on. A client that
// works in simplex turns it off (S 0): the radio stays as it is, the downlink goes on following
// F, and the uplink keeps what it holds.
void setSplitVfo(Request&, Result&) {}

void getSplitVfo(Request&, Result& result) {
    result.value("Split", "1");
    result.value("TX VFO", vfoName(Vfo::Uplink));
}

void setTone(Request& r, Result&) {
    r.station.settings.set(Item::Tone, static_cast<uint64_t>(r.args.number));
}

void getTone(Request& r, Result& result) {
    uint64_t tenths = 0;
    if (!r.station.settings.get(Item::Tone, tenths)) {
        result.fail(kNotAvailable);
        return;
    }
    result.value("CTCSS Tone", std::to_string(tenths));
}

// The radio's functions by rigctld's names, in any case: SAT mode, always on, and the uplink's
// CTCSS encoder (TONE), which sends the tone that C set.
void setFunction(Request& r, Result& result) {
    const bool on = r.args.number == 1;
    if (sameLetters(r.args.name, "SATMODE")) {
        if (!on) {
            result.fail(kNotAvailable);  // the station works the radio in SAT mode only
        }
        return;
    }
    if (!sameLetters(r.args.name, "TONE")) {
        result.fail(kNotAvailable);
        return;
    }
    const uint64_t tone = r.station.settings.lastTone();
    if (on && tone == 0) {
        result.fail(kNotAvailable);  // no tone to send: C sets one
        return;
    }
    r.station.settings.set(Item::Tone, on ? tone : 0);
}

void getFunction(Request& r, Result& result) {
    uint64_t tenths = 0;
    if (sameLetters(r.args.name, "SATMODE")) {
        result.value("Func Status", "1");
    } else if (sameLetters(r.args.name, "TONE") && r.station.settings.get(Item::Tone, tenths)) {
        result.value("Func Status", tenths != 0 ? "1" : "0");
    } else {
        result.fail(kNotAvailable);
    }
}

// A VFO at a glance, as logbooks ask for it; currVFO is the connection's.
void getVfoInfo(Request& r, Result& result) {
    const Vfo vfo = r.args.name == "currVFO" ? r.selected : vfoNamed(r.args.name);
    uint64_t hz = 0;
    uint64_t code = 0;
    const OperatingMode* mode = r.station.settings.get(HeldSettings::modeOf(vfo), code)
                                    ? operatingMode(static_cast<uint8_t>(code))
                                    : nullptr;
    if (!r.station.settings.get(HeldSettings::frequencyOf(vfo), hz) || mode == nullptr) {
        result.fail(kNotAvailable);
        return;
    }
    result.kind = Result::Kind::Labelled;
    result.value("Freq", std::to_string(hz));
    result.value("Mode", mode->rigctl);
    result.value("Width", std::to_string(mode->passbandHz));
    result.value("Split", "1");
    result.value("SatMode", "1");
}

void getPowerStat(Request& r, Result& result) {
    result.value("Power Status", r.station.radioConnected ? "1" : "0");
}

// Exactly "0": anything else switches clients into VFO mode.
void checkVfo(Request&, Result& result) {
    result.kind = Result::Kind::Answer;
    result.value("ChkVFO", "0");
}

void getLockMode(Request&, Result& result) {
    result.kind = Result::Kind::ValuesAndStatus;
    result.value("Locked", "0");
}

void dumpState(Request&, Result& result) {
    result.kind = Result::Kind::Lines;
    result.lines = kDumpState;
}

void dumpCaps(Request&, Result& result) {
    result.kind = Result::Kind::Lines;
    result.lines = kDumpCaps;
}

void quit(Request&, Result& result) {
    result.kind = Result::Kind::Status;
    result.closes = true;
}

// Gpredict's signals at acquisition and loss of signal.
void acknowledge(Request&, Result& result) { result.kind = Result::Kind::Status; }

// No PTT, and no VFO option, through this interface.
void notAvailable(Request&, Result& result) { result.fail(kNotAvailable); }

// Transceive, as rigctld 4.x answers it: SkyRoof takes this reply for "no capability list".
void deprecated(Request&, Result& result) { result.fail(kDeprecated); }

const Command kCommands[] = {
    {"F", "set_freq", kSet, kRadio, Takes::Frequency, setFrequency},
    {"f", "get_freq", kGet, kRadio, Takes::Nothing, getFrequency},
    {"I", "set_split_freq", kSet, kRadio, Takes::Frequency, setSplitFrequency},
    {"i", "get_split_freq", kGet, kRadio, Takes::Nothing, getSplitFrequency},
    {"V", "set_vfo", kSet, kStation, Takes::Vfo, setVfo},
    {"v", "get_vfo", kGet, kStation, Takes::Nothing, getVfo},
    {"M", "set_mode", kSet, kRadio, Takes::Mode, setMode},
    {"m", "get_mode", kGet, kRadio, Takes::Nothing, getMode},
    {"X", "set_split_mode", kSet, kRadio, Takes::Mode, setSplitMode},
    {"x", "get_split_mode", kGet, kRadio, Takes::Nothing, getSplitMode},
    {"S", "set_split_vfo", kSet, kRadio, Takes::Split, setSplitVfo},
    {"s", "get_split_vfo", kGet, kRadio, Takes::Nothing, getSplitVfo},
    {"T", "set_ptt", kSet, kStation, Takes::Nothing, notAvailable},
    {"t", "get_ptt", kGet, kStation, Takes::Nothing, notAvailable},
    {"C", "set_ctcss_tone", kSet, kRadio, Takes::Tone, setTone},
    {"c", "get_ctcss_tone", kGet, kRadio, Takes::Nothing, getTone},
    {"U", "set_func", kSet, kRadio, Takes::Function, setFunction},
    {"u", "get_func", kGet, kRadio, Takes::Name, getFunction},
    {"A", "set_trn", kSet, kStation, Takes::Nothing, deprecated},
    {"a", "get_trn", kGet, kStation, Takes::Nothing, deprecated},
    {nullptr, "get_vfo_info", kGet, kRadio, Takes::Vfo, getVfoInfo},
    {nullptr, "get_powerstat", kGet, kStation, Takes::Nothing, getPowerStat},
    {nullptr, "chk_vfo", kGet, kStation, Takes::Nothing, checkVfo},
    {nullptr, "get_lock_mode", kGet, kStation, Takes::Nothing, getLockMode},
    {nullptr, "set_vfo_opt", kSet, kStation, Takes::Nothing, notAvailable},
    {nullptr, "dump_state", kGet, kStation, Takes::Nothing, dumpState},
    {nullptr, "dump_caps", kGet, kStation, Takes::Nothing, dumpCaps},
    {"q", "quit", kSet, kStation, Takes::Nothing, quit},
    {"Q", nullptr, kSet, kStation, Takes::Nothing, quit},
    {"AOS", nullptr, kSet, kStation, Takes::Nothing, acknowledge},
    {"LOS", nullptr, kSet, kStation, Takes::Nothing, acknowledge},
};

const Command* find(const std::string& word) {
    for (const Command& command : kCommands) {
        const char* name = word[0] == '\\' ? command.name : command.shortName;
        const size_t from = word[0] == '\\' ? 1 : 0;
        if (name != nullptr && word.compare(from, std::string::npos, name) == 0) {
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

// A command where a line's words[at] begins: "+" asks for the extended form, and a separator
// after it replaces the newline between the reply's lines. The prefix may stand alone before
// the command's name ("+ f"). `command` is nullptr when no command of the station's begins
// there; a long name ("\\get_level") begins a command all the same, one the station does not
// know.
struct CommandStart {
    const Command* command = nullptr;
    bool longName = false;
    size_t words = 1;  // the prefix and the name
    bool extended = false;
    char separator = '\n';

    bool begins() const { return command != nullptr || longName; }
};

CommandStart commandAt(const Words& words, size_t at) {
    CommandStart start;
    std::string name = words[at];
    if (name[0] == '+') {
        start.extended = true;
        size_t prefix = 1;
        if (name.size() > 1 && (name[1] == ';' || name[1] == '|' || name[1] == ',')) {
            start.separator = name[1];
            prefix = 2;
        }
        name.erase(0, prefix);
        if (name.empty()) {
            if (at + 1 == words.size()) {
                return start;
            }
            name = words[at + 1];
            start.words = 2;
        }
    }
    start.longName = name[0] == '\\';
    start.command = find(name);
    return start;
}

// False when the words are not the arguments the command takes: RPRT -1.
bool parseArguments(Takes takes, const Words& words, Arguments& args) {
    switch (takes) {
    case Takes::Nothing:
        return true;
    case Takes::Frequency:
        return words.size() == 1 && parseHz(words[0], args.hz);
    case Takes::Mode:
        if (words.empty() || words.size() > 2 ||
            (words.size() == 2 && !parseLong(words[1], args.number))) {
            return false;
        }
        args.name = words[0];
        return true;
    case Takes::Vfo:
        if (words.size() != 1 || !isVfoName(words[0])) {
            return false;
        }
        args.name = words[0];
        return true;
    case Takes::Split:
        return words.size() == 2 && parseLong(words[0], args.number) &&
               (args.number == 0 || args.number == 1) && isVfoName(words[1]);
    case Takes::Tone: {
        uint8_t code = 0;
        return words.size() == 1 && parseLong(words[0], args.number) && args.number >= 0 &&
               (args.number == 0 ||
                FT847::encodeTone(static_cast<double>(args.number) / 10.0, code));
    }
    case Takes::Function:
        if (words.size() != 2 || !parseLong(words[1], args.number) ||
            (args.number != 0 && args.number != 1)) {
            return false;
        }
        args.name = words[0];
        return true;
    case Takes::Name:
        if (words.size() != 1) {
            return false;
        }
        args.name = words[0];
        return true;
    }
    return false;
}

// The reply in the client's form. The extended form is a header (the command's name and the
// words after it), the labelled values and the RPRT line, each ended by `separator` but the
// last.
void render(const Command& command, const Words& args, const Result& result, bool extended,
            char separator, std::string& out) {
    using Kind = Result::Kind;
    const std::string status = "RPRT " + std::to_string(result.code) + "\n";
    if (result.kind == Kind::Status) {
        out += status;
        return;
    }
    const bool ok = result.code == kOk;
    if (!extended) {
        if (!ok || !command.get) {
            out += status;
            return;
        }
        if (result.lines != nullptr) {
            out += result.lines;
        }
        for (const auto& value : result.values) {
            out += result.kind == Kind::Labelled ? value.first + ": " + value.second : value.second;
            out += '\n';
        }
        if (result.kind == Kind::ValuesAndStatus) {
            out += status;
        }
        return;
    }
    if (ok && result.kind == Kind::Answer) {
        for (const auto& value : result.values) {
            out += value.first + ": " + value.second + '\n';
        }
        return;
    }
    out += command.name;
    out += ':';
    for (const std::string& word : args) {
        out += ' ';
        out += word;
    }
    out += separator;
    if (ok) {
        for (const char* c = result.lines; c != nullptr && *c != '\0'; ++c) {
            out += *c == '\n' ? separator : *c;
        }
        for (const auto& value : result.values) {
            out += value.first + ": " + value.second;
            out += separator;
        }
    }
    out += status;
}

// One command with the words that follow it on its line, answered in the client's form.
// Returns true when the client asked to close.
bool run(const Command& command, const Words& words, bool extended, char separator,
         RigctlStation& station, Vfo& selected, std::string& out) {
    Words args = words;
    // A client in VFO mode names a VFO before the arguments; a VFO that is the command's own
    // argument stays.
    std::string vfo;
    if (!args.empty() && isVfoName(args[0]) && (command.takes != Takes::Vfo || args.size() > 1)) {
        vfo = args[0];
        args.erase(args.begin());
    }
    Result result;
    Arguments parsed;
    if (command.radio && station.strict && !station.radioConnected) {
        result.fail(kPowerOff);
    } else if (!parseArguments(command.takes, args, parsed)) {
        result.fail(kInvalidParameter);
    } else {
        Request request{station, selected, vfo, parsed};
        command.handler(request, result);
    }
    render(command, words, result, extended, separator, out);
    return result.closes;
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

// A line is a stream of commands, as rigctld reads it: the words after a command, up to the
// next word that begins one, are its arguments, and each command is answered in turn. A word
// begins a command when it is one of the station's commands or any long name ("\\get_level").
// A command the station does not know is answered RPRT -11, with the words up to the next
// command taken for its arguments; so is an empty line.
void RigctlSession::line(const char* text, size_t length, RigctlStation& station,
                         std::string& out) {
    while (length > 0 && text[length - 1] == '\r') {
        --length;
    }
    const Words words = split(text, length);
    size_t at = 0;
    do {
        const CommandStart start = words.empty() ? CommandStart{} : commandAt(words, at);
        const size_t first = std::min(at + start.words, words.size());
        size_t next = first;
        while (next < words.size() && !commandAt(words, next).begins()) {
            ++next;
        }
        if (start.command == nullptr) {
            out += "RPRT " + std::to_string(kNotAvailable) + "\n";
        } else {
            const Words args(words.begin() + static_cast<std::ptrdiff_t>(first),
                             words.begin() + static_cast<std::ptrdiff_t>(next));
            quit = run(*start.command, args, start.extended, start.separator, station, selected,
                       out);
        }
        at = next;
    } while (at < words.size() && !quit);
}
