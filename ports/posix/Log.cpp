#include "Log.h"

#include <stdarg.h>
#include <stdio.h>
#include <sys/time.h>
#include <time.h>

#include <string>

#include "LineOutput.h"
#include "StandardStreams.h"

Log Serial;

// A line longer than the buffer is cut; its end still ends the line.
void Log::write(const char* text) {
    // Under systemd the journal stamps the line: a second stamp would only be noise.
    static const bool stamped = !writesToJournal(2);
    for (const char* c = text; *c != '\0'; ++c) {
        if (length == 0 && stamped) {
            timeval now{};
            gettimeofday(&now, nullptr);
            tm local{};
            localtime_r(&now.tv_sec, &local);
            const int stamp = snprintf(line, sizeof line, "%02d:%02d:%02d.%03ld ", local.tm_hour,
                                       local.tm_min, local.tm_sec,
                                       static_cast<long>(now.tv_usec / 1000));
            length = stamp > 0 ? static_cast<size_t>(stamp) : 0;
        }
        if (*c == '\n') {
            endLine();
        } else if (length < sizeof line - 2) {
            line[length++] = *c;
        }
    }
}

void Log::endLine() {
    line[length++] = '\n';
    if (to != nullptr) {
        (void)to->post(std::string(line, length));
    } else {
        fwrite(line, 1, length, stderr);
        fflush(stderr);
    }
    length = 0;
}

void Log::print(const char* text) { write(text); }

void Log::println(const char* text) {
    write(text);
    write("\n");
}

void Log::printf(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    write(text);
}
