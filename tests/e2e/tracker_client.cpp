// A satellite tracker for the end-to-end tests: it speaks to ft847-station's rigctld server as
// Gpredict does with a full-duplex radio, one send() per command and one recv() of at most 127
// bytes per reply, and reports what it saw on standard output.
//
//   tracker_client track PORT CYCLES CYCLE_MS DOWN_HZ UP_HZ
//       engages (\set_vfo_opt 1, \chk_vfo, S 1 Sub), then every CYCLE_MS runs Gpredict's cycle
//       with a moving Doppler: f (once a value is set), F, f; i, I, i. Prints one line a cycle,
//       "cycle N down HZ up HZ", with the frequencies it set, and "error COMMAND REPLY" for every
//       command that failed as Gpredict judges it (a set whose reply is not RPRT 0, a get whose
//       reply starts with RPRT), and "knob DOWN|UP HZ" when a read differs by 1 Hz or more from
//       the value read back after the last set. Disengages with q.
//   tracker_client hog PORT SECONDS
//       sends commands without ever reading the replies; prints "dropped" once the station
//       closes the connection, or "kept" after SECONDS.
//   tracker_client latency PORT COUNT GAP_MS DOWN_HZ
//       every GAP_MS sends "F hz" with a new downlink frequency and prints "sent HZ US", the
//       monotonic clock in microseconds just before the send, for the figure of the latency
//       from a set to its frame on the radio's line.
//   tracker_client fill PORT COUNT SECONDS
//       opens COUNT connections, checks that each answers, then holds them for SECONDS; prints
//       "answered N", and for each connection the station closed "closed K".
//   tracker_client churn PORT SECONDS
//       for SECONDS, about 50 times a second, one of: a short session that quits; a connection
//       closed without a word; random bytes, NUL and over-long lines; a reset (RST) in mid-line;
//       a reset with replies still owed; a connection held open for a while, so that the places
//       fill up and newcomers are refused. Prints "connections N" at the end.
//   tracker_client enter PORT SECONDS
//       a tracker that comes when every place may be taken: every 500 ms it connects and asks
//       \chk_vfo, until it is answered; prints "entered after MS", or "kept out" after SECONDS.
//   tracker_client replay PORT CLIENT
//       the command sequence of another program that operators point at the station (skyroof,
//       cqrlog, look4sat, log4om, network-client, gpredict), sent as that program sends it: one
//       packet per step, several commands in one where it puts them so. Prints "error ..." for
//       every reply that is not what the program needs, and "radio ERE" for what the emulator's
//       status must then show: what the program read of the radio, and what it set. Both are
//       POSIX extended regular expressions.
//
// Every wait is bounded. Exits 1 when the station cannot be reached or stops answering.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <regex.h>
#include <stdio.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

constexpr int kReplyTimeoutMs = 3000;

int connectTo(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        perror("tracker_client: connect");
        exit(1);
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

void sleepMs(long ms) {
    const timespec pause{ms / 1000, (ms % 1000) * 1000000};
    nanosleep(&pause, nullptr);
}

long long nowUs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

long nowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

// One command, one reply, as Gpredict does it.
std::string ask(int fd, const std::string& command) {
    const std::string line = command + "\n";
    if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
        fprintf(stderr, "tracker_client: cannot send %s\n", command.c_str());
        exit(1);
    }
    pollfd watch{fd, POLLIN, 0};
    if (poll(&watch, 1, kReplyTimeoutMs) <= 0) {
        fprintf(stderr, "tracker_client: no reply to %s\n", command.c_str());
        exit(1);
    }
    char reply[128];
    const ssize_t got = recv(fd, reply, 127, 0);
    if (got <= 0) {
        fprintf(stderr, "tracker_client: the station closed the connection at %s\n",
                command.c_str());
        exit(1);
    }
    return std::string(reply, static_cast<size_t>(got));
}

std::string firstLine(const std::string& reply) { return reply.substr(0, reply.find('\n')); }

struct Tracker {
    int fd;
    bool haveDown = false;
    bool haveUp = false;
    long lastDown = 0;  // read back after the last set
    long lastUp = 0;

    void set(const char* letter, long hz) {
        const std::string command = std::string(letter) + " " + std::to_string(hz);
        const std::string reply = ask(fd, command);
        if (reply.compare(0, 6, "RPRT 0") != 0) {
            printf("error %s %s\n", command.c_str(), firstLine(reply).c_str());
        }
    }

    bool get(const char* letter, long& hz) {
        const std::string reply = ask(fd, letter);
        if (reply.compare(0, 4, "RPRT") == 0) {
            printf("error %s %s\n", letter, firstLine(reply).c_str());
            return false;
        }
        hz = atol(reply.c_str());
        return true;
    }

    // The downlink or the uplink half of a cycle: read, set, read back.
    void side(const char* reader, const char* writer, const char* name, long hz, bool& have,
              long& last) {
        long read = 0;
        if (have && get(reader, read) && labs(read - last) >= 1) {
            printf("knob %s %ld\n", name, read);
        }
        set(writer, hz);
        sleepMs(5);
        if (get(reader, read)) {
            last = read;
            have = true;
        }
    }
};

int track(int port, int cycles, long cycleMs, long down, long up) {
    Tracker tracker{connectTo(port)};
    ask(tracker.fd, "\\set_vfo_opt 1");
    if (firstLine(ask(tracker.fd, "\\chk_vfo")) != "0") {
        printf("error \\chk_vfo\n");
    }
    ask(tracker.fd, "S 1 Sub");
    for (int cycle = 0; cycle < cycles; ++cycle) {
        const long started = nowMs();
        // A pass: the downlink rises and the uplink falls, in steps that are not multiples of
        // the radio's 10 Hz.
        const long downHz = down + 137L * cycle;
        const long upHz = up - 73L * cycle;
        tracker.side("f", "F", "DOWN", downHz, tracker.haveDown, tracker.lastDown);
        tracker.side("i", "I", "UP", upHz, tracker.haveUp, tracker.lastUp);
        printf("cycle %d down %ld up %ld\n", cycle, downHz, upHz);
        fflush(stdout);
        const long spent = nowMs() - started;
        if (spent < cycleMs) {
            sleepMs(cycleMs - spent);
        }
    }
    const std::string bye = ask(tracker.fd, "q");
    printf("quit %s\n", firstLine(bye).c_str());
    close(tracker.fd);
    return 0;
}

int latency(int port, int count, long gapMs, long down) {
    const int fd = connectTo(port);
    for (int i = 0; i < count; ++i) {
        sleepMs(gapMs);
        const long hz = down + 1000L * (i + 1);
        const long long sentUs = nowUs();
        const std::string reply = ask(fd, "F " + std::to_string(hz));
        printf("sent %ld %lld %s\n", hz, sentUs, firstLine(reply).c_str());
    }
    ask(fd, "q");
    close(fd);
    return 0;
}

int hog(int port, long seconds) {
    const int fd = connectTo(port);
    const int small = 4096;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    std::string burst;
    for (int i = 0; i < 200; ++i) {
        burst += "\\dump_state\n";
    }
    const long deadline = nowMs() + seconds * 1000;
    while (nowMs() < deadline) {
        pollfd watch{fd, POLLOUT, 0};
        poll(&watch, 1, 50);
        if ((watch.revents & (POLLHUP | POLLERR)) != 0) {
            printf("dropped\n");
            return 0;
        }
        if (send(fd, burst.data(), burst.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
            errno != EAGAIN) {
            printf("dropped\n");
            return 0;
        }
    }
    printf("kept\n");
    return 0;
}

int fill(int port, int count, long seconds) {
    std::vector<int> fds;
    int answered = 0;
    for (int i = 0; i < count; ++i) {
        fds.push_back(connectTo(port));
        const std::string line = "\\get_powerstat\n";
        send(fds.back(), line.data(), line.size(), MSG_NOSIGNAL);
        pollfd watch{fds.back(), POLLIN, 0};
        char reply[128];
        if (poll(&watch, 1, 1000) > 0 && recv(fds.back(), reply, 127, 0) > 0) {
            ++answered;
        }
    }
    printf("answered %d\n", answered);
    const long deadline = nowMs() + seconds * 1000;
    std::vector<bool> closed(fds.size(), false);
    while (nowMs() < deadline) {
        for (size_t i = 0; i < fds.size(); ++i) {
            char byte;
            if (!closed[i] && recv(fds[i], &byte, 1, MSG_DONTWAIT) == 0) {
                closed[i] = true;
                printf("closed %zu\n", i);
            }
        }
        sleepMs(20);
    }
    fflush(stdout);
    for (int fd : fds) {
        close(fd);
    }
    return 0;
}

// Closes with a reset instead of an orderly end, as a tracker that crashes or loses its link.
void reset(int fd) {
    const linger abrupt{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
    close(fd);
}

void sendAll(int fd, const std::string& bytes) {
    (void)send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

int churn(int port, long seconds) {
    srand(847);
    std::vector<std::pair<int, long>> held;  // descriptor, when to let go
    long connections = 0;
    const long deadline = nowMs() + seconds * 1000;
    for (long n = 0; nowMs() < deadline; ++n) {
        for (size_t i = held.size(); i-- > 0;) {
            if (nowMs() >= held[i].second) {
                if (n % 2 == 0) {
                    close(held[i].first);
                } else {
                    reset(held[i].first);
                }
                held.erase(held.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
        const int fd = connectTo(port);
        ++connections;
        switch (n % 6) {
        case 0: {  // a short session that quits and takes its replies (or the refusal)
            sendAll(fd, "\\chk_vfo\nF 145900000\nf\n+\\dump_state\nq\n");
            char replies[4096];
            pollfd watch{fd, POLLIN, 0};
            while (poll(&watch, 1, 200) > 0 && recv(fd, replies, sizeof replies, 0) > 0) {
            }
            close(fd);
            break;
        }
        case 1:
            close(fd);
            break;
        case 2: {  // garbage: random bytes, NUL, get-DCD, and a line far over the limit
            std::string junk(static_cast<size_t>(400 + rand() % 2000), '\0');
            for (char& c : junk) {
                c = static_cast<char>(rand() % 256);
            }
            sendAll(fd, junk + std::string(1, '\0') + "\x8b\n" + std::string(3000, 'F'));
            close(fd);
            break;
        }
        case 3:
            sendAll(fd, "F 1459000");
            reset(fd);
            break;
        case 4:  // replies owed, never taken
            sendAll(fd, "\\dump_state\n\\dump_state\n\\dump_state\n");
            reset(fd);
            break;
        default:  // held for up to 2 s: with several of them the places fill up
            sendAll(fd, "\\get_powerstat\n");
            held.emplace_back(fd, nowMs() + 200 + rand() % 1800);
            break;
        }
        sleepMs(20);
    }
    for (const auto& h : held) {
        close(h.first);
    }
    printf("connections %ld\n", connections);
    return 0;
}

int enter(int port, long seconds) {
    const long started = nowMs();
    while (nowMs() - started < seconds * 1000) {
        const int fd = connectTo(port);
        const std::string line = "\\chk_vfo\n";
        send(fd, line.data(), line.size(), MSG_NOSIGNAL);
        pollfd watch{fd, POLLIN, 0};
        char reply[128];
        const bool answered = poll(&watch, 1, 1000) > 0 && recv(fd, reply, 127, 0) > 0;
        close(fd);
        if (answered) {
            printf("entered after %ld\n", nowMs() - started);
            return 0;
        }
        sleepMs(500);
    }
    printf("kept out\n");
    return 0;
}

// One packet of a program's sequence, and what the program needs back: the whole reply must
// match `reply` (a POSIX extended regular expression, in which . matches a newline too);
// nullptr for a program that reads nothing. `radio`, if any, is what the emulator's status
// shows once the client has run, with $1 to $9 the reply's groups.
struct Step {
    const char* send;
    const char* reply;
    const char* radio;
};

struct Program {
    const char* name;
    long gapMs;  // between steps
    std::vector<Step> steps;
};

// Each program's sequence, as the facts about its public source describe it.
const Program kPrograms[] = {
    // SkyRoof: the deprecated transceive command, a simplex set-up, then its poll, a frequency
    // and a mode, and the uplink's CTCSS.
    {"skyroof", 0, {
        {"a\n", "RPRT -18\n", nullptr},
        {"V VFOA\n", "RPRT 0\n", nullptr},
        {"S 0 VFOB\n", "RPRT 0\n", nullptr},
        {"V VFOA\n", "RPRT 0\n", nullptr},
        {"t\nf\n", "RPRT -11\n[0-9]+\n", nullptr},
        {"F 436795010\nM FM 0\n", "RPRT 0\nRPRT 0\n", "RX 436795010 Hz FM,"},
        {"C 885\nU TONE 1\n", "RPRT 0\nRPRT 0\n", "tone code 0E encoder on"},
        {"t\nf\n", "RPRT -11\n436795010\n", nullptr},
    }},
    // CQRLOG: everything in the extended form, its poll three commands on one line.
    {"cqrlog", 0, {
        {"+\\chk_vfo\n", "ChkVFO: 0\n", nullptr},
        {"+\\dump_caps\n",
         "dump_caps:\n.*\nCan get VFO: Y\n.*\nCan set Power Stat: N\n.*\n"
         "Can send Morse: N\nCan send Voice: N\n.*RPRT 0\n",
         nullptr},
        {"+f +m +v\n",
         "get_freq:\nFrequency: ([0-9]+)\nRPRT 0\n"
         "get_mode:\nMode: ([A-Z]+)\nPassband: [0-9]+\nRPRT 0\n"
         "get_vfo:\nVFO: Main\nRPRT 0\n",
         "RX $1 Hz $2,"},
        {"+\\set_vfo VFOA\n", "set_vfo: VFOA\nRPRT 0\n", nullptr},
        {"+f +m +v\n",
         "get_freq:\nFrequency: ([0-9]+)\nRPRT 0\n"
         "get_mode:\nMode: ([A-Z]+)\nPassband: [0-9]+\nRPRT 0\n"
         "get_vfo:\nVFO: Main\nRPRT 0\n",
         "RX $1 Hz $2,"},
    }},
    // Look4Sat: the downlink once in a while, and never a read.
    {"look4sat", 100, {
        {"F 145800000\n", nullptr, nullptr},
        {"F 145800120\n", nullptr, nullptr},
        {"F 145800240\n", nullptr, "RX 145800240 Hz"},
    }},
    // Log4OM: both VFOs at a glance; nobody sets the uplink's mode, so it is the radio's own.
    {"log4om", 0, {
        {"\\get_vfo_info VFOA\n\\get_vfo_info VFOB\n",
         "Freq: ([0-9]+)\nMode: ([A-Z]+)\nWidth: [0-9]+\nSplit: 1\nSatMode: 1\n"
         "Freq: ([0-9]+)\nMode: ([A-Z]+)\nWidth: [0-9]+\nSplit: 1\nSatMode: 1\n",
         "RX $1 Hz $2, TX $3 Hz $4,"},
    }},
    // WSJT-X, JTDX or fldigi through the network client: the radio must be on, VFO mode off,
    // a complete \dump_state, the radio's state (m before any M), the lock before M, then the
    // dial frequency.
    {"network-client", 0, {
        {"\\get_powerstat\n", "1\n", nullptr},
        {"\\chk_vfo\n", "0\n", nullptr},
        {"\\dump_state\n", "1\n2\n2\n.*\ndone\n", nullptr},
        {"v\n", "Main\n", nullptr},
        {"f\n", "[0-9]+\n", nullptr},
        {"s\n", "1\nSub\n", nullptr},
        {"m\n", "(LSB|USB|CW|CWR|AM|FM|FMN)\n[0-9]+\n", nullptr},
        {"\\get_powerstat\n", "1\n", nullptr},
        {"\\get_lock_mode\n", "0\nRPRT 0\n", nullptr},
        {"M USB 2400\n", "RPRT 0\n", nullptr},
        {"F 144174000\n", "RPRT 0\n", nullptr},
        {"f\nm\n", "144174000\nUSB\n2400\n", "RX 144174000 Hz USB,"},
    }},
    // Gpredict, full duplex: engage, then a cycle of the downlink and the uplink.
    {"gpredict", 0, {
        {"\\set_vfo_opt 1\n", "RPRT -11\n", nullptr},
        {"\\chk_vfo\n", "0\n", nullptr},
        {"S 1 Sub\n", "RPRT 0\n", nullptr},
        {"F 437800003\n", "RPRT 0\n", nullptr},
        {"f\n", "437800000\n", nullptr},
        {"i\n", "[0-9]+\n", nullptr},
        {"I 145900007\n", "RPRT 0\n", nullptr},
        {"i\n", "145900000\n", "RX 437800000 Hz [^,]*, TX 145900000 Hz"},
        {"q\n", "RPRT 0\n", nullptr},
    }},
};

// Replies until they match `pattern` in full, for at most kReplyTimeoutMs; `groups` then holds
// the pattern's groups, the whole reply first.
bool awaitReply(int fd, const char* pattern, std::string& got, std::vector<std::string>& groups) {
    regex_t compiled;
    if (regcomp(&compiled, (std::string("^") + pattern + "$").c_str(), REG_EXTENDED) != 0) {
        fprintf(stderr, "tracker_client: bad pattern %s\n", pattern);
        exit(2);
    }
    regmatch_t match[10];
    const long deadline = nowMs() + kReplyTimeoutMs;
    bool matched = false;
    while (!(matched = regexec(&compiled, got.c_str(), 10, match, 0) == 0)) {
        pollfd watch{fd, POLLIN, 0};
        char bytes[128];
        ssize_t n = 0;
        if (poll(&watch, 1, static_cast<int>(deadline - nowMs())) <= 0 ||
            (n = recv(fd, bytes, 127, 0)) <= 0) {
            break;
        }
        got.append(bytes, static_cast<size_t>(n));
    }
    for (size_t i = 0; matched && i < 10 && match[i].rm_so >= 0; ++i) {
        groups.push_back(got.substr(static_cast<size_t>(match[i].rm_so),
                                    static_cast<size_t>(match[i].rm_eo - match[i].rm_so)));
    }
    regfree(&compiled);
    return matched;
}

std::string visible(const std::string& text) {
    std::string shown;
    for (char c : text) {
        shown += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return shown;
}

int replay(int port, const std::string& name) {
    const Program* program = nullptr;
    for (const Program& candidate : kPrograms) {
        program = candidate.name == name ? &candidate : program;
    }
    if (program == nullptr) {
        fprintf(stderr, "tracker_client: no program %s\n", name.c_str());
        return 2;
    }
    const int fd = connectTo(port);
    for (const Step& step : program->steps) {
        sleepMs(program->gapMs);
        const size_t length = strlen(step.send);
        if (send(fd, step.send, length, MSG_NOSIGNAL) != static_cast<ssize_t>(length)) {
            printf("error %s: cannot send %s\n", program->name, visible(step.send).c_str());
            return 1;
        }
        std::string got;
        std::vector<std::string> groups;
        if (step.reply != nullptr && !awaitReply(fd, step.reply, got, groups)) {
            printf("error %s: %s answered %s\n", program->name, visible(step.send).c_str(),
                   visible(got).c_str());
            continue;
        }
        if (step.radio != nullptr) {
            std::string radio = step.radio;
            for (size_t at = radio.find('$'); at != std::string::npos; at = radio.find('$', at)) {
                const size_t group = static_cast<size_t>(radio[at + 1] - '0');
                radio.replace(at, 2, group < groups.size() ? groups[group] : "");
            }
            printf("radio %s\n", radio.c_str());
        }
    }
    // A program that never reads keeps its connection: the station has not closed it.
    pollfd watch{fd, POLLRDHUP, 0};
    if (program->steps.front().reply == nullptr && poll(&watch, 1, 300) > 0) {
        printf("error %s: the station closed the connection\n", program->name);
    }
    close(fd);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "track" && argc == 7) {
        return track(atoi(argv[2]), atoi(argv[3]), atol(argv[4]), atol(argv[5]), atol(argv[6]));
    }
    if (mode == "latency" && argc == 6) {
        return latency(atoi(argv[2]), atoi(argv[3]), atol(argv[4]), atol(argv[5]));
    }
    if (mode == "hog" && argc == 4) {
        return hog(atoi(argv[2]), atol(argv[3]));
    }
    if (mode == "fill" && argc == 5) {
        return fill(atoi(argv[2]), atoi(argv[3]), atol(argv[4]));
    }
    if (mode == "churn" && argc == 4) {
        return churn(atoi(argv[2]), atol(argv[3]));
    }
    if (mode == "enter" && argc == 4) {
        return enter(atoi(argv[2]), atol(argv[3]));
    }
    if (mode == "replay" && argc == 4) {
        return replay(atoi(argv[2]), argv[3]);
    }
    fprintf(stderr, "usage: tracker_client track PORT CYCLES CYCLE_MS DOWN_HZ UP_HZ\n"
                    "       tracker_client latency PORT COUNT GAP_MS DOWN_HZ\n"
                    "       tracker_client hog PORT SECONDS\n"
                    "       tracker_client fill PORT COUNT SECONDS\n"
                    "       tracker_client churn PORT SECONDS\n"
                    "       tracker_client enter PORT SECONDS\n"
                    "       tracker_client replay PORT CLIENT\n");
    return 2;
}
