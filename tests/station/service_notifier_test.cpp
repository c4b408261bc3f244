// systemd's notification protocol, with the test in systemd's place: a datagram socket of its
// own, at a path or in the abstract namespace, that the notifier is pointed at.

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ServiceNotifier.h"

namespace {

// The service manager's socket. `name` starts with '@' for the abstract namespace.
struct Manager {
    int fd = -1;
    std::string name;

    explicit Manager(const std::string& socketName) : name(socketName) {
        fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        name.copy(address.sun_path, name.size());
        socklen_t size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() + 1);
        if (name[0] == '@') {
            address.sun_path[0] = '\0';
            --size;
        }
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), size), 0) << name;
    }
    ~Manager() {
        close(fd);
        if (name[0] == '/') {
            unlink(name.c_str());
        }
    }

    // Every datagram that has come, in order.
    std::vector<std::string> received() const {
        std::vector<std::string> messages;
        char bytes[4096];
        for (ssize_t n; (n = recv(fd, bytes, sizeof bytes, 0)) >= 0;) {
            messages.emplace_back(bytes, static_cast<size_t>(n));
        }
        return messages;
    }
};

using Messages = std::vector<std::string>;

std::string uniqueName(const char* what) {
    return "@ft847-test-" + std::string(what) + "-" + std::to_string(getpid());
}

constexpr uint64_t kStart = 1000000000;  // µs on the monotonic clock

}  // namespace

TEST(ServiceNotifier, WithoutNotifySocketOpensSendsAndWakesForNothing) {
    std::vector<std::string> complaints;
    ServiceNotifier notifier({nullptr, "400000", nullptr, 1}, kStart,
                             [&](const std::string& line) { complaints.push_back(line); });
    notifier.ready(kStart);
    notifier.status("radio connected");
    notifier.serve(kStart + 10000000);
    EXPECT_FALSE(notifier.active());
    EXPECT_EQ(notifier.watchdogUs(), 0u);
    EXPECT_EQ(notifier.usUntilDue(kStart), ServiceNotifier::kNever);
    EXPECT_TRUE(complaints.empty());
}

// The life of a service, on a socket at a path, as systemd hands it over (the other tests use
// abstract names): each state goes at once, the status on change only, and at most every
// 250 ms, with the newest text.
TEST(ServiceNotifier, SaysTheStateAtOnceAndTheStatusOnChangeAtMostEveryQuarterSecond) {
    char folder[] = "/tmp/ft847-notify-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string name = std::string(folder) + "/notify";
    {  // the socket is removed before its folder
        const Manager systemd(name);
        ServiceNotifier notifier({name.c_str(), nullptr, nullptr, 1}, kStart, nullptr);
        ASSERT_TRUE(notifier.active());
        EXPECT_EQ(notifier.usUntilDue(kStart), ServiceNotifier::kNever) << "nothing to say";

        notifier.ready(kStart);
        notifier.status("connecting");
        notifier.serve(kStart);
        EXPECT_EQ(systemd.received(), (Messages{"READY=1", "STATUS=connecting"}));

        notifier.status("radio connected\nand a second line");
        notifier.serve(kStart + 100000);
        notifier.status("radio connected; 1 tracker");
        EXPECT_EQ(notifier.usUntilDue(kStart + 100000), 150000u);
        notifier.serve(kStart + 249999);
        EXPECT_TRUE(systemd.received().empty()) << "within 250 ms of the last";
        notifier.serve(kStart + 250000);
        EXPECT_EQ(systemd.received(), Messages{"STATUS=radio connected; 1 tracker"});
        notifier.status("radio connected; 1 tracker");
        notifier.serve(kStart + 900000);
        EXPECT_TRUE(systemd.received().empty()) << "the same text again";
        EXPECT_EQ(notifier.usUntilDue(kStart + 900000), ServiceNotifier::kNever);
        notifier.status("radio connected\nand a second line");
        notifier.serve(kStart + 900000);
        EXPECT_EQ(systemd.received(), Messages{"STATUS=radio connected"}) << "one line";

        notifier.reloading(kStart + 1234567);
        notifier.ready(kStart + 1234600);
        notifier.stopping(kStart + 2000000);
        EXPECT_EQ(systemd.received(), (Messages{"RELOADING=1\nMONOTONIC_USEC=1001234567",
                                                "READY=1", "STOPPING=1"}));
    }
    rmdir(folder);
}

// WATCHDOG=1 every half of WATCHDOG_USEC, for this process only; in one datagram with a status
// that is due at the same time.
TEST(ServiceNotifier, PingsTheWatchdogEveryHalfIntervalWhenItIsThisProcesss) {
    const std::string name = uniqueName("watchdog");
    const Manager systemd(name);
    ServiceNotifier notifier({name.c_str(), "400000", "4242", 4242}, kStart, nullptr);
    EXPECT_EQ(notifier.watchdogUs(), 400000u);
    EXPECT_EQ(notifier.usUntilDue(kStart), 200000u);
    notifier.serve(kStart + 199999);
    EXPECT_TRUE(systemd.received().empty());
    notifier.serve(kStart + 200000);
    EXPECT_EQ(systemd.received(), Messages{"WATCHDOG=1"});
    EXPECT_EQ(notifier.usUntilDue(kStart + 250000), 150000u);
    notifier.status("radio connected");
    EXPECT_EQ(notifier.usUntilDue(kStart + 250000), 0u);
    notifier.serve(kStart + 400000);
    EXPECT_EQ(systemd.received(), Messages{"WATCHDOG=1\nSTATUS=radio connected"});

    for (const ServiceNotifier::Environment& other :
         {ServiceNotifier::Environment{name.c_str(), "400000", "4243", 4242},
          ServiceNotifier::Environment{name.c_str(), "4e5", nullptr, 4242},
          ServiceNotifier::Environment{name.c_str(), "0", nullptr, 4242},
          ServiceNotifier::Environment{name.c_str(), "400000", "", 4242}}) {
        ServiceNotifier unwatched(other, kStart, nullptr);
        EXPECT_EQ(unwatched.watchdogUs(), 0u) << other.watchdogUsec << " " << other.watchdogPid;
        unwatched.serve(kStart + 10000000);
        EXPECT_EQ(unwatched.usUntilDue(kStart), ServiceNotifier::kNever);
    }
    EXPECT_TRUE(systemd.received().empty());
    ServiceNotifier anyPid({name.c_str(), "400000", nullptr, 4242}, kStart, nullptr);
    EXPECT_EQ(anyPid.watchdogUs(), 400000u) << "no WATCHDOG_PID: this process's";
}

// systemd's queue full: the sends do not block (a blocking one would hang this test), and the
// newest state goes 250 ms later. A socket nobody listens on, or a name that is none, is said
// once.
TEST(ServiceNotifier, NeverBlocksAndSaysOnceWhyItCannotNotify) {
    const std::string name = uniqueName("full");
    const Manager systemd(name);
    ServiceNotifier notifier({name.c_str(), nullptr, nullptr, 1}, kStart, nullptr);
    for (int i = 0; i < 1000; ++i) {
        notifier.reloading(kStart);
    }
    notifier.ready(kStart);
    EXPECT_EQ(notifier.usUntilDue(kStart + 1000), 249000u);
    const size_t queued = systemd.received().size();
    EXPECT_GT(queued, 0u);
    EXPECT_LT(queued, 1000u) << "the queue never filled";
    notifier.serve(kStart + 249999);
    EXPECT_TRUE(systemd.received().empty());
    notifier.serve(kStart + 250000);
    EXPECT_EQ(systemd.received(), Messages{"READY=1"}) << "the newest state, once";

    std::vector<std::string> complaints;
    const auto complain = [&](const std::string& line) { complaints.push_back(line); };
    const std::string gone = uniqueName("nobody");
    ServiceNotifier alone({gone.c_str(), "400000", nullptr, 1}, kStart, complain);
    EXPECT_TRUE(alone.active());
    alone.ready(kStart);
    alone.serve(kStart + 200000);
    alone.serve(kStart + 400000);
    EXPECT_EQ(complaints, Messages{"cannot notify systemd at " + gone + ": Connection refused"});
    EXPECT_EQ(alone.usUntilDue(kStart + 400000), 200000u) << "pinging on, not retrying at once";

    for (const char* bad : {"run/notify", "@", "/"}) {
        complaints.clear();
        ServiceNotifier refused({bad, nullptr, nullptr, 1}, kStart, complain);
        EXPECT_FALSE(refused.active());
        EXPECT_EQ(complaints, Messages{"NOTIFY_SOCKET '" + std::string(bad) +
                                       "' is not a socket path or an abstract socket name; "
                                       "systemd is not notified"});
    }
}
