#include "LineOutput.h"

#include <errno.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

LineOutput::LineOutput(int descriptor, size_t bytes, const char* dropNotice)
    : fd(descriptor), capacity(bytes), notice(dropNotice) {}

bool LineOutput::post(const std::string& text) {
    if (!gone && buffer.size() + text.size() > capacity) {
        writeSome();  // the descriptor may have taken more since the last pass
    }
    if (gone || buffer.size() + text.size() > capacity) {
        ++droppedLines;
        ++unreported;
        return false;
    }
    buffer += text;
    writeSome();
    return !gone;
}

void LineOutput::writeReady() { writeSome(); }

// Writes what the descriptor takes now. Once everything queued is out, the count of lines
// dropped since the last notice follows, so the reader learns of the gap where it happened.
void LineOutput::writeSome() {
    for (;;) {
        if (buffer.empty() && unreported > 0 && notice != nullptr && !gone) {
            char line[96];
            snprintf(line, sizeof line, "%s%llu lines dropped\n", notice,
                     static_cast<unsigned long long>(unreported));
            unreported = 0;
            buffer = line;
        }
        if (buffer.empty() || gone) {
            return;
        }
        // At most PIPE_BUF bytes: a pipe that poll() calls writable takes that much whole.
        const size_t chunk = buffer.size() < 4096 ? buffer.size() : 4096;
        const ssize_t took = ::write(fd, buffer.data(), chunk);
        if (took > 0) {
            buffer.erase(0, static_cast<size_t>(took));
            continue;
        }
        if (took < 0 && errno == EINTR) {
            continue;
        }
        if (took < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            // The reader has gone (EPIPE) or the descriptor failed: what is queued is lost too.
            gone = true;
            for (const char c : buffer) {
                droppedLines += c == '\n' ? 1 : 0;
            }
            buffer.clear();
        }
        return;
    }
}

void LineOutput::finish(int timeoutMs) {
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    writeReady();
    while (pending()) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long elapsedMs =
            (now.tv_sec - start.tv_sec) * 1000L + (now.tv_nsec - start.tv_nsec) / 1000000L;
        pollfd watch{fd, POLLOUT, 0};
        if (elapsedMs >= timeoutMs || poll(&watch, 1, static_cast<int>(timeoutMs - elapsedMs)) <= 0) {
            break;
        }
        writeReady();
    }
    // What is still queued never reaches the reader.
    for (const char c : buffer) {
        droppedLines += c == '\n' ? 1 : 0;
    }
    buffer.clear();
}
