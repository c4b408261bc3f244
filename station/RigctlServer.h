#pragma once

#include <poll.h>
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "RigctlSession.h"

// The station's rigctld server: a listening TCP socket and up to kMaxClients tracker
// connections, each with its own session. It never blocks and never waits for the radio: the
// owner's poll() loop watches the descriptors it lists and hands back what became ready.
//
// A client that does not read its replies is not waited for: its replies queue up to
// kOutputLimit bytes, and at that point it is disconnected. A client beyond kMaxClients is
// accepted and closed at once, so that it sees the refusal instead of hanging in the backlog.
class RigctlServer {
public:
    static constexpr size_t kMaxClients = 8;
    static constexpr size_t kOutputLimit = 64 * 1024;

    // What happened to connections, for the station's status lines.
    struct Events {
        size_t accepted = 0;
        size_t refused = 0;      // beyond kMaxClients
        size_t closed = 0;       // quit, hung up, or the socket failed
        size_t overflowed = 0;   // disconnected for not reading
    };

    RigctlServer() = default;
    ~RigctlServer();
    RigctlServer(const RigctlServer&) = delete;
    RigctlServer& operator=(const RigctlServer&) = delete;

    // Binds and listens on address:port (a numeric IPv4 or IPv6 address, or a host name). On
    // failure returns false with `error` naming the reason.
    bool listen(const std::string& address, const std::string& port, std::string& error);
    // The port actually bound (useful with port 0).
    uint16_t port() const { return boundPort; }

    // Appends the descriptors to watch and their events.
    void watch(std::vector<pollfd>& fds) const;
    // Handles what poll() reported for the descriptors watch() appended, starting at `first`.
    void serve(const std::vector<pollfd>& fds, size_t first, RigctlStation& station);

    size_t clients() const { return connections.size(); }
    Events events;

private:
    struct Client {
        int fd = -1;
        RigctlSession session;
        std::string output;
        bool closing = false;  // quit: close once the output is out
    };

    void accept();
    void read(Client& client, RigctlStation& station);
    void flush(Client& client);
    void drop(size_t index);

    int listener = -1;
    uint16_t boundPort = 0;
    std::vector<Client> connections;
};
