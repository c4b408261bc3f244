#pragma once

#include <stddef.h>

#include <functional>
#include <string>
#include <vector>

#include "CommandLine.h"

// The arguments of a Linux program: its command line and, with `--config FILE`, a
// configuration file of its long options, one per line:
//
//     # The station beside Gpredict
//     port = /dev/ttyUSB0
//     baud = 57600        # the radio's CAT rate
//     wait-for-port = yes
//
// A line is `name = value`, with the option's full name without its dashes. Blank lines are
// skipped, and `#` at the start of a line or after a blank starts a comment. An option that
// takes no value is `yes` or `no`. --help, --config, --check and --version belong on the command
// line only. The file's options go before the command line's, so the command line overrides
// them.
//
// --version is taken here too, so that every program answers it the same way. So is --check of
// a program that takes --config: it asks to check the options and the file, and run nothing.
class ProgramArguments {
public:
    enum class Outcome { Run, Version, Bad };

    // The longest configuration file read; a longer one is refused, not cut.
    static constexpr size_t kMaxFileBytes = 64 * 1024;

    // Checks one option of the file on its own, written "--name=value" or "--name": false with
    // the problem in `error`. The program's parser has the last word on every option; this is
    // how a bad value is named with its line.
    using LineCheck = std::function<bool(const std::string& argument, std::string& error)>;

    // `options` are the program's own. Without `checkLine` the program takes no --config. On
    // Bad, `error` names the problem in one line: "FILE:LINE: ..." for a line of the file.
    Outcome read(int argc, char** argv, const OptionSpec* options, size_t count,
                 const LineCheck& checkLine, std::string& error);

    // For the program's parser: its name, the file's options, then the command line's, each
    // as "--name=value" or "--name". Valid while this object lives.
    int argc() const { return static_cast<int>(words.size()); }
    char** argv() { return pointers.data(); }
    // --check was given: check the options, say what a start would say of them, run nothing.
    bool checkOnly() const { return check; }

private:
    bool readFile(const std::string& path, const OptionSpec* options, size_t count,
                  const LineCheck& checkLine, std::string& error);
    bool readLine(std::string line, const OptionSpec* options, size_t count,
                  const LineCheck& checkLine, std::string& error);

    std::vector<std::string> words;
    std::vector<char*> pointers;
    bool check = false;
};
