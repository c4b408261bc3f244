#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// The command-line conventions of the Linux programs, which take options and no other
// arguments: --name VALUE, --name=VALUE, any unambiguous prefix of a name, and -x VALUE or
// -xVALUE for an option with a letter. Problems are named in one line, with the user's text
// quoted by quoted() so that no control character reaches the terminal.

enum class ParseResult { Run, Help, Bad };

struct OptionSpec {
    const char* name;  // without the dashes
    char letter;       // 0: none
    bool takesValue;
};

class OptionReader {
public:
    static constexpr int kDone = -1;
    static constexpr int kBad = -2;

    OptionReader(int argc, char** argv, const OptionSpec* options, size_t count);

    // The index in `options` of the next option, kDone after the last, or kBad with error().
    // A value that is itself an option (`--port --baud 4800`) counts as missing.
    int next();
    // The value of the option next() returned, if it takes one.
    const char* value() const { return currentValue; }
    const std::string& error() const { return problem; }

private:
    int bad(const std::string& text);
    bool looksLikeOption(const char* word) const;

    int argc;
    char** argv;
    const OptionSpec* options;
    size_t count;
    int index = 1;
    const char* currentValue = nullptr;
    std::string writtenAs;  // the option as the user wrote it, without any value: "--rx-f"
    std::string problem;
};

// `text` with control characters as C escapes (\n, \x1b) and cut after 64 characters, so
// that it stays on one line and cannot steer the terminal.
std::string visible(const char* text);
// The same in single quotes, for a value in an error line.
std::string quoted(const char* text);

// Digits only, no sign, no spaces, at most `max`.
bool parseWholeNumber(const char* text, uint64_t max, uint64_t& value);

// A CAT baud rate of the FT-847: 4800, 9600 or 57600. Otherwise false, with `error` naming the
// value in one line.
bool parseBaud(const char* text, uint32_t& baud, std::string& error);

// Digits, optionally a point and more digits: "67", "67.0". No sign, exponent or hex.
bool parseDecimal(const char* text, double& value);
