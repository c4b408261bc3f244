// The console's printf as a firmware writes it with its C library: vsnprintf into a line buffer.
// Linked with integer-only formatting and with floating-point formatting, it measures what the
// driver's "%.1f" tone line costs a firmware that wants the number printed.

#include <stdarg.h>
#include <stdio.h>

#include "Log.h"

void Log::printf(const char* format, ...) {
    char line[96];
    va_list arguments;
    va_start(arguments, format);
    (void)vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    print(line);
}
