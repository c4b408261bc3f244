// The Linux port's serial device, tested against real pseudo-terminals.

#include <gtest/gtest.h>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "HardwareSerial.h"

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

    std::string drain() const {
        std::string got;
        char bytes[64];
        for (int tries = 0; tries < 50 && got.size() < 5; ++tries) {
            const ssize_t n = read(master, bytes, sizeof bytes);
            if (n > 0) got.append(bytes, static_cast<size_t>(n));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return got;
    }
};

void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }

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

    EXPECT_EQ(port.write(kReadSatRx, 5), 5u);
    port.flush();
    EXPECT_EQ(pty.drain(), std::string("\x00\x00\x00\x00\x13", 5));

    const uint8_t reply[5] = {0x14, 0x58, 0x00, 0x00, 0x08};
    ASSERT_EQ(write(pty.master, reply, 5), 5);
    settle();
    EXPECT_EQ(port.available(), 5);
    for (uint8_t byte : reply) {
        EXPECT_EQ(port.read(), byte);
    }
    EXPECT_EQ(port.available(), 0);
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

    // The adapter is unplugged: the other end goes away.
    first.hangUp();
    settle();
    EXPECT_EQ(port.available(), 0);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.write(kReadSatRx, 5), 0u) << "a write to a missing device takes nothing";

    // It comes back under the same name; the port tries again once a second.
    Pty second;
    ASSERT_EQ(unlink(link.c_str()), 0);
    ASSERT_EQ(symlink(second.path.c_str(), link.c_str()), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1050));
    EXPECT_EQ(port.write(kReadSatRx, 5), 5u);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(second.drain(), std::string("\x00\x00\x00\x00\x13", 5));
    unlink(link.c_str());
}
