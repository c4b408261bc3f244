// The console's printf for the size images: it writes the format text and drops the arguments.
// What formatting costs is the firmware's choice of C library and is measured on its own
// (ConsoleFormatted.cpp), so that it stays out of the driver's figure.

#include <stdarg.h>

#include "Log.h"

void Log::printf(const char* format, ...) { print(format); }
