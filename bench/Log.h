#pragma once

// The debug console. On the bench it discards everything, so that an outcome depends only on
// the driver and the simulated UART.
class Log {
public:
    template <typename T>
    void print(const T&) {}

    template <typename T>
    void println(const T&) {}

    template <typename... Args>
    void printf(const char*, const Args&...) {}
};

extern Log Serial;
