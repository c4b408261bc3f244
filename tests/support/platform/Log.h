#pragma once

// A console that keeps what the driver writes, so tests can check its lines.

#include <cstdio>
#include <string>

class Log {
public:
    std::string text;

    void print(const char* value) { text += value; }

    void println(const char* value) {
        text += value;
        text += '\n';
    }

    template <typename... Args>
    void printf(const char* format, const Args&... args) {
        char line[256];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
        std::snprintf(line, sizeof line, format, args...);
#pragma GCC diagnostic pop
        text += line;
    }
};

extern Log Serial;
