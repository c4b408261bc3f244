#pragma once

#include <stddef.h>

class LineOutput;

// The console: the driver's lines go to standard error, each behind a wall-clock time stamp
// (not when standard error is the journal, which stamps them itself).
// Once the program attaches a LineOutput, whole lines go through it and never block.
class Log {
public:
    void print(const char* text);
    void println(const char* text);
    void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

    void attach(LineOutput* output) { to = output; }

private:
    void write(const char* text);
    void endLine();

    LineOutput* to = nullptr;
    char line[320] = {};
    size_t length = 0;
};

extern Log Serial;
