#pragma once

// The board's debug console. The format attribute makes the compiler check every format string
// against its arguments for this target, where uint32_t is unsigned long and int is 32 bits.
class Log {
public:
    void print(const char* text);
    void println(const char* text);
    void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

extern Log Serial;
