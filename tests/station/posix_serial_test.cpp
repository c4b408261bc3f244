// The Linux port's serial device, tested against real pseudo-terminals.

#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <memory>
#include <thread>

#include "HardwareSerial.h"
#include "Millis.h"

namespace {

// The radio's end of a pseudo-terminal; the port opens the other end by its path.
struct Pty {
    int master = -1;
    int slave = -1;
    std::string path;

    Pty() {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            path = name;
            termios raw{};
            tcgetattr(master, &raw);
            cfmakeraw(&raw);
            tcsetattr(master, TCSANOW, &raw);
        }
    }
    ~Pty() { hangUp(); }

    void hangUp() {
        if (slave >= 0) close(slave);
        if (master >= 0) close(master);
        slave = master = -1;
    }

    // Everything the port sent, until 50 ms pass without a byte.
    std::string readAll() const {
        std::string got;
        char bytes[4096];
        for (pollfd watch{master, POLLIN, 0}; poll(&watch, 1, 50) > 0;) {
            const ssize_t n = read(master, bytes, sizeof bytes);
            if (n <= 0) break;
            got.append(bytes, static_cast<size_t>(n));
        }
        return got;
    }

    // Writes through another descriptor of the port's side until the radio's side, which
    // does not read, takes nothing more.
    void fillQueue() const {
        const int filler = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY);
        const std::string junk(1024, 'x');
        for (int calm = 0; filler >= 0 && calm < 3;) {
            if (write(filler, junk.data(), junk.size()) > 0) {
                calm = 0;
            } else {
                ++calm;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        close(filler);
    }
};

// The port's count of received bytes once it reaches `want`, or when 1 s has passed.
int availableWithin1s(HardwareSerial& port, int want) {
    const auto start = std::chrono::steady_clock::now();
    while (port.available() < want &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(1)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return port.available();
}

const uint8_t kReadSatRx[5] = {0x00, 0x00, 0x00, 0x00, 0x13};

}  // namespace

TEST(PosixSerial, ConfiguresRaw8N2AndMovesBytesBothWays) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    HardwareSerial port(pty.path.c_str());
    port.begin(9600, SERIAL_8N2, 1, 2);
    ASSERT_TRUE(port.isOpen());

    termios tty{};
    ASSERT_EQ(tcgetattr(pty.slave, &tty), 0);
    EXPECT_EQ(cfgetospeed(&tty), static_cast<speed_t>(B9600));
    EXPECT_EQ(tty.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_NE(tty.c_cflag & CSTOPB, 0u) << "two stop bits";
    EXPECT_EQ(tty.c_cflag & PARENB, 0u) << "no parity";
    EXPECT_EQ(tty.c_lflag & ICANON, 0u) << "raw";

    EXPECT_EQ(port.available(), 0);
    EXPECT_EQ(port.read(), -1) << "nothing received: -1, at once";
    EXPECT_EQ(port.bytesReceived(), 0u);

    EXPECT_EQ(port.write(kReadSatRx, 5), 5u);
    port.flush();
    EXPECT_EQ(pty.readAll(), std::string("\x00\x00\x00\x00\x13", 5));

    const uint8_t reply[5] = {0x14, 0x58, 0x00, 0x00, 0x08};
    ASSERT_EQ(write(pty.master, reply, 5), 5);
    EXPECT_EQ(availableWithin1s(port, 5), 5);
    for (uint8_t byte : reply) {
        EXPECT_EQ(port.read(), byte);
    }
    EXPECT_EQ(port.available(), 0);
    EXPECT_EQ(port.bytesReceived(), 5u);
}

TEST(PosixSerial, RefusesBaudRatesTheRadioDoesNotOffer) {
    EXPECT_TRUE(HardwareSerial::baudSupported(4800));
    EXPECT_TRUE(HardwareSerial::baudSupported(9600));
    EXPECT_TRUE(HardwareSerial::baudSupported(57600));
    EXPECT_FALSE(HardwareSerial::baudSupported(38400));
    EXPECT_FALSE(HardwareSerial::baudSupported(0));
}

TEST(PosixSerial, ClosesOnHangUpAndReopensTheSamePathWhenTheDeviceReturns) {
    const std::string link = ::testing::TempDir() + "ft847-posix-serial-" +
                             std::to_string(getpid());
    Pty first;
    ASSERT_EQ(symlink(first.path.c_str(), link.c_str()), 0);
    HardwareSerial port(link.c_str());
    port.begin(4800, SERIAL_8N2, 1, 2);
    ASSERT_TRUE(port.isOpen());

    // The adapter is unplugged: the other end goes away. The program's loop sees the hang-up
    // on the idle descriptor, with no read or write in flight.
    first.hangUp();
    pollfd watch{port.descriptor(), POLLIN, 0};
    ASSERT_EQ(poll(&watch, 1, 1000), 1);
    port.onReady(watch.revents);
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(port.takeHangUp());
    EXPECT_FALSE(port.takeHangUp()) << "reported once";
    EXPECT_EQ(port.write(kReadSatRx, 5), 0u) << "a write to a missing device takes nothing";
    const int64_t wait = port.msUntilReopen(millis());
    EXPECT_GT(wait, 900);
    EXPECT_LE(wait, 1000);

    // It comes back under the same name; the loop's timer opens it again within a second.
    Pty second;
    ASSERT_EQ(unlink(link.c_str()), 0);
    ASSERT_EQ(symlink(second.path.c_str(), link.c_str()), 0);
    const auto returned = std::chrono::steady_clock::now();
    while (!port.isOpen() && std::chrono::steady_clock::now() - returned < std::chrono::seconds(3)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::max<int64_t>(
            1, port.msUntilReopen(millis()))));
        port.reopenIfDue();
    }
    ASSERT_TRUE(port.isOpen());
    EXPECT_LT(std::chrono::steady_clock::now() - returned, std::chrono::milliseconds(1100));
    EXPECT_EQ(port.write(kReadSatRx, 5), 5u);
    EXPECT_EQ(second.readAll(), std::string("\x00\x00\x00\x00\x13", 5));
    unlink(link.c_str());
}

TEST(PosixSerial, KeepsTheDeviceForItselfUntilItClosesIt) {
    Pty pty;
    auto first = std::make_unique<HardwareSerial>(pty.path.c_str());
    ASSERT_TRUE(first->open());
    int exclusive = 0;
    ASSERT_EQ(ioctl(pty.slave, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);

    // The lock stops a second program even when it runs as root, as CI does.
    HardwareSerial second(pty.path.c_str());
    errno = 0;
    EXPECT_FALSE(second.open());
    EXPECT_EQ(errno, EBUSY);
    EXPECT_FALSE(second.isOpen());
    ASSERT_EQ(ioctl(pty.slave, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1) << "the refused program cleared the first one's exclusive mode";

    // Closed, it leaves the terminal as it found it, though the other side still holds it.
    first.reset();
    ASSERT_EQ(ioctl(pty.slave, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    EXPECT_TRUE(second.open());
}

TEST(PosixSerial, BeginKeepsTheDeviceThatIsOpenAtItsBaudRate) {
    Pty pty;
    // The lowest free descriptor is held, so that a close and open would move the port to it.
    const int placeholder = dup(pty.slave);
    HardwareSerial port(pty.path.c_str(), 57600);
    ASSERT_TRUE(port.open());
    const int opened = port.descriptor();
    ASSERT_GT(opened, placeholder);
    close(placeholder);

    port.begin(57600, SERIAL_8N2, 1, 2);
    EXPECT_EQ(port.descriptor(), opened) << "opened again";
    termios tty{};
    ASSERT_EQ(tcgetattr(pty.slave, &tty), 0);
    EXPECT_EQ(cfgetospeed(&tty), static_cast<speed_t>(B57600));

    port.begin(9600, SERIAL_8N2, 1, 2);
    EXPECT_EQ(port.descriptor(), opened) << "a new baud rate needs no new descriptor";
    ASSERT_EQ(tcgetattr(pty.slave, &tty), 0);
    EXPECT_EQ(cfgetospeed(&tty), static_cast<speed_t>(B9600));
}

namespace {

// Devices that take fewer bytes than they are offered.
ssize_t twoBytesAtATime(int fd, const void* data, size_t len) {
    return write(fd, data, len < 2 ? len : 2);
}

int stuckCalls = 0;
ssize_t twoBytesThenStuck(int fd, const void* data, size_t len) {
    if (stuckCalls++ == 0) {
        return write(fd, data, len < 2 ? len : 2);
    }
    errno = EAGAIN;
    return -1;
}

}  // namespace

TEST(PosixSerial, WritesAFrameWholeOrNotAtAll) {
    Pty pty;
    HardwareSerial port(pty.path.c_str());
    ASSERT_TRUE(port.open());

    port.setWriter(twoBytesAtATime);
    EXPECT_EQ(port.write(kReadSatRx, 5), 5u);
    EXPECT_EQ(pty.readAll(), std::string("\x00\x00\x00\x00\x13", 5));

    // Two bytes go in, then the device takes nothing more: after a bounded wait the frame is
    // refused. (The port takes back what is still queued; this terminal's queue was empty, so
    // the two bytes have already passed, as bytes a UART has shifted out have. The next test
    // fills the queue first.)
    stuckCalls = 0;
    port.setWriter(twoBytesThenStuck);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.write(kReadSatRx, 5), 0u);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(49));
    EXPECT_LT(took, std::chrono::milliseconds(500));
    EXPECT_LT(stuckCalls, 60) << "tries spaced out, not a busy loop";
    EXPECT_TRUE(port.isOpen());
}

TEST(PosixSerial, WaitsBrieflyForRoomInAFullDeviceQueue) {
    Pty pty;
    HardwareSerial port(pty.path.c_str());
    ASSERT_TRUE(port.open());

    // The radio's side stops reading: after 50 ms the frame is refused, none of it sent.
    pty.fillQueue();
    EXPECT_EQ(port.write(kReadSatRx, 5), 0u);
    EXPECT_EQ(pty.readAll().find('\x13'), std::string::npos);

    // It reads again 20 ms into the wait: the frame goes out whole, after what was queued.
    pty.fillQueue();
    std::string received;
    std::thread radio([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        received = pty.readAll();
    });
    EXPECT_EQ(port.write(kReadSatRx, 5), 5u);
    radio.join();
    received += pty.readAll();
    ASSERT_GE(received.size(), 5u);
    EXPECT_EQ(received.substr(received.size() - 5), std::string("\x00\x00\x00\x00\x13", 5));
    EXPECT_EQ(received.find_first_not_of('x'), received.size() - 5);
}
