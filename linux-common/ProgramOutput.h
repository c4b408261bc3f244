#pragma once

#include <stddef.h>

#include <string>

#include "CommandLine.h"
#include "EventLoop.h"
#include "LineOutput.h"
#include "StandardStreams.h"

// Standard output and standard error of a Linux program, each a bounded queue of lines that
// never blocks the program. Call openStandardDescriptors() before constructing it.
class ProgramOutput {
public:
    struct Stream {
        size_t bytes;            // queued at the most; beyond that, lines are dropped
        const char* dropNotice;  // starts the line that counts dropped lines, or nullptr
        const char* called;      // in the count of dropped lines at exit, or nullptr for none
    };

    // `program` starts every error line: "ft847-station: cannot open ...".
    ProgramOutput(const char* program, const Stream& out, const Stream& err);

    LineOutput& out() { return outLines; }
    LineOutput& err() { return errLines; }

    // For the coming wait: a stream with lines queued is written as soon as it takes more.
    void watch(EventLoop& loop);

    // "PROGRAM: TEXT" on standard error.
    void error(const std::string& text);

    // The command line asked for no run: the usage on standard output and status 0 for Help,
    // the problem on standard error and status 2 for Bad. Then finish().
    int endWithoutRunning(ParseResult result, const char* usage, const std::string& problem);

    // At exit: standard output, then standard error, get up to 100 ms each to take what is
    // queued. When both streams are `called` something and lines were dropped, standard error
    // counts them in between: "ft847-station: 2 status lines and 0 log lines could not be
    // written and were dropped". Returns `code`.
    int finish(int code);

private:
    static constexpr int kExitFlushMs = 100;

    const char* program;
    StandardStream standardOutput;
    StandardStream standardError;
    const char* outCalled;
    const char* errCalled;
    LineOutput outLines;
    LineOutput errLines;
};
