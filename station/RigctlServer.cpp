#include "RigctlServer.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>

namespace {

// Bytes the kernel may hold for a client that does not read, besides kOutputLimit of ours.
constexpr int kSocketSendBuffer = 16 * 1024;
constexpr size_t kReadChunk = 4096;
// How long accepting waits after the station ran out of descriptors.
constexpr uint64_t kAcceptPauseUs = 1000000;
// Keepalive: the first probe after 30 s without a segment, then every 10 s; the third
// unanswered probe ends the connection. No TCP user timeout: the kernel would also end a
// connection whose peer is there but does not read (its window stays shut), and such a client
// (Look4Sat) keeps its place until kOutputLimit of its replies wait.
constexpr int kKeepIdleS = 30;
constexpr int kKeepIntervalS = 10;
constexpr int kKeepProbes = 3;

void closeDescriptor(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

RigctlServer::~RigctlServer() {
    for (auto& client : connections) {
        closeDescriptor(client->fd);
    }
    closeDescriptor(listener);
}

bool RigctlServer::listen(const std::string& address, const std::string& port,
                          std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int looked = getaddrinfo(address.c_str(), port.c_str(), &hints, &found);
    if (looked != 0) {
        error = gai_strerror(looked);
        return false;
    }
    error.clear();
    for (addrinfo* candidate = found; candidate != nullptr; candidate = candidate->ai_next) {
        const int fd = socket(candidate->ai_family,
                              candidate->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            error = strerror(errno);
            continue;
        }
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (bind(fd, candidate->ai_addr, candidate->ai_addrlen) != 0 ||
            ::listen(fd, static_cast<int>(kMaxClients)) != 0) {
            error = strerror(errno);
            ::close(fd);
            continue;
        }
        sockaddr_storage bound{};
        socklen_t length = sizeof bound;
        getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
        boundPort = ntohs(bound.ss_family == AF_INET6
                              ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                              : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
        listener = fd;
        break;
    }
    freeaddrinfo(found);
    return listener >= 0;
}

size_t RigctlServer::clients() const {
    size_t open = 0;
    for (const auto& client : connections) {
        open += client->fd >= 0 ? 1 : 0;
    }
    return open;
}

void RigctlServer::report(const std::string& line) {
    if (statusLines != nullptr) {
        statusLines->post("station: " + line + "\n");
    }
}

void RigctlServer::watch(EventLoop& loop, RigctlStation& station) {
    const uint64_t now = EventLoop::nowUs();
    for (size_t i = connections.size(); i-- > 0;) {
        Client& client = *connections[i];
        // A client that quit gets a while to take its last replies, not its slot for good.
        if (client.fd >= 0 && client.closing && now - client.quitAtUs >= quitGraceUs) {
            close(client, "left without taking its last replies");
        }
        if (client.fd < 0) {
            connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    if (now >= acceptPausedUntilUs) {
        loop.watch(listener, POLLIN, [this](short) { accept(); });
    } else {
        loop.wakeWithinUs(acceptPausedUntilUs - now);
    }
    for (const auto& owned : connections) {
        if (owned->closing) {
            loop.wakeWithinUs(owned->quitAtUs + quitGraceUs - now);
        }
    }
    for (auto& owned : connections) {
        Client* client = owned.get();
        // Nothing more is read from a client that quit; what it is owed still goes out.
        const short wanted = static_cast<short>((client->closing ? 0 : POLLIN) |
                                                (client->output.empty() ? 0 : POLLOUT));
        loop.watch(client->fd, wanted, [this, client, &station](short revents) {
            serve(*client, revents, station);
        });
    }
}

void RigctlServer::accept() {
    for (;;) {
        sockaddr_storage from{};
        socklen_t length = sizeof from;
        const int fd = accept4(listener, reinterpret_cast<sockaddr*>(&from), &length,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // Out of descriptors: the waiting client stays in the backlog, and the
                // listener stays readable; look again in a while instead of at once.
                acceptPausedUntilUs = EventLoop::nowUs() + kAcceptPauseUs;
                if (!acceptPauseReported) {
                    acceptPauseReported = true;
                    report(std::string("cannot accept a tracker: ") + strerror(errno));
                }
            }
            return;  // nothing more waiting, or the client gave up meanwhile
        }
        acceptPauseReported = false;
        char host[INET6_ADDRSTRLEN] = "?";
        char service[8] = "?";
        getnameinfo(reinterpret_cast<sockaddr*>(&from), length, host, sizeof host, service,
                    sizeof service, NI_NUMERICHOST | NI_NUMERICSERV);
        const std::string peer = std::string(host) + " port " + service;
        if (clients() >= kMaxClients && !evictForNewcomer(peer)) {
            ::close(fd);
            ++events.refused;
            report("tracker " + peer + " refused: " + std::to_string(kMaxClients) +
                   " trackers are connected");
            continue;
        }
        // Each reply leaves in one segment, at once: Gpredict reads it with one recv().
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSocketSendBuffer, sizeof kSocketSendBuffer);
        setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
        setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleS, sizeof kKeepIdleS);
        setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalS, sizeof kKeepIntervalS);
        setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepProbes, sizeof kKeepProbes);
        connections.push_back(std::make_unique<Client>());
        connections.back()->fd = fd;
        connections.back()->peer = peer;
        connections.back()->heardAtUs = EventLoop::nowUs();
        ++events.accepted;
        report("tracker " + peer + " connected");
    }
}

bool RigctlServer::evictForNewcomer(const std::string& newcomer) {
    Client* silent = nullptr;
    for (const auto& client : connections) {
        if (client->fd >= 0 && (silent == nullptr || client->heardAtUs < silent->heardAtUs)) {
            silent = client.get();
        }
    }
    const uint64_t silentUs = silent != nullptr ? EventLoop::nowUs() - silent->heardAtUs : 0;
    if (silent == nullptr || silentUs < evictAfterUs) {
        return false;
    }
    ++events.evicted;
    close(*silent, ("evicted: silent for " + std::to_string(silentUs / 1000000u) +
                    " s while all " + std::to_string(kMaxClients) +
                    " places were taken; its place goes to " + newcomer)
                       .c_str());
    return true;
}

void RigctlServer::serve(Client& client, short revents, RigctlStation& station) {
    if (client.fd < 0) {
        return;
    }
    if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        read(client, station);
    }
    if (client.fd >= 0 && (revents & POLLOUT) != 0) {
        flush(client);
    }
    if (client.fd >= 0 && (revents & POLLNVAL) != 0) {
        close(client, "left");
    }
}

void RigctlServer::read(Client& client, RigctlStation& station) {
    uint8_t bytes[kReadChunk];
    const ssize_t got = ::read(client.fd, bytes, sizeof bytes);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    if (got < 0 && errno == ETIMEDOUT) {
        close(client, "lost: its computer stopped answering");
        return;
    }
    if (got <= 0) {
        close(client, "left");
        return;
    }
    client.heardAtUs = EventLoop::nowUs();
    client.session.receive(bytes, static_cast<size_t>(got), station, client.output);
    if (client.session.quitting() && !client.closing) {
        client.closing = true;
        client.quitAtUs = EventLoop::nowUs();
    }
    flush(client);
    // What the client has not taken, after the socket took what it could.
    if (client.fd >= 0 && client.output.size() >= kOutputLimit) {
        ++events.overflowed;
        close(client, "dropped: it does not read its replies");
    }
}

// All replies owed so far, in one write.
void RigctlServer::flush(Client& client) {
    while (!client.output.empty()) {
        const ssize_t sent = ::send(client.fd, client.output.data(), client.output.size(),
                                    MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno != EAGAIN && errno != EINTR) {
                close(client, "left");
            }
            return;
        }
        client.output.erase(0, static_cast<size_t>(sent));
    }
    if (client.closing) {
        close(client, "left");
    }
}

void RigctlServer::close(Client& client, const char* why) {
    closeDescriptor(client.fd);
    ++events.closed;
    report("tracker " + client.peer + " " + why);
}
