#pragma once

#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "ConfigFile.h"

// What the station program was asked to do, from its command line and its configuration file.
// A setting that is not given is left as the radio has it.
struct StationOptions {
    std::string port;
    uint32_t baud = 4800;
    std::optional<uint64_t> rxHz;
    std::optional<uint64_t> txHz;
    std::optional<uint8_t> rxMode;  // the radio's mode code
    std::optional<uint8_t> txMode;
    std::optional<uint16_t> toneTenths;  // the SAT TX CTCSS tone in tenths of Hz; 0: encoder off
    uint32_t pollMs = 1000;  // 0: no polling
    bool waitForPort = false;
    // The rigctld server for satellite trackers, on this port (digits, 0 to 65535; 0 takes a
    // free port): off unless given.
    std::optional<std::string> rigctldPort;
    std::string rigctldAddress = "127.0.0.1";
    bool rigctldStrict = false;  // radio commands fail with RPRT -20 while the radio is away
};

// Parses and checks every argument before anything is opened. On Bad, `error` names the
// problem in one line. `notes` gets a line for each argument that is taken, but not exactly as
// written (a frequency below the radio's 10 Hz step).
ParseResult parseStationOptions(int argc, char** argv, StationOptions& options,
                                std::string& error, std::vector<std::string>& notes);

extern const char* const kStationUsage;

// The station's arguments for parseStationOptions(): the command line, and the options of the
// configuration file that --config names, each line checked on its own so that a bad one is
// named with its line. Also answers --version.
ProgramArguments::Outcome readStationArguments(int argc, char** argv, ProgramArguments& arguments,
                                               std::string& error);
