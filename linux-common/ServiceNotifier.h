#pragma once

#include <stdint.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <functional>
#include <string>

// Tells systemd how a service stands, by its notification protocol (sd_notify(3)): every message
// is one datagram of "NAME=value" assignments, one a line, sent to the AF_UNIX datagram socket
// that $NOTIFY_SOCKET names, a path or, when it starts with '@', a name in the abstract
// namespace. The protocol is a few lines of socket code, so the program needs no libsystemd.
//
// - ready(), reloading() and stopping() say where the service is in its life.
// - status() is the text `systemctl status` shows. It goes when it differs from the text sent
//   last, at most once every kStatusGapUs; the newest text waits out the gap.
// - With a watchdog ($WATCHDOG_USEC, for this process unless $WATCHDOG_PID names another),
//   serve() sends WATCHDOG=1 every half of its interval. The main loop calls serve() on every
//   pass, and sleeps no longer than usUntilDue(): a loop that stops serving stops the pings, and
//   systemd restarts the service.
//
// Without $NOTIFY_SOCKET nothing is opened, sent or woken up for. Nothing here blocks: the
// socket is non-blocking, and a message systemd's queue does not take is sent again
// kRetryUs later, with the newest state and status.
class ServiceNotifier {
public:
    static constexpr uint64_t kStatusGapUs = 250000;
    static constexpr uint64_t kRetryUs = 250000;
    static constexpr uint64_t kNever = UINT64_MAX;

    // What systemd gives the service, as the environment holds it (nullptr: not set).
    struct Environment {
        const char* notifySocket;
        const char* watchdogUsec;
        const char* watchdogPid;
        long pid;  // of this process
    };
    static Environment fromProcess();

    // `complain` gets a line, without a newline, for a problem worth telling the operator: a
    // socket that cannot be made or written to. It is said once, until a message goes through.
    using Complaint = std::function<void(const std::string& line)>;

    ServiceNotifier(const Environment& environment, uint64_t nowUs, Complaint complain);
    ~ServiceNotifier();
    ServiceNotifier(const ServiceNotifier&) = delete;
    ServiceNotifier& operator=(const ServiceNotifier&) = delete;

    bool active() const { return fd >= 0; }
    // The interval systemd expects pings within; 0 without a watchdog.
    uint64_t watchdogUs() const { return watchdogIntervalUs; }

    // READY=1: started, or done reloading.
    void ready(uint64_t nowUs);
    // RELOADING=1 with the time of the request on the monotonic clock, as systemd wants it.
    void reloading(uint64_t nowUs);
    // STOPPING=1: the service is ending by its own choice.
    void stopping(uint64_t nowUs);
    // STATUS=text, sent by serve(); a newline in the text ends it.
    void status(const std::string& text);

    // Sends what is due: a ping, a status that waited out its gap, a message to send again.
    void serve(uint64_t nowUs);
    // Microseconds until serve() has something to send, or kNever.
    uint64_t usUntilDue(uint64_t nowUs) const;

private:
    bool open(const char* name, std::string& problem);
    bool send(const std::string& message);
    void tell(const std::string& line);
    bool statusWaiting() const { return !wantedStatus.empty() && wantedStatus != sentStatus; }

    int fd = -1;
    sockaddr_un address{};
    socklen_t addressSize = 0;
    std::string shownName;  // $NOTIFY_SOCKET, for a complaint
    Complaint complain;
    bool complained = false;
    uint64_t watchdogIntervalUs = 0;
    uint64_t lastPingUs = 0;
    std::string owedState;  // the newest state message not yet taken
    std::string wantedStatus;
    std::string sentStatus;
    bool statusEverSent = false;
    uint64_t statusSentUs = 0;
    uint64_t retryAtUs = 0;  // after a message systemd's queue did not take
};
