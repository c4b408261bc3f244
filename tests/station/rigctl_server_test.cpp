// The station's rigctld server over real loopback sockets, driven by a poll() loop as the
// station drives it.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "EventLoop.h"
#include "HeldSettings.h"
#include "RigctlServer.h"

namespace {

struct Server {
    EventLoop loop;
    HeldSettings settings;
    RigctlStation station{settings, true, false};
    RigctlServer server;

    explicit Server(LineOutput* status = nullptr, uint32_t evictSilentMs = 30000,
                    uint32_t quitGraceMs = 5000)
        : server(status, evictSilentMs, quitGraceMs) {
        std::string error;
        EXPECT_TRUE(server.listen("127.0.0.1", "0", error)) << error;
    }

    // One pass of the station's loop, waiting at most `ms` for something to happen.
    void turn(int ms = 10) {
        server.watch(loop, station);
        loop.wakeWithinMs(static_cast<uint64_t>(ms));
        loop.wait();
    }
};

// A receive buffer other than 0 is set before the connection, so that the window is that small
// from the start.
int connectTo(uint16_t port, int receiveBuffer = 0) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer != 0) {
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

void sendText(int fd, const std::string& text) {
    ASSERT_EQ(send(fd, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
}

// What the client has received, once `expected` bytes are in or 2 s have passed, turning the
// server's loop meanwhile.
std::string receive(Server& s, int fd, size_t expected) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (got.size() < expected && std::chrono::steady_clock::now() < deadline) {
        s.turn(5);
        char bytes[4096];
        const ssize_t n = recv(fd, bytes, sizeof bytes, MSG_DONTWAIT);
        if (n > 0) {
            got.append(bytes, static_cast<size_t>(n));
        } else if (n == 0) {
            break;
        }
    }
    return got;
}

// True once the server has closed the connection, within 2 s.
bool closedByServer(Server& s, int fd) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < deadline) {
        s.turn(5);
        char byte;
        const ssize_t n = recv(fd, &byte, 1, MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno == ECONNRESET)) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST(RigctlServer, ServesClientsApartAndAnswersSplitAndJoinedCommands) {
    Server s;
    const int a = connectTo(s.server.port());
    const int b = connectTo(s.server.port());
    sendText(a, "V Sub\nF 1459");
    EXPECT_EQ(receive(s, a, 7), "RPRT 0\n");
    sendText(a, "00000\nv\n");
    EXPECT_EQ(receive(s, a, 11), "RPRT 0\nSub\n");
    sendText(b, "v\nf\n");
    EXPECT_EQ(receive(s, b, 15), "Main\n145900000\n") << "its own VFO, the shared frequency";
    EXPECT_EQ(s.server.clients(), 2u);

    sendText(b, "q\n");
    EXPECT_EQ(receive(s, b, 7), "RPRT 0\n");
    EXPECT_TRUE(closedByServer(s, b));
    EXPECT_EQ(s.server.clients(), 1u);
    close(a);
    for (int i = 0; i < 100 && s.server.clients() != 0; ++i) {
        s.turn();
    }
    EXPECT_EQ(s.server.clients(), 0u);
    EXPECT_EQ(s.server.events.accepted, 2u);
    EXPECT_EQ(s.server.events.closed, 2u);
    close(b);
}

// A client that quit and does not take its replies is closed after the grace (500 ms here),
// not before: its place is not kept for good.
TEST(RigctlServer, ClosesAClientThatQuitOnceItHadAWhileToTakeItsLastReplies) {
    int lines[2];
    ASSERT_EQ(pipe2(lines, O_NONBLOCK), 0);
    LineOutput status(lines[1], 4096);
    Server s(&status, 30000, 500);
    const int sleepy = connectTo(s.server.port(), 4096);
    std::string dumps;
    // About 50 KB of replies: more than the sockets hold, less than the station queues.
    for (int i = 0; i < 120; ++i) {
        dumps += "\\dump_state\n";
    }
    const auto quit = std::chrono::steady_clock::now();
    sendText(sleepy, dumps + "q\n");
    for (int i = 0; i < 20; ++i) {
        s.turn(5);
    }
    EXPECT_EQ(s.server.clients(), 1u) << "its replies wait";
    while (s.server.clients() != 0 &&
           std::chrono::steady_clock::now() - quit < std::chrono::seconds(3)) {
        s.turn(5);
    }
    EXPECT_EQ(s.server.clients(), 0u);
    EXPECT_GE(std::chrono::steady_clock::now() - quit, std::chrono::milliseconds(500));
    char text[4096] = {};
    ASSERT_GT(read(lines[0], text, sizeof text - 1), 0);
    EXPECT_NE(std::string(text).find(" left without taking its last replies\n"), std::string::npos)
        << text;
    close(sleepy);
    close(lines[0]);
    close(lines[1]);
}

TEST(RigctlServer, RefusesANinthClientAndKeepsServingTheEight) {
    Server s;
    std::vector<int> clients;
    for (int i = 0; i < 8; ++i) {
        clients.push_back(connectTo(s.server.port()));
        sendText(clients.back(), "\\get_powerstat\n");
        EXPECT_EQ(receive(s, clients.back(), 2), "1\n");
    }
    const int ninth = connectTo(s.server.port());
    EXPECT_TRUE(closedByServer(s, ninth));
    EXPECT_EQ(s.server.events.refused, 1u);
    EXPECT_EQ(s.server.clients(), 8u);
    sendText(clients[3], "s\n");
    EXPECT_EQ(receive(s, clients[3], 6), "1\nSub\n");

    // A place comes free when one leaves.
    close(clients[0]);
    for (int i = 0; i < 20 && s.server.clients() == 8; ++i) {
        s.turn();
    }
    const int next = connectTo(s.server.port());
    sendText(next, "\\chk_vfo\n");
    EXPECT_EQ(receive(s, next, 2), "0\n");
    close(next);
    close(ninth);
    for (size_t i = 1; i < clients.size(); ++i) {
        close(clients[i]);
    }
}

TEST(RigctlServer, DisconnectsAClientThatNeverReadsWithoutStallingTheOthers) {
    Server s;
    const int hog = connectTo(s.server.port());
    const int polite = connectTo(s.server.port());
    // A small receive window, so that the hog's replies pile up on the station's side.
    const int small = 4096;
    setsockopt(hog, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    std::string flood;
    for (int i = 0; i < 2000; ++i) {
        flood += "\\dump_state\n";
    }
    bool dropped = false;
    for (int round = 0; round < 40 && !dropped; ++round) {
        send(hog, flood.data(), flood.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        s.turn(1);
        sendText(polite, "\\get_powerstat\n");
        EXPECT_EQ(receive(s, polite, 2), "1\n") << "round " << round;
        dropped = s.server.events.overflowed != 0;
    }
    EXPECT_TRUE(dropped);
    EXPECT_EQ(s.server.clients(), 1u);
    close(hog);
    close(polite);
}

TEST(RigctlServer, AnswersABurstInFullToAClientThatReads) {
    Server s;
    const int burst = connectTo(s.server.port());
    sendText(burst, "\\dump_state\n");
    const size_t one = receive(s, burst, 400).size();  // well under one dump: all of it comes
    ASSERT_GT(one, 400u);
    std::string commands;
    for (int i = 0; i < 160; ++i) {
        commands += "\\dump_state\n";  // about 70 KB of replies from 2 KB of requests
    }
    sendText(burst, commands);
    const std::string replies = receive(s, burst, 160 * one);
    size_t dumps = 0;
    for (size_t at = replies.find("done\n"); at != std::string::npos;
         at = replies.find("done\n", at + 1)) {
        ++dumps;
    }
    EXPECT_EQ(dumps, 160u);
    EXPECT_EQ(s.server.events.overflowed, 0u);
    close(burst);
}

TEST(RigctlServer, ListensOnlyWhereItIsTold) {
    RigctlServer server;
    std::string error;
    EXPECT_FALSE(server.listen("192.0.2.1", "0", error)) << "not an address of this machine";
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(server.listen("localhost", "0", error)) << error;
    EXPECT_NE(server.port(), 0);

    // An IPv6 address, and the port it took, where the machine has IPv6.
    const int probe = socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 loopback{};
    loopback.sin6_family = AF_INET6;
    loopback.sin6_addr = in6addr_loopback;
    const bool ipv6 = probe >= 0 &&
                      bind(probe, reinterpret_cast<sockaddr*>(&loopback), sizeof loopback) == 0;
    if (probe >= 0) {
        close(probe);
    }
    if (!ipv6) {
        GTEST_SKIP() << "no IPv6 loopback on this machine";
    }
    RigctlServer six;
    ASSERT_TRUE(six.listen("::1", "0", error)) << error;
    const int client = socket(AF_INET6, SOCK_STREAM, 0);
    loopback.sin6_port = htons(six.port());
    EXPECT_EQ(connect(client, reinterpret_cast<sockaddr*>(&loopback), sizeof loopback), 0);
    close(client);
}

namespace {

uint16_t localPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

// The server's end of the client's connection, found among this process's descriptors: the
// socket whose peer is the client.
int serverEndOf(int client) {
    DIR* fds = opendir("/proc/self/fd");
    int found = -1;
    for (dirent* entry; found < 0 && (entry = readdir(fds)) != nullptr;) {
        const int fd = atoi(entry->d_name);
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        if (fd != client && getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
            peer.sin_family == AF_INET && ntohs(peer.sin_port) == localPort(client)) {
            found = fd;
        }
    }
    closedir(fds);
    return found;
}

int socketOption(int fd, int level, int name) {
    int value = -1;
    socklen_t length = sizeof value;
    getsockopt(fd, level, name, &value, &length);
    return value;
}

}  // namespace

// Look4Sat sends F and never reads. It keeps its connection while its replies fit in the
// sockets and the station's 64 KiB for it; once that much waits, it is dropped, and a status
// line says so, once.
TEST(RigctlServer, KeepsAClientThatNeverReadsUntilItsUnreadRepliesReachTheBound) {
    int lines[2];
    ASSERT_EQ(pipe2(lines, O_NONBLOCK), 0);
    LineOutput status(lines[1], 4096);
    Server s(&status);
    const int phone = connectTo(s.server.port(), 4096);
    const std::string set = "F 145900000\n";  // answered RPRT 0, 7 bytes
    std::string unsent;
    size_t sent = 0;  // whole commands
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (s.server.events.overflowed == 0 && std::chrono::steady_clock::now() < deadline) {
        if (unsent.size() < 4096) {
            for (int i = 0; i < 100; ++i) {
                unsent += set;
            }
        }
        const ssize_t n = send(phone, unsent.data(), unsent.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent = (sent * set.size() + static_cast<size_t>(n)) / set.size();
            unsent.erase(0, static_cast<size_t>(n));
        }
        s.turn(1);
        if (sent * 7 < 64 * 1024) {
            ASSERT_EQ(s.server.events.overflowed, 0u) << sent << " commands";
            ASSERT_EQ(s.server.clients(), 1u) << sent << " commands";
        }
    }
    EXPECT_EQ(s.server.events.overflowed, 1u) << sent << " commands";
    EXPECT_EQ(s.server.clients(), 0u);
    char text[4096] = {};
    ASSERT_GT(read(lines[0], text, sizeof text - 1), 0);
    const std::string peer = "station: tracker 127.0.0.1 port " + std::to_string(localPort(phone));
    EXPECT_EQ(std::string(text), peer + " connected\n" + peer +
                                     " dropped: it does not read its replies\n");
    close(phone);
    close(lines[0]);
    close(lines[1]);
}

TEST(RigctlServer, GivesTheSlotOfTheClientSilentLongestToANewcomerOnceItIsSilentLongEnough) {
    int lines[2];
    ASSERT_EQ(pipe2(lines, O_NONBLOCK), 0);
    LineOutput status(lines[1], 4096);
    Server s(&status, 300);
    std::vector<int> clients;
    for (int i = 0; i < 8; ++i) {
        clients.push_back(connectTo(s.server.port()));
        sendText(clients.back(), "\\get_powerstat\n");
        EXPECT_EQ(receive(s, clients.back(), 2), "1\n");
    }
    // All eight have spoken just now: a newcomer is refused.
    const int early = connectTo(s.server.port());
    EXPECT_TRUE(closedByServer(s, early));
    EXPECT_EQ(s.server.events.refused, 1u);
    EXPECT_EQ(s.server.events.evicted, 0u);

    // Seven keep talking, as engaged trackers do; the first says nothing for 400 ms.
    for (int round = 0; round < 4; ++round) {
        usleep(100000);
        for (int i = 1; i < 8; ++i) {
            sendText(clients[i], "\\chk_vfo\n");
            EXPECT_EQ(receive(s, clients[i], 2), "0\n") << "client " << i;
        }
    }
    const int newcomer = connectTo(s.server.port());
    sendText(newcomer, "\\chk_vfo\n");
    EXPECT_EQ(receive(s, newcomer, 2), "0\n");
    EXPECT_TRUE(closedByServer(s, clients[0]));
    EXPECT_EQ(s.server.events.evicted, 1u);
    EXPECT_EQ(s.server.events.refused, 1u);
    EXPECT_EQ(s.server.clients(), 8u);
    for (int i = 1; i < 8; ++i) {
        sendText(clients[i], "s\n");
        EXPECT_EQ(receive(s, clients[i], 6), "1\nSub\n") << "client " << i << " kept";
    }

    char text[4096] = {};
    ASSERT_GT(read(lines[0], text, sizeof text - 1), 0);
    const std::string refused = "station: tracker 127.0.0.1 port " +
                                std::to_string(localPort(early)) +
                                " refused: 8 trackers are connected\n";
    EXPECT_NE(std::string(text).find(refused), std::string::npos) << text;
    const std::string evicted = "station: tracker 127.0.0.1 port " +
                                std::to_string(localPort(clients[0])) +
                                " evicted: silent for 0 s while all 8 places were taken; its "
                                "place goes to 127.0.0.1 port " +
                                std::to_string(localPort(newcomer)) + "\n";
    EXPECT_NE(std::string(text).find(evicted), std::string::npos) << text;

    for (int fd : clients) {
        close(fd);
    }
    close(early);
    close(newcomer);
    close(lines[0]);
    close(lines[1]);
}

TEST(RigctlServer, ProbesEveryClientWithKeepaliveSoThatAVanishedPeerIsNoticed) {
    Server s;
    const int client = connectTo(s.server.port());
    sendText(client, "\\chk_vfo\n");
    ASSERT_EQ(receive(s, client, 2), "0\n");
    const int end = serverEndOf(client);
    ASSERT_GE(end, 0);
    EXPECT_EQ(socketOption(end, SOL_SOCKET, SO_KEEPALIVE), 1);
    EXPECT_EQ(socketOption(end, IPPROTO_TCP, TCP_KEEPIDLE), 30);
    EXPECT_EQ(socketOption(end, IPPROTO_TCP, TCP_KEEPINTVL), 10);
    EXPECT_EQ(socketOption(end, IPPROTO_TCP, TCP_KEEPCNT), 3);
    // No user timeout: it would end a connection whose peer is there and does not read.
    EXPECT_EQ(socketOption(end, IPPROTO_TCP, TCP_USER_TIMEOUT), 0);
    close(client);
}
