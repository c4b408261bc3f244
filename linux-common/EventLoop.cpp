#include "EventLoop.h"

#include <errno.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t stopSignal = 0;
volatile sig_atomic_t reloadSignal = 0;
volatile sig_atomic_t hangUpFromSession = 0;
volatile sig_atomic_t ownSession = 0;

void noteStop(int) { stopSignal = 1; }

// Only sets flags. The kernel sends SIGHUP when the controlling terminal hangs up; a process
// sends it to ask for a reload (kill, systemctl reload), and so does the shell that owned a
// terminal that hung up, passing the hang-up on to its jobs. That shell is of the station's own
// session, though not always its leader (`sh -c bash` under script or ssh), and it may be gone
// already, since it exits next: wait() tells its hang-up by the terminal being gone.
void noteHangUp(int, siginfo_t* info, void*) {
    if (info->si_code == SI_KERNEL) {
        stopSignal = 1;
        return;
    }
    const int savedErrno = errno;
    const pid_t session = getsid(info->si_pid);
    if (session == ownSession || (session < 0 && errno == ESRCH)) {
        hangUpFromSession = 1;
    }
    errno = savedErrno;
    reloadSignal = 1;
}

bool ignored(int signal) {
    struct sigaction current {};
    return sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

bool hasControllingTerminal() {
    const int fd = open("/dev/tty", O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    close(fd);
    return true;
}

}  // namespace

EventLoop::EventLoop(OnHangUp hangUp) {
    stopSignal = 0;
    reloadSignal = 0;
    hangUpFromSession = 0;
    handlesHangUp = hangUp == OnHangUp::Reload && !ignored(SIGHUP);
    if (handlesHangUp) {
        ownSession = getsid(0);
        startedOnTerminal = hasControllingTerminal();
    }
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
        reload.sa_sigaction = noteHangUp;
        reload.sa_flags = SA_SIGINFO;
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
    const int ready = ppoll(fds.data(), fds.size(), limited ? &timeout : nullptr, &duringWait);
    if (hangUpFromSession != 0) {
        hangUpFromSession = 0;
        if (startedOnTerminal && !hasControllingTerminal()) {
            reloadSignal = 0;  // the shell passed its terminal's hang-up on
            stopSignal = 1;
        }
    }
    if (ready <= 0) {
        return;  // the time has come, or a signal (EINTR)
    }
    for (size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents != 0) {
            run[i](fds[i].revents);
        }
    }
}
