#pragma once

#include <stdio.h>

// The console: the driver's lines go to standard error, each behind a wall-clock time stamp.
class Log {
public:
    explicit Log(FILE* out) : stream(out) {}

    void print(const char* text);
    void println(const char* text);
    void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
    void write(const char* text);

    FILE* stream;
    bool atLineStart = true;
};

extern Log Serial;
