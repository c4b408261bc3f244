#include "StationOptions.h"

#include <errno.h>
#include <getopt.h>
#include <stdlib.h>
#include <string.h>

#include <cmath>

#include "FT847.h"

const char* const kStationUsage =
    "usage: ft847-station --port PATH [--baud 4800|9600|57600]\n"
    "                     [--rx-freq HZ] [--tx-freq HZ]\n"
    "                     [--rx-mode MODE] [--tx-mode MODE]   (lsb, usb, cw, cw-narrow, fm)\n"
    "                     [--tone HZ|off] [--poll-ms MS] [--wait-for-port]\n";

namespace {

enum OptionId {
    kPort = 'p',
    kBaud = 'b',
    kRxFreq = 256,
    kTxFreq,
    kRxMode,
    kTxMode,
    kTone,
    kPollMs,
    kWaitForPort,
    kHelp = 'h',
};

const option kOptions[] = {
    {"port", required_argument, nullptr, kPort},
    {"baud", required_argument, nullptr, kBaud},
    {"rx-freq", required_argument, nullptr, kRxFreq},
    {"tx-freq", required_argument, nullptr, kTxFreq},
    {"rx-mode", required_argument, nullptr, kRxMode},
    {"tx-mode", required_argument, nullptr, kTxMode},
    {"tone", required_argument, nullptr, kTone},
    {"poll-ms", required_argument, nullptr, kPollMs},
    {"wait-for-port", no_argument, nullptr, kWaitForPort},
    {"help", no_argument, nullptr, kHelp},
    {nullptr, 0, nullptr, 0},
};

// Digits only: no sign, no spaces, no suffix.
bool parseUnsigned(const char* text, uint64_t max, uint64_t& value) {
    if (text[0] < '0' || text[0] > '9') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed > max) {
        return false;
    }
    value = parsed;
    return true;
}

bool parseFrequency(const char* text, uint64_t& hz) {
    uint8_t digits[4];
    return parseUnsigned(text, UINT64_MAX, hz) && FT847::encodeFrequency(hz, digits);
}

bool parseMode(const char* text, int& mode) {
    static const struct {
        const char* name;
        uint8_t code;
    } modes[] = {
        {"lsb", FT847::kModeLsb}, {"usb", FT847::kModeUsb}, {"cw", FT847::kModeCw},
        {"cw-narrow", FT847::kModeCwNarrow}, {"fm", FT847::kModeFm},
    };
    for (const auto& m : modes) {
        if (strcmp(text, m.name) == 0) {
            mode = m.code;
            return true;
        }
    }
    return false;
}

bool parseTone(const char* text, double& hz) {
    if (strcmp(text, "off") == 0) {
        hz = 0;
        return true;
    }
    char* end = nullptr;
    const double parsed = strtod(text, &end);
    uint8_t code;
    if (end == text || *end != '\0' || !FT847::encodeTone(parsed, code)) {
        return false;
    }
    hz = parsed;
    return true;
}

}  // namespace

ParseResult parseStationOptions(int argc, char** argv, StationOptions& options,
                                std::string& error) {
    opterr = 0;  // the program names the problem itself, in one line
    optind = 1;
    for (;;) {
        const int previous = optind;
        const int id = getopt_long(argc, argv, ":p:b:h", kOptions, nullptr);
        if (id == -1) {
            break;
        }
        const std::string value = optarg != nullptr ? optarg : "";
        uint64_t number = 0;
        switch (id) {
        case kPort:
            options.port = value;
            break;
        case kBaud:
            if (!parseUnsigned(optarg, UINT32_MAX, number) ||
                !(number == 4800 || number == 9600 || number == 57600)) {
                error = "baud rate '" + value + "' is not one of 4800, 9600, 57600";
                return ParseResult::Bad;
            }
            options.baud = static_cast<uint32_t>(number);
            break;
        case kRxFreq:
        case kTxFreq:
            if (!parseFrequency(optarg, number)) {
                error = "frequency '" + value + "' is not a whole number of Hz from 10 to 999999990";
                return ParseResult::Bad;
            }
            (id == kRxFreq ? options.rxHz : options.txHz) = number;
            break;
        case kRxMode:
        case kTxMode:
            if (!parseMode(optarg, id == kRxMode ? options.rxMode : options.txMode)) {
                error = "mode '" + value + "' is not one of lsb, usb, cw, cw-narrow, fm";
                return ParseResult::Bad;
            }
            break;
        case kTone:
            if (!parseTone(optarg, options.toneHz)) {
                error = "tone '" + value + "' is not a CTCSS tone of the FT-847 (67.0 to 250.3 Hz) or off";
                return ParseResult::Bad;
            }
            options.setTone = true;
            break;
        case kPollMs:
            if (!parseUnsigned(optarg, 3600000, number) || (number != 0 && number < 100)) {
                error = "poll interval '" + value + "' is not 0 (off) or 100 to 3600000 ms";
                return ParseResult::Bad;
            }
            options.pollMs = static_cast<uint32_t>(number);
            break;
        case kWaitForPort:
            options.waitForPort = true;
            break;
        case kHelp:
            return ParseResult::Help;
        case ':':
            error = std::string("option '") + argv[previous] + "' needs a value";
            return ParseResult::Bad;
        default:
            error = std::string("unknown option '") + argv[previous] + "'";
            return ParseResult::Bad;
        }
    }
    if (optind < argc) {
        error = std::string("unexpected argument '") + argv[optind] + "'";
        return ParseResult::Bad;
    }
    if (options.port.empty()) {
        error = "--port PATH is required";
        return ParseResult::Bad;
    }
    return ParseResult::Run;
}
