#include "ServiceNotifier.h"

#include <errno.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "CommandLine.h"

namespace {

// Digits only, above zero.
bool positiveNumber(const char* text, uint64_t& value) {
    return text != nullptr && parseWholeNumber(text, UINT64_MAX, value) && value > 0;
}

}  // namespace

ServiceNotifier::Environment ServiceNotifier::fromProcess() {
    return {getenv("NOTIFY_SOCKET"), getenv("WATCHDOG_USEC"), getenv("WATCHDOG_PID"),
            static_cast<long>(getpid())};
}

ServiceNotifier::ServiceNotifier(const Environment& environment, uint64_t nowUs,
                                 Complaint complaint)
    : complain(std::move(complaint)), lastPingUs(nowUs) {
    const char* name = environment.notifySocket;
    if (name == nullptr || name[0] == '\0') {
        return;
    }
    std::string problem;
    if (!open(name, problem)) {
        tell(problem);
        return;
    }
    // The watchdog is this process's unless systemd names another one (a service whose main
    // process is not the one systemd started).
    uint64_t interval = 0;
    uint64_t pid = 0;
    const bool forThisProcess =
        environment.watchdogPid == nullptr ||
        (positiveNumber(environment.watchdogPid, pid) &&
         pid == static_cast<uint64_t>(environment.pid));
    if (forThisProcess && positiveNumber(environment.watchdogUsec, interval)) {
        watchdogIntervalUs = interval;
    }
}

ServiceNotifier::~ServiceNotifier() {
    if (fd >= 0) {
        close(fd);
    }
}

bool ServiceNotifier::open(const char* name, std::string& problem) {
    const size_t length = strlen(name);
    // A path ends in a NUL inside sun_path; an abstract name is its bytes after a leading NUL.
    if ((name[0] != '/' && name[0] != '@') || length < 2 || length >= sizeof address.sun_path) {
        problem = "NOTIFY_SOCKET " + quoted(name) +
                  " is not a socket path or an abstract socket name; systemd is not notified";
        return false;
    }
    shownName = visible(name);
    fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        problem = "cannot notify systemd at " + shownName + ": " + strerror(errno);
        return false;
    }
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path, name, length);
    addressSize = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length + 1);
    if (name[0] == '@') {
        address.sun_path[0] = '\0';
        addressSize = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);
    }
    return true;
}

void ServiceNotifier::ready(uint64_t nowUs) {
    owedState = "READY=1";
    serve(nowUs);
}

void ServiceNotifier::reloading(uint64_t nowUs) {
    owedState = "RELOADING=1\nMONOTONIC_USEC=" + std::to_string(nowUs);
    serve(nowUs);
}

void ServiceNotifier::stopping(uint64_t nowUs) {
    owedState = "STOPPING=1";
    serve(nowUs);
}

void ServiceNotifier::status(const std::string& text) {
    wantedStatus = text.substr(0, text.find('\n'));
}

void ServiceNotifier::serve(uint64_t nowUs) {
    if (!active() || nowUs < retryAtUs) {
        return;
    }
    const bool ping = watchdogIntervalUs != 0 && nowUs - lastPingUs >= watchdogIntervalUs / 2;
    const bool statusDue = statusWaiting() &&
                           (!statusEverSent || nowUs - statusSentUs >= kStatusGapUs);
    std::string message = owedState;
    for (const std::string& line :
         {ping ? std::string("WATCHDOG=1") : std::string(),
          statusDue ? "STATUS=" + wantedStatus : std::string()}) {
        if (!line.empty()) {
            message += (message.empty() ? "" : "\n") + line;
        }
    }
    if (message.empty()) {
        return;
    }
    if (!send(message)) {
        retryAtUs = nowUs + kRetryUs;
        return;
    }
    owedState.clear();
    if (ping) {
        lastPingUs = nowUs;
    }
    if (statusDue) {
        sentStatus = wantedStatus;
        statusSentUs = nowUs;
        statusEverSent = true;
    }
}

uint64_t ServiceNotifier::usUntilDue(uint64_t nowUs) const {
    if (!active()) {
        return kNever;
    }
    const auto until = [nowUs](uint64_t atUs) { return atUs > nowUs ? atUs - nowUs : 0; };
    uint64_t due = owedState.empty() ? kNever : 0;
    if (watchdogIntervalUs != 0) {
        due = std::min(due, until(lastPingUs + watchdogIntervalUs / 2));
    }
    if (statusWaiting()) {
        due = std::min(due, statusEverSent ? until(statusSentUs + kStatusGapUs) : 0);
    }
    return due == kNever ? kNever : std::max(due, until(retryAtUs));
}

// False when systemd's queue is full for now: send it again later. A message that failed for
// good (no one listens any more) is dropped, so that the loop does not try it on every pass.
bool ServiceNotifier::send(const std::string& message) {
    const ssize_t sent = sendto(fd, message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&address), addressSize);
    if (sent >= 0) {
        complained = false;
        return true;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS || errno == EINTR) {
        return false;
    }
    tell("cannot notify systemd at " + shownName + ": " + strerror(errno));
    return true;
}

void ServiceNotifier::tell(const std::string& line) {
    if (!complained && complain) {
        complained = true;
        complain(line);
    }
}
