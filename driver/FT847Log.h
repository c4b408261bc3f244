#pragma once

// The driver's progress lines, warnings and errors go to the board's console, Serial (Log.h).
//
// A board without a console builds the driver with FT847_NO_LOG defined (the CMake option
// FT847_NO_LOG): every line is compiled out together with its text, the driver needs neither
// Log.h nor Serial, and it sends, waits and fails exactly as it does otherwise. The arguments of
// a line that is compiled out stay in an unevaluated operand, so the compiler still checks them
// and no variable or parameter becomes unused. FT847_LOG_TEXT marks a text that only a log line
// shows, such as the reason fail() logs; without the log it is a null pointer.

#if defined(FT847_NO_LOG)

namespace ft847 {
template <typename... Args>
constexpr int unlogged(const Args&...) {
    return 0;
}
}  // namespace ft847

#define FT847_PRINT(text) static_cast<void>(sizeof(::ft847::unlogged(text)))
#define FT847_PRINTLN(text) static_cast<void>(sizeof(::ft847::unlogged(text)))
#define FT847_PRINTF(...) static_cast<void>(sizeof(::ft847::unlogged(__VA_ARGS__)))
#define FT847_LOG_TEXT(text) static_cast<const char*>(nullptr)

#else

#include "Log.h"

#define FT847_PRINT(text) Serial.print(text)
#define FT847_PRINTLN(text) Serial.println(text)
#define FT847_PRINTF(...) Serial.printf(__VA_ARGS__)
#define FT847_LOG_TEXT(text) text

#endif
