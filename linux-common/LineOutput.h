#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// Lines of text for a descriptor that may be slow or stuck: a full pipe, a terminal stopped with
// ^S, a reader that went away, a network client that never reads. Whole lines wait in a bounded
// buffer and go out as the descriptor takes them; a line that does not fit is dropped whole and
// counted. Nothing here ever blocks, so a slow reader never stalls the radio.
//
// The descriptor must not block (StandardStream, or a socket with O_NONBLOCK); SIGPIPE must be
// ignored, as EventLoop does.
class LineOutput {
public:
    // `dropNotice`, if given, starts a line written once the buffer has emptied after drops:
    // "<dropNotice>12 lines dropped".
    LineOutput(int fd, size_t capacity, const char* dropNotice = nullptr);

    // Queues `text`, which ends in a newline, and writes what the descriptor takes at once.
    // False when it was dropped: no room, or the reader has gone.
    bool post(const std::string& text);

    // Something is waiting: watch the descriptor for POLLOUT and call writeReady().
    bool pending() const { return !buffer.empty() && !gone; }
    void writeReady();

    // At exit: waits up to `timeoutMs` for the descriptor to take what is left; what it does
    // not take counts as dropped.
    void finish(int timeoutMs);

    int descriptor() const { return fd; }
    uint64_t dropped() const { return droppedLines; }
    // The reader went away (EPIPE) or writing failed; from then on every line is dropped.
    bool broken() const { return gone; }

private:
    void writeSome();

    int fd;
    size_t capacity;
    const char* notice;
    std::string buffer;
    bool gone = false;
    uint64_t droppedLines = 0;
    uint64_t unreported = 0;
};
