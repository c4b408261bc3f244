#include "HardwareSerial.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
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

constexpr short kHangUp = POLLHUP | POLLERR | POLLNVAL;

}  // namespace

HardwareSerial::HardwareSerial(const char* devicePath, uint32_t baud)
    : path(devicePath), baudRate(baud), writeTo(::write) {}

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
    int error = 0;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? EBUSY : errno;
    } else if (ioctl(fd, TIOCEXCL) != 0) {
        error = errno;
    } else {
        exclusive = true;
        if (!configure()) {
            error = errno;
        }
    }
    if (error != 0) {
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
        // The terminal's exclusive mode outlives this descriptor while another one is open (a
        // pseudo-terminal's other side keeps it), so it is cleared by hand, but only if this
        // port set it: a second program's failed open must not clear the first's. The lock
        // goes with the descriptor.
        if (exclusive) {
            ioctl(fd, TIOCNXCL);
            exclusive = false;
        }
        ::close(fd);
        fd = -1;
    }
    head = 0;
    count = 0;
}

void HardwareSerial::lose() {
    if (fd >= 0) {
        hungUp = true;
    }
    close();
}

bool HardwareSerial::takeHangUp() {
    const bool was = hungUp;
    hungUp = false;
    return was;
}

int64_t HardwareSerial::msUntilReopen(uint32_t nowMs) const {
    if (fd >= 0 || !wanted) {
        return -1;
    }
    const uint32_t since = nowMs - lastOpenAttemptMs;
    return since >= kReopenIntervalMs ? 0 : kReopenIntervalMs - since;
}

void HardwareSerial::reopenIfDue() {
    if (msUntilReopen(millis()) == 0) {
        (void)open();
    }
}

void HardwareSerial::begin(uint32_t baud, int, int, int) {
    wanted = true;
    if (fd >= 0 && baud == baudRate) {
        return;
    }
    baudRate = baud;
    if (fd < 0 || !configure()) {
        (void)open();
    }
}

void HardwareSerial::onReady(short revents) {
    if ((revents & kHangUp) != 0) {
        lose();
    } else if ((revents & POLLIN) != 0) {
        receive();
    }
}

// Moves what the device has received into the buffer. When the buffer is full the oldest bytes
// make room, as in a UART's overrun: the driver discards stale bytes before every read anyway.
void HardwareSerial::receive() {
    while (fd >= 0) {
        uint8_t chunk[64];
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got <= 0) {
            if (got < 0 && deviceLost(errno)) {
                lose();
            }
            return;
        }
        received += static_cast<uint64_t>(got);
        for (ssize_t i = 0; i < got; ++i) {
            if (count == kBufferSize) {
                head = (head + 1) % kBufferSize;
                --count;
            }
            buffer[(head + count) % kBufferSize] = chunk[i];
            ++count;
        }
    }
}

// In raw mode without a minimum count a tty read returns 0 both when nothing has arrived and
// after a hang-up, so the hang-up (adapter unplugged, the other end of a pseudo-terminal
// closed) is seen through poll().
void HardwareSerial::fill() {
    reopenIfDue();
    if (fd < 0) {
        return;
    }
    pollfd watch{fd, POLLIN, 0};
    if (poll(&watch, 1, 0) > 0) {
        onReady(watch.revents);
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
    const uint32_t startMs = millis();
    size_t sent = 0;
    while (sent < len) {
        const ssize_t took = writeTo(fd, data + sent, len - sent);
        if (took > 0) {
            sent += static_cast<size_t>(took);
            continue;
        }
        if (took < 0 && errno == EINTR) {
            continue;
        }
        if (took < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            if (deviceLost(errno)) {
                lose();
            }
            break;
        }
        // The device's queue is full: wait for room, briefly. A device that calls itself
        // writable and still takes nothing is given a millisecond between tries.
        const uint32_t waitedMs = millis() - startMs;
        if (waitedMs >= kWriteDeadlineMs) {
            break;
        }
        pollfd watch{fd, POLLOUT, 0};
        const int ready = poll(&watch, 1, static_cast<int>(kWriteDeadlineMs - waitedMs));
        if (ready > 0 && (watch.revents & kHangUp) != 0) {
            lose();
            break;
        }
        if (ready > 0) {
            const timespec pause{0, 1000000};
            nanosleep(&pause, nullptr);
        }
    }
    if (sent == len) {
        return len;
    }
    // Bytes still in the kernel's queue are taken back; on a pseudo-terminal that is all of
    // them. What a UART has already shifted out cannot be.
    if (sent > 0 && fd >= 0) {
        tcflush(fd, TCOFLUSH);
    }
    return 0;
}

// Waits until the frame has left the UART, as a microcontroller's flush() does, so that the
// driver's frame spacing counts from the end of the frame: 11.5 ms for five bytes at 4800 bps.
void HardwareSerial::flush() {
    if (fd >= 0 && tcdrain(fd) != 0 && deviceLost(errno)) {
        lose();
    }
}
