#include "HardwareSerial.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "Millis.h"

namespace {

bool speedFor(uint32_t baud, speed_t& speed) {
    switch (baud) {
    case 4800:
        speed = B4800;
        return true;
    case 9600:
        speed = B9600;
        return true;
    case 57600:
        speed = B57600;
        return true;
    default:
        return false;
    }
}

// Errors after which the device is gone until it is opened again.
bool deviceLost(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

}  // namespace

HardwareSerial::HardwareSerial(const char* devicePath) : path(devicePath) {}

HardwareSerial::~HardwareSerial() { close(); }

bool HardwareSerial::baudSupported(uint32_t baud) {
    speed_t speed;
    return speedFor(baud, speed);
}

bool HardwareSerial::open() {
    close();
    lastOpenAttemptMs = millis();
    fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    if (!configure()) {
        const int error = errno;
        close();
        errno = error;
        return false;
    }
    return true;
}

bool HardwareSerial::configure() {
    speed_t speed;
    if (!speedFor(baudRate, speed)) {
        errno = EINVAL;
        return false;
    }
    termios tty{};
    if (tcgetattr(fd, &tty) != 0) {
        return false;
    }
    cfmakeraw(&tty);
    tty.c_cflag &= static_cast<tcflag_t>(~(PARENB | CSIZE | CRTSCTS));
    tty.c_cflag |= CS8 | CSTOPB | CLOCAL | CREAD;
    tty.c_cc[VMIN] = 0;
    tty.c_cc[VTIME] = 0;
    if (cfsetispeed(&tty, speed) != 0 || cfsetospeed(&tty, speed) != 0) {
        return false;
    }
    if (tcsetattr(fd, TCSANOW, &tty) != 0) {
        return false;
    }
    tcflush(fd, TCIOFLUSH);
    return true;
}

void HardwareSerial::close() {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    head = 0;
    count = 0;
}

void HardwareSerial::reopenIfDue() {
    if (fd >= 0 || !wanted) {
        return;
    }
    if (static_cast<uint32_t>(millis() - lastOpenAttemptMs) >= kReopenIntervalMs) {
        (void)open();
    }
}

void HardwareSerial::begin(uint32_t baud, int, int, int) {
    baudRate = baud;
    wanted = true;
    (void)open();
}

// Moves what the device has received into the buffer. In raw mode without a minimum count a
// tty read returns 0 both when nothing has arrived and after a hang-up, so the hang-up (adapter
// unplugged, the other end of a pseudo-terminal closed) is seen through poll().
void HardwareSerial::fill() {
    reopenIfDue();
    if (fd < 0) {
        return;
    }
    pollfd watch{fd, POLLIN, 0};
    if (poll(&watch, 1, 0) < 0) {
        return;
    }
    if ((watch.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        close();
        return;
    }
    while ((watch.revents & POLLIN) != 0 && count < kBufferSize) {
        const size_t tail = (head + count) % kBufferSize;
        const size_t room = tail >= head ? kBufferSize - tail : head - tail;
        const ssize_t got = ::read(fd, buffer + tail, room);
        if (got <= 0) {
            if (got < 0 && deviceLost(errno)) {
                close();
            }
            return;
        }
        count += static_cast<size_t>(got);
    }
}

int HardwareSerial::available() {
    fill();
    return static_cast<int>(count);
}

int HardwareSerial::read() {
    if (count == 0) {
        fill();
    }
    if (count == 0) {
        return -1;
    }
    const uint8_t byte = buffer[head];
    head = (head + 1) % kBufferSize;
    --count;
    return byte;
}

size_t HardwareSerial::write(const uint8_t* data, size_t len) {
    reopenIfDue();
    if (fd < 0) {
        return 0;
    }
    const ssize_t took = ::write(fd, data, len);
    if (took < 0) {
        if (deviceLost(errno)) {
            close();
        }
        return 0;
    }
    return static_cast<size_t>(took);
}

// Waits until the frame has left the UART, as a microcontroller's flush() does, so that the
// driver's frame spacing counts from the end of the frame.
void HardwareSerial::flush() {
    if (fd >= 0 && tcdrain(fd) != 0 && deviceLost(errno)) {
        close();
    }
}
