#include "RigctlServer.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Bytes the kernel may hold for a client that does not read, besides kOutputLimit of ours.
constexpr int kSocketSendBuffer = 16 * 1024;
constexpr size_t kReadChunk = 4096;

void closeDescriptor(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

RigctlServer::~RigctlServer() {
    for (Client& client : connections) {
        closeDescriptor(client.fd);
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

void RigctlServer::watch(std::vector<pollfd>& fds) const {
    fds.push_back({listener, POLLIN, 0});
    for (const Client& client : connections) {
        // Nothing more is read from a client that quit; what it is owed still goes out.
        const short wanted = static_cast<short>((client.closing ? 0 : POLLIN) |
                                                (client.output.empty() ? 0 : POLLOUT));
        fds.push_back({client.fd, wanted, 0});
    }
}

void RigctlServer::serve(const std::vector<pollfd>& fds, size_t first, RigctlStation& station) {
    const size_t watched = fds.size() - first - 1;
    for (size_t i = 0; i < watched && i < connections.size(); ++i) {
        Client& client = connections[i];
        const short ready = fds[first + 1 + i].revents;
        if (client.fd < 0 || fds[first + 1 + i].fd != client.fd) {
            continue;
        }
        if ((ready & POLLIN) != 0 || (ready & (POLLHUP | POLLERR)) != 0) {
            read(client, station);
        }
        if (client.fd >= 0 && (ready & POLLOUT) != 0) {
            flush(client);
        }
        if (client.fd >= 0 && (ready & POLLNVAL) != 0) {
            closeDescriptor(client.fd);
            ++events.closed;
        }
    }
    for (size_t i = connections.size(); i-- > 0;) {
        if (connections[i].fd < 0) {
            drop(i);
        }
    }
    if ((fds[first].revents & POLLIN) != 0) {
        accept();
    }
}

void RigctlServer::accept() {
    for (;;) {
        const int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;  // nothing more waiting, or the client gave up meanwhile
        }
        if (connections.size() >= kMaxClients) {
            ::close(fd);
            ++events.refused;
            continue;
        }
        // Each reply leaves in one segment, at once: Gpredict reads it with one recv().
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSocketSendBuffer, sizeof kSocketSendBuffer);
        connections.emplace_back();
        connections.back().fd = fd;
        ++events.accepted;
    }
}

void RigctlServer::read(Client& client, RigctlStation& station) {
    uint8_t bytes[kReadChunk];
    const ssize_t got = ::read(client.fd, bytes, sizeof bytes);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
        closeDescriptor(client.fd);
        ++events.closed;
        return;
    }
    if (got < 0) {
        return;
    }
    client.session.receive(bytes, static_cast<size_t>(got), station, client.output);
    client.closing = client.session.quitting();
    if (client.output.size() > kOutputLimit) {
        closeDescriptor(client.fd);
        ++events.overflowed;
        return;
    }
    flush(client);
}

// All replies owed so far, in one write.
void RigctlServer::flush(Client& client) {
    while (!client.output.empty()) {
        const ssize_t sent = ::send(client.fd, client.output.data(), client.output.size(),
                                    MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                return;
            }
            closeDescriptor(client.fd);
            ++events.closed;
            return;
        }
        client.output.erase(0, static_cast<size_t>(sent));
    }
    if (client.closing) {
        closeDescriptor(client.fd);
        ++events.closed;
    }
}

void RigctlServer::drop(size_t index) {
    connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(index));
}
