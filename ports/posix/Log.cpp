#include "Log.h"

#include <stdarg.h>
#include <sys/time.h>
#include <time.h>

Log Serial(stderr);

void Log::write(const char* text) {
    for (const char* c = text; *c != '\0'; ++c) {
        if (atLineStart) {
            timeval now{};
            gettimeofday(&now, nullptr);
            tm local{};
            localtime_r(&now.tv_sec, &local);
            fprintf(stream, "%02d:%02d:%02d.%03ld ", local.tm_hour, local.tm_min, local.tm_sec,
                    static_cast<long>(now.tv_usec / 1000));
            atLineStart = false;
        }
        const char* end = c;
        while (*end != '\0' && *end != '\n') {
            ++end;
        }
        const bool lineEnds = *end == '\n';
        fwrite(c, 1, static_cast<size_t>(end - c) + (lineEnds ? 1 : 0), stream);
        atLineStart = lineEnds;
        c = lineEnds ? end : end - 1;
    }
    fflush(stream);
}

void Log::print(const char* text) { write(text); }

void Log::println(const char* text) {
    write(text);
    write("\n");
}

void Log::printf(const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    write(line);
}
