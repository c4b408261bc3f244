#pragma once

#include <poll.h>
#include <signal.h>
#include <stdint.h>

#include <functional>
#include <vector>

// The one poll() loop of a Linux program. Every pass, each part of the program says which
// descriptors it watches (watch()) and when it next has something to do by itself
// (wakeWithinMs(), wakeWithinUs()). wait() then sleeps until a descriptor is ready, the earliest
// of those times has come, or SIGINT or SIGTERM arrives. It runs the handlers of the ready
// descriptors and forgets the pass. An idle program sleeps.
//
//     while (!loop.stopRequested()) {
//         ... do what is due ...
//         loop.watch(port.descriptor(), POLLIN, [&](short revents) { port.onReady(revents); });
//         loop.wakeWithinMs(msUntilNextStep);
//         loop.wait();
//     }
//
// SIGINT and SIGTERM are blocked except inside the wait, so one that arrives at any moment ends
// the very next wait: there is no window in which it could be missed. SIGPIPE is ignored, so a
// reader that went away is an EPIPE error of the write, not the end of the program.
//
// A daemon's SIGHUP (systemctl reload) asks it to read its configuration again. A loop made with
// OnHangUp::Reload takes a SIGHUP that a process sent the same way: it ends the wait, and
// takeReloadRequest() tells. The SIGHUP of a terminal's hang-up still ends the program, as
// SIGTERM does: the one the kernel sends, and the one the shell that owned the terminal passes
// on to its jobs once the terminal is gone. A program that lost its terminal without a word
// (started in the background and disowned) takes a later SIGHUP as a reload. A SIGHUP that the
// program's parent ignored (nohup) stays ignored. Without OnHangUp::Reload, SIGHUP is left as
// it is, and ends the program.
class EventLoop {
public:
    using Handler = std::function<void(short revents)>;
    enum class OnHangUp : uint8_t { End, Reload };

    explicit EventLoop(OnHangUp hangUp = OnHangUp::End);
    ~EventLoop();

    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // For the coming wait: run `onReady` when `fd` reports any of `events` (POLLHUP and POLLERR
    // are always reported). A negative fd is left out.
    void watch(int fd, short events, Handler onReady);
    // For the coming wait: return within this time at the latest.
    void wakeWithinUs(uint64_t us);
    void wakeWithinMs(uint64_t ms) { wakeWithinUs(ms * 1000u); }

    void wait();
    bool stopRequested() const;
    // True once for every SIGHUP (or several that came together) since the last call.
    bool takeReloadRequest();

    // Microseconds of the monotonic clock.
    static uint64_t nowUs();

private:
    std::vector<pollfd> watched;
    std::vector<Handler> handlers;
    bool hasDeadline = false;
    uint64_t deadlineUs = 0;
    sigset_t previous{};
    sigset_t duringWait{};
    bool handlesHangUp = false;
    bool startedOnTerminal = false;
    struct sigaction oldInt {};
    struct sigaction oldTerm {};
    struct sigaction oldPipe {};
    struct sigaction oldHangUp {};
};
