// What both Linux programs are built on: non-blocking standard output, line output and the event
// loop, against real pipes and signals. (Closed standard descriptors are tested end to end.)

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "EventLoop.h"
#include "LineOutput.h"
#include "StandardStreams.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Pipe {
    int read = -1;
    int write = -1;
    Pipe() {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) == 0) {
            read = ends[0];
            write = ends[1];
        }
    }
    ~Pipe() {
        if (read >= 0) close(read);
        if (write >= 0) close(write);
    }
    // Fills the pipe through a non-blocking descriptor of its own, as a reader that stopped
    // reading leaves it.
    void fill() const {
        const StandardStream writer(write);
        const std::string junk(4096, '.');
        while (::write(writer.descriptor(), junk.data(), junk.size()) > 0) {
        }
    }
    std::string drain() const {
        std::string got;
        char bytes[4096];
        const int flags = fcntl(read, F_GETFL);
        fcntl(read, F_SETFL, flags | O_NONBLOCK);
        for (ssize_t n; (n = ::read(read, bytes, sizeof bytes)) > 0;) {
            got.append(bytes, static_cast<size_t>(n));
        }
        fcntl(read, F_SETFL, flags);
        return got;
    }
};

}  // namespace

TEST(StandardStreams, WritesAPipeWithoutMakingTheSharedDescriptionNonBlocking) {
    Pipe pipe;
    {
        const StandardStream stream(pipe.write);
        EXPECT_NE(stream.descriptor(), pipe.write);
        EXPECT_NE(fcntl(stream.descriptor(), F_GETFL) & O_NONBLOCK, 0);
        EXPECT_EQ(fcntl(pipe.write, F_GETFL) & O_NONBLOCK, 0) << "the shell's pipe is touched";
        ASSERT_EQ(write(stream.descriptor(), "hello\n", 6), 6);
    }
    EXPECT_EQ(pipe.drain(), "hello\n");
    EXPECT_GE(fcntl(pipe.write, F_GETFD), 0) << "the original stays open";
}

TEST(LineOutput, DropsAndCountsWholeLinesWhileTheReaderIsStuckAndSaysSoWhenItReadsAgain) {
    const EventLoop loop;  // SIGPIPE ignored
    Pipe pipe;
    const StandardStream stream(pipe.write);
    LineOutput out(stream.descriptor(), 40, "status: ");
    pipe.fill();

    const auto start = Clock::now();
    EXPECT_TRUE(out.post("first line\n"));                     // 11 of 40 bytes queued
    EXPECT_TRUE(out.post("second line\n"));                    // 23
    EXPECT_FALSE(out.post("a line too long for the rest\n"));  // 29 more: dropped whole
    EXPECT_TRUE(out.post("third\n"));                          // 29
    EXPECT_FALSE(out.post("fourth line, dropped\n"));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100)) << "never blocks";
    EXPECT_TRUE(out.pending());
    EXPECT_EQ(out.dropped(), 2u);

    const std::string filler = pipe.drain();
    EXPECT_EQ(filler.find_first_not_of('.'), std::string::npos) << "nothing before its turn";
    out.writeReady();
    EXPECT_FALSE(out.pending());
    EXPECT_EQ(pipe.drain(), "first line\nsecond line\nthird\nstatus: 2 lines dropped\n");

    // The count is said once; the total stays.
    EXPECT_TRUE(out.post("fifth\n"));
    EXPECT_EQ(pipe.drain(), "fifth\n");
    EXPECT_EQ(out.dropped(), 2u);
}

TEST(LineOutput, AReaderThatWentAwayEndsTheOutputNotTheProgram) {
    const EventLoop loop;
    Pipe pipe;
    const StandardStream stream(pipe.write);
    LineOutput out(stream.descriptor(), 1024);
    close(pipe.read);
    pipe.read = -1;

    EXPECT_FALSE(out.post("nobody reads this\n"));
    EXPECT_TRUE(out.broken());
    EXPECT_FALSE(out.post("nor this\n"));
    EXPECT_FALSE(out.pending());
    EXPECT_EQ(out.dropped(), 2u);
}

TEST(EventLoop, SleepsUntilADescriptorIsReadyOrTheTimeHasCome) {
    EventLoop loop;
    Pipe pipe;
    short seen = 0;
    int calls = 0;

    auto start = Clock::now();
    loop.watch(pipe.read, POLLIN, [&](short revents) { seen = revents, ++calls; });
    loop.wakeWithinMs(200);
    loop.wakeWithinMs(30);  // the sooner one counts
    loop.wait();
    auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(30));
    EXPECT_LT(took, std::chrono::milliseconds(190));
    EXPECT_EQ(calls, 0);

    // A pass forgets its watches and its time: this one has the byte and no time limit.
    ASSERT_EQ(write(pipe.write, "x", 1), 1);
    start = Clock::now();
    loop.watch(pipe.read, POLLIN, [&](short revents) { seen = revents, ++calls; });
    loop.watch(-1, POLLIN, [&](short) { ADD_FAILURE() << "a closed descriptor is left out"; });
    loop.wait();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(calls, 1);
    EXPECT_NE(seen & POLLIN, 0);
    EXPECT_FALSE(loop.stopRequested());
}

TEST(EventLoop, ASignalThatArrivesBeforeTheWaitEndsItAtOnce) {
    for (const int signal : {SIGTERM, SIGINT}) {
        EventLoop loop;
        Pipe pipe;
        // Between the check and the wait: blocked until the wait, then delivered there.
        ASSERT_FALSE(loop.stopRequested());
        ASSERT_EQ(raise(signal), 0);
        const auto start = Clock::now();
        loop.watch(pipe.read, POLLIN, [](short) {});
        loop.wakeWithinMs(2000);  // bounds the test if the signal were missed
        loop.wait();
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500)) << signal;
        EXPECT_TRUE(loop.stopRequested()) << signal;
    }
}

// A daemon's SIGHUP asks it to reload: it ends the wait at once, as SIGTERM does, but stops
// nothing. Only a loop that asks for it takes SIGHUP, and not when its parent ignored SIGHUP
// (nohup); otherwise SIGHUP keeps ending the program.
TEST(EventLoop, TakesSigHupAsAReloadRequestOnlyWhenAskedAndNotIgnored) {
    const auto disposition = [] {
        struct sigaction current {};
        sigaction(SIGHUP, nullptr, &current);
        return current.sa_handler;
    };
    ASSERT_EQ(disposition(), SIG_DFL);
    {
        EventLoop loop(EventLoop::OnHangUp::Reload);
        Pipe pipe;
        ASSERT_EQ(raise(SIGHUP), 0);
        const auto start = Clock::now();
        loop.watch(pipe.read, POLLIN, [](short) {});
        loop.wakeWithinMs(2000);
        loop.wait();
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
        EXPECT_FALSE(loop.stopRequested());
        EXPECT_TRUE(loop.takeReloadRequest());
        EXPECT_FALSE(loop.takeReloadRequest()) << "once for each SIGHUP";
    }
    EXPECT_EQ(disposition(), SIG_DFL) << "put back as it was";
    {
        const EventLoop loop;
        EXPECT_EQ(disposition(), SIG_DFL) << "a loop that did not ask leaves SIGHUP alone";
    }
    signal(SIGHUP, SIG_IGN);
    {
        EventLoop loop(EventLoop::OnHangUp::Reload);
        EXPECT_EQ(disposition(), SIG_IGN) << "nohup's choice stands";
        ASSERT_EQ(raise(SIGHUP), 0);
        loop.wakeWithinMs(10);
        loop.wait();
        EXPECT_FALSE(loop.takeReloadRequest());
    }
    signal(SIGHUP, SIG_DFL);
}

TEST(StandardStreams, KnowsTheJournalByTheDeviceAndInodeSystemdNames) {
    Pipe pipe;
    Pipe other;
    struct stat info {};
    ASSERT_EQ(fstat(pipe.write, &info), 0);
    const std::string stream = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    const char* before = getenv("JOURNAL_STREAM");
    const std::string saved = before != nullptr ? before : "";

    unsetenv("JOURNAL_STREAM");
    EXPECT_FALSE(writesToJournal(pipe.write)) << "not under systemd";
    setenv("JOURNAL_STREAM", stream.c_str(), 1);
    EXPECT_TRUE(writesToJournal(pipe.write));
    EXPECT_FALSE(writesToJournal(other.write)) << "a stream the service opened itself";
    setenv("JOURNAL_STREAM", (stream + "x").c_str(), 1);
    EXPECT_FALSE(writesToJournal(pipe.write));
    setenv("JOURNAL_STREAM", std::to_string(info.st_ino).c_str(), 1);
    EXPECT_FALSE(writesToJournal(pipe.write));

    if (before != nullptr) {
        setenv("JOURNAL_STREAM", saved.c_str(), 1);
    } else {
        unsetenv("JOURNAL_STREAM");
    }
}
