#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "ConfigFile.h"

// What the station program was asked to do, from its command line.
struct StationOptions {
    std::string port;
    uint32_t baud = 4800;
    uint64_t rxHz = 0;   // 0: leave the SAT RX frequency as it is
    uint64_t txHz = 0;   // 0: leave the SAT TX frequency as it is
    int rxMode = -1;     // mode code, -1: leave as it is
    int txMode = -1;
    bool setTone = false;
    double toneHz = 0;   // with setTone: 0 switches the encoder off
    uint32_t pollMs = 1000;  // 0: no polling
    bool waitForPort = false;
    // The rigctld server for satellite trackers: off unless an address or port is given.
    bool rigctld = false;
    std::string rigctldAddress = "127.0.0.1";
    std::string rigctldPort;  // digits, 0 to 65535; 0 takes a free port
    bool rigctldStrict = false;  // radio commands fail with RPRT -20 while the radio is away
};

enum class ParseResult { Run, Help, Bad };

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
