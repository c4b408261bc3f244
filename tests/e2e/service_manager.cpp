// systemd's side of the notification protocol, for the end-to-end tests: it binds an AF_UNIX
// datagram socket at PATH, the NOTIFY_SOCKET of the program under test, and prints every
// assignment of every datagram that comes, one a line, behind the monotonic clock in
// milliseconds:
//
//   service_manager PATH
//       prints "listening" once bound, then "MS NAME=value" lines, until it is killed.
//
// A datagram is taken whole: one that is larger than systemd would take (4 KiB and more here)
// is printed as "MS oversized BYTES".

#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <string>

namespace {

long nowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    sockaddr_un address{};
    if (argc != 2 || strlen(argv[1]) >= sizeof address.sun_path) {
        fprintf(stderr, "usage: service_manager PATH\n");
        return 2;
    }
    address.sun_family = AF_UNIX;
    strcpy(address.sun_path, argv[1]);
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        perror("service_manager: bind");
        return 1;
    }
    printf("listening\n");
    char datagram[4096];
    for (;;) {
        const ssize_t got = recv(fd, datagram, sizeof datagram, MSG_TRUNC);
        if (got < 0) {
            perror("service_manager: recv");
            return 1;
        }
        const long ms = nowMs();
        if (static_cast<size_t>(got) >= sizeof datagram) {
            printf("%ld oversized %zd\n", ms, got);
            continue;
        }
        const std::string text(datagram, static_cast<size_t>(got));
        for (size_t start = 0; start <= text.size();) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) {
                end = text.size();
            }
            if (end > start) {
                printf("%ld %s\n", ms, text.substr(start, end - start).c_str());
            }
            start = end + 1;
        }
    }
}
