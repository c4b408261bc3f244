#pragma once

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "EventLoop.h"
#include "LineOutput.h"
#include "RigctlSession.h"

// The station's rigctld server: a listening TCP socket and up to kMaxClients tracker
// connections, each with its own session, all in the program's one poll() loop. It never
// blocks and never waits for the radio.
//
// A client that does not read its replies is not waited for: what the socket does not take of
// its replies queues up to kOutputLimit bytes, and once that many wait it is disconnected, with
// one status line. Until then it keeps its connection, however long it sends without reading
// (Look4Sat never reads). One that quit has kQuitGraceMs to take its last replies, then it is
// closed: its place is not kept for good.
//
// Nobody can hold the places for good. When all kMaxClients places are taken, a new client gets
// the place of the one that has been silent longest, if that one has said nothing for
// kEvictSilentMs; a tracker that is engaged sends every cycle, so it is never the one. Otherwise
// the newcomer is accepted and closed at once, so that it sees the refusal instead of hanging in
// the backlog. TCP keepalive notices a peer that vanished without closing (a computer switched
// off, a cable pulled) within about a minute once its replies are acknowledged, and frees its
// place; the kernel does not probe while replies are in flight, so a peer that vanished with
// some holds its place until the retransmissions give up (about 15 minutes), or until eviction.
class RigctlServer {
public:
    static constexpr size_t kMaxClients = 8;
    static constexpr size_t kOutputLimit = 64 * 1024;
    static constexpr uint32_t kEvictSilentMs = 30000;
    static constexpr uint32_t kQuitGraceMs = 5000;

    // What happened to connections, counted; `status`, if given, also gets a line for each.
    struct Events {
        size_t accepted = 0;
        size_t refused = 0;     // beyond kMaxClients, with none silent long enough
        size_t evicted = 0;     // silent longest, for a newcomer
        size_t closed = 0;      // quit, hung up, evicted, or the socket failed
        size_t overflowed = 0;  // disconnected for not reading
    };

    // Times other than kEvictSilentMs and kQuitGraceMs are for tests.
    explicit RigctlServer(LineOutput* status = nullptr, uint32_t evictSilentMs = kEvictSilentMs,
                          uint32_t quitGraceMs = kQuitGraceMs)
        : statusLines(status), evictAfterUs(uint64_t{evictSilentMs} * 1000u),
          quitGraceUs(uint64_t{quitGraceMs} * 1000u) {}
    ~RigctlServer();
    RigctlServer(const RigctlServer&) = delete;
    RigctlServer& operator=(const RigctlServer&) = delete;

    // Binds and listens on address:port (a numeric IPv4 or IPv6 address, or a host name; port
    // 0 takes a free one). On failure returns false with `error` naming the reason.
    bool listen(const std::string& address, const std::string& port, std::string& error);
    // The port actually bound.
    uint16_t port() const { return boundPort; }

    // For the coming wait: forgets the connections that have ended, then watches the listening
    // socket and every client. `station` must outlive the wait.
    void watch(EventLoop& loop, RigctlStation& station);

    size_t clients() const;
    Events events;

private:
    struct Client {
        int fd = -1;
        std::string peer;
        RigctlSession session;
        std::string output;
        bool closing = false;  // quit: close once the output is out
        uint64_t quitAtUs = 0;
        uint64_t heardAtUs = 0;  // when it connected or last sent something
    };

    void accept();
    // Frees the place of the client silent longest for `newcomer`, if it has been silent long
    // enough.
    bool evictForNewcomer(const std::string& newcomer);
    void serve(Client& client, short revents, RigctlStation& station);
    void read(Client& client, RigctlStation& station);
    void flush(Client& client);
    void close(Client& client, const char* why);
    void report(const std::string& line);

    LineOutput* statusLines;
    const uint64_t evictAfterUs;
    const uint64_t quitGraceUs;
    int listener = -1;
    uint16_t boundPort = 0;
    uint64_t acceptPausedUntilUs = 0;
    bool acceptPauseReported = false;
    std::vector<std::unique_ptr<Client>> connections;
};
