#include "StationOptions.h"

#include <math.h>
#include <string.h>
#include <strings.h>

#include "CommandLine.h"
#include "FT847.h"
#include "OperatingModes.h"

const char* const kStationUsage =
    "usage: ft847-station --port PATH [--baud 4800|9600|57600]\n"
    "                     [--rx-freq HZ] [--tx-freq HZ]       (10 to 999999990, in 10 Hz steps)\n"
    "                     [--rx-mode MODE] [--tx-mode MODE]   (lsb, usb, cw, cw-narrow, fm)\n"
    "                     [--tone HZ|off] [--poll-ms MS] [--wait-for-port]\n"
    "                     [--rigctld [ADDR:]PORT [--rigctld-strict]]\n"
    "                     (ADDR 127.0.0.1 unless given; an IPv6 address in brackets)\n"
    "                     [--config FILE] (long options, one 'name = value' a line)\n"
    "       ft847-station ... --check   (check the options and the file; open nothing)\n"
    "       ft847-station --version\n";

namespace {

enum Option {
    kPort, kBaud, kRxFreq, kTxFreq, kRxMode, kTxMode, kTone, kPollMs, kWait, kHelp, kRigctld,
    kRigctldStrict,
};

// In the order of Option.
const OptionSpec kOptions[] = {
    {"port", 'p', true},     {"baud", 'b', true},    {"rx-freq", 0, true},
    {"tx-freq", 0, true},    {"rx-mode", 0, true},   {"tx-mode", 0, true},
    {"tone", 0, true},       {"poll-ms", 0, true},   {"wait-for-port", 0, false},
    {"help", 'h', false},     {"rigctld", 0, true},   {"rigctld-strict", 0, false},
};

bool parseFrequency(const char* text, uint64_t& hz) {
    uint8_t digits[4];
    return parseWholeNumber(text, UINT64_MAX, hz) && FT847::encodeFrequency(hz, digits);
}

bool parseModeOption(const char* text, std::optional<uint8_t>& code) {
    for (const OperatingMode& mode : kOperatingModes) {
        if (mode.option != nullptr && strcmp(text, mode.option) == 0) {
            code = mode.code;
            return true;
        }
    }
    return false;
}

// In tenths of Hz. A tone of 0 Hz, like "off", switches the encoder off.
bool parseTone(const char* text, std::optional<uint16_t>& tenths) {
    if (strcasecmp(text, "off") == 0) {
        tenths = 0;
        return true;
    }
    double hz = 0;
    uint8_t code;
    if (!parseDecimal(text, hz) || (hz != 0 && !FT847::encodeTone(hz, code))) {
        return false;
    }
    tenths = static_cast<uint16_t>(lround(hz * 10));
    return true;
}

// [ADDR:]PORT, with an IPv6 address in brackets: "4532", "0.0.0.0:4532", "[::1]:4532".
bool parseListenAddress(const char* text, std::string& address,
                        std::optional<std::string>& port) {
    const std::string value = text;
    std::string host;
    std::string digits = value;
    if (!value.empty() && value[0] == '[') {
        const size_t close = value.find("]:");
        if (close == std::string::npos || close == 1) {
            return false;
        }
        host = value.substr(1, close - 1);
        digits = value.substr(close + 2);
    } else if (value.find(':') != std::string::npos) {
        const size_t colon = value.rfind(':');
        host = value.substr(0, colon);
        digits = value.substr(colon + 1);
        if (host.empty() || host.find(':') != std::string::npos) {
            return false;  // an IPv6 address needs its brackets
        }
    }
    uint64_t number = 0;
    if (!parseWholeNumber(digits.c_str(), 65535, number)) {
        return false;
    }
    if (!host.empty()) {
        address = host;
    }
    port = std::to_string(number);
    return true;
}

}  // namespace

ParseResult parseStationOptions(int argc, char** argv, StationOptions& options,
                                std::string& error, std::vector<std::string>& notes) {
    OptionReader reader(argc, argv, kOptions, sizeof kOptions / sizeof kOptions[0]);
    for (;;) {
        const int id = reader.next();
        if (id == OptionReader::kDone) {
            break;
        }
        if (id == OptionReader::kBad) {
            error = reader.error();
            return ParseResult::Bad;
        }
        const char* value = reader.value();
        uint64_t number = 0;
        switch (id) {
        case kPort:
            options.port = value;
            break;
        case kBaud:
            if (!parseBaud(value, options.baud, error)) {
                return ParseResult::Bad;
            }
            break;
        case kRxFreq:
        case kTxFreq:
            if (!parseFrequency(value, number)) {
                error = "frequency " + quoted(value) +
                        " is not a whole number of Hz from 10 to 999999990";
                return ParseResult::Bad;
            }
            if (number % 10 != 0) {
                notes.push_back(std::string(id == kRxFreq ? "--rx-freq " : "--tx-freq ") + value +
                                " is sent as " + std::to_string(number - number % 10) +
                                " Hz: the radio tunes in 10 Hz steps");
            }
            (id == kRxFreq ? options.rxHz : options.txHz) = number;
            break;
        case kRxMode:
        case kTxMode:
            if (!parseModeOption(value, id == kRxMode ? options.rxMode : options.txMode)) {
                error = "mode " + quoted(value) + " is not one of lsb, usb, cw, cw-narrow, fm";
                return ParseResult::Bad;
            }
            break;
        case kTone:
            if (!parseTone(value, options.toneTenths)) {
                error = "tone " + quoted(value) +
                        " is not a CTCSS tone of the FT-847 (67.0 to 250.3 Hz) or off";
                return ParseResult::Bad;
            }
            break;
        case kPollMs:
            if (!parseWholeNumber(value, 3600000, number) || (number != 0 && number < 100)) {
                error = "poll interval " + quoted(value) + " is not 0 (off) or 100 to 3600000 ms";
                return ParseResult::Bad;
            }
            options.pollMs = static_cast<uint32_t>(number);
            break;
        case kWait:
            options.waitForPort = true;
            break;
        case kHelp:
            return ParseResult::Help;
        case kRigctld:
            if (!parseListenAddress(value, options.rigctldAddress, options.rigctldPort)) {
                error = "rigctld address " + quoted(value) +
                        " is not [ADDR:]PORT with a port from 0 to 65535";
                return ParseResult::Bad;
            }
            break;
        case kRigctldStrict:
            options.rigctldStrict = true;
            break;
        }
    }
    if (options.port.empty()) {
        error = "--port PATH is required";
        return ParseResult::Bad;
    }
    if (options.rigctldStrict && !options.rigctldPort) {
        error = "--rigctld-strict needs --rigctld";
        return ParseResult::Bad;
    }
    return ParseResult::Run;
}

ProgramArguments::Outcome readStationArguments(int argc, char** argv, ProgramArguments& arguments,
                                               std::string& error) {
    // A line on its own, beside a port (which is required) and a rigctld server (which
    // --rigctld-strict needs): what options need of each other is checked once the file and
    // the command line are read together.
    const auto checkLine = [](const std::string& argument, std::string& problem) {
        std::string words[] = {"ft847-station", "--port=-", "--rigctld=0", argument};
        char* line[] = {&words[0][0], &words[1][0], &words[2][0], &words[3][0], nullptr};
        StationOptions ignored;
        std::vector<std::string> notes;
        return parseStationOptions(4, line, ignored, problem, notes) != ParseResult::Bad;
    };
    return arguments.read(argc, argv, kOptions, sizeof kOptions / sizeof kOptions[0], checkLine,
                          error);
}
