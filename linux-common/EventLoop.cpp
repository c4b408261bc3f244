#include "EventLoop.h"

#include <time.h>

namespace {

volatile sig_atomic_t stopSignal = 0;
volatile sig_atomic_t reloadSignal = 0;

void noteStop(int) { stopSignal = 1; }
void noteReload(int) { reloadSignal = 1; }

bool ignored(int signal) {
    struct sigaction current {};
    return sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace

EventLoop::EventLoop(OnHangUp hangUp) {
    stopSignal = 0;
    reloadSignal = 0;
    handlesHangUp = hangUp == OnHangUp::Reload && !ignored(SIGHUP);
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    if (handlesHangUp) {
        sigaddset(&blocked, SIGHUP);
    }
    sigprocmask(SIG_BLOCK, &blocked, &previous);
    duringWait = previous;
    sigdelset(&duringWait, SIGINT);
    sigdelset(&duringWait, SIGTERM);
    if (handlesHangUp) {
        sigdelset(&duringWait, SIGHUP);
    }

    struct sigaction stop {};
    stop.sa_handler = noteStop;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGINT, &stop, &oldInt);
    sigaction(SIGTERM, &stop, &oldTerm);
    if (handlesHangUp) {
        struct sigaction reload {};
        reload.sa_handler = noteReload;
        sigemptyset(&reload.sa_mask);
        sigaction(SIGHUP, &reload, &oldHangUp);
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &oldPipe);
}

EventLoop::~EventLoop() {
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    sigaction(SIGPIPE, &oldPipe, nullptr);
    if (handlesHangUp) {
        sigaction(SIGHUP, &oldHangUp, nullptr);
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
}

uint64_t EventLoop::nowUs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000u +
           static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

void EventLoop::watch(int fd, short events, Handler onReady) {
    if (fd < 0) {
        return;
    }
    watched.push_back(pollfd{fd, events, 0});
    handlers.push_back(std::move(onReady));
}

void EventLoop::wakeWithinUs(uint64_t us) {
    const uint64_t at = nowUs() + us;
    if (!hasDeadline || at < deadlineUs) {
        deadlineUs = at;
        hasDeadline = true;
    }
}

bool EventLoop::stopRequested() const { return stopSignal != 0; }

bool EventLoop::takeReloadRequest() {
    if (reloadSignal == 0) {
        return false;
    }
    reloadSignal = 0;
    return true;
}

void EventLoop::wait() {
    // Handlers may already watch for the next pass.
    std::vector<pollfd> fds;
    std::vector<Handler> run;
    fds.swap(watched);
    run.swap(handlers);
    const bool limited = hasDeadline;
    hasDeadline = false;
    if (stopSignal != 0 || reloadSignal != 0) {
        return;
    }
    timespec timeout{};
    if (limited) {
        const uint64_t now = nowUs();
        const uint64_t left = deadlineUs > now ? deadlineUs - now : 0;
        timeout.tv_sec = static_cast<time_t>(left / 1000000u);
        timeout.tv_nsec = static_cast<long>(left % 1000000u) * 1000L;
    }
    if (ppoll(fds.data(), fds.size(), limited ? &timeout : nullptr, &duringWait) <= 0) {
        return;  // the time has come, or a signal (EINTR)
    }
    for (size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents != 0) {
            run[i](fds[i].revents);
        }
    }
}
