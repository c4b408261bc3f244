// ft847-emulator: an FT-847 behind a pseudo-terminal, for trying the station program (or any
// CAT software) without a radio. It prints the path of the terminal to open, then takes
// commands on standard input: "off", "on", "status", "quit".

#include <errno.h>
#include <getopt.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "CatProtocol.h"
#include "RadioModel.h"

namespace {

volatile sig_atomic_t stopRequested = 0;

void requestStop(int) { stopRequested = 1; }

uint64_t nowUs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000u +
           static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

const char* modeName(uint8_t mode) {
    const char* name = cat::modeName(mode);
    return name != nullptr ? name : "?";
}

void printStatus(const RadioModel& radio) {
    std::printf("emulator: power %s, CAT %s, SAT %s, RX %llu Hz %s, TX %llu Hz %s, "
                "tone code %02X encoder %s\n",
                radio.powered() ? "on" : "off", radio.catOn ? "on" : "off",
                radio.satOn ? "on" : "off", static_cast<unsigned long long>(radio.satRx.tens) * 10,
                modeName(radio.satRx.mode), static_cast<unsigned long long>(radio.satTx.tens) * 10,
                modeName(radio.satTx.mode), radio.toneCode, radio.toneEncoder ? "on" : "off");
}

// One line of standard input; false on "quit".
bool command(RadioModel& radio, const std::string& line) {
    if (line == "off") {
        radio.setPowered(false);
        std::printf("emulator: off\n");
    } else if (line == "on") {
        radio.setPowered(true);
        std::printf("emulator: on\n");
    } else if (line == "status") {
        printStatus(radio);
    } else if (line == "quit") {
        return false;
    } else if (!line.empty()) {
        std::printf("emulator: commands are off, on, status, quit\n");
    }
    return true;
}

bool parseArguments(int argc, char** argv, RadioModel::Options& options) {
    static const option kOptions[] = {
        {"baud", required_argument, nullptr, 'b'},
        {"latency-ms", required_argument, nullptr, 'l'},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;
    for (int id; (id = getopt_long(argc, argv, "", kOptions, nullptr)) != -1;) {
        char* end = nullptr;
        const unsigned long value = optarg != nullptr ? strtoul(optarg, &end, 10) : 0;
        const bool number = optarg != nullptr && end != optarg && *end == '\0';
        if (id == 'b' && number && (value == 4800 || value == 9600 || value == 57600)) {
            options.baud = static_cast<uint32_t>(value);
        } else if (id == 'l' && number && value <= 1000) {
            options.latencyMs = static_cast<uint32_t>(value);
        } else {
            std::fprintf(stderr, "usage: ft847-emulator [--baud 4800|9600|57600] "
                                 "[--latency-ms 0..1000]\n");
            return false;
        }
    }
    return optind == argc;
}

}  // namespace

int main(int argc, char** argv) {
    RadioModel::Options options;
    if (!parseArguments(argc, argv, options)) {
        return 2;
    }
    int master = -1;
    int slave = -1;
    char path[256] = {};
    if (openpty(&master, &slave, path, nullptr, nullptr) != 0) {
        std::fprintf(stderr, "ft847-emulator: cannot open a pseudo-terminal: %s\n",
                     strerror(errno));
        return 1;
    }
    // The emulator keeps the slave side open too, so that the terminal outlives a program that
    // closes and reopens it.
    termios raw{};
    tcgetattr(master, &raw);
    cfmakeraw(&raw);
    tcsetattr(master, TCSANOW, &raw);

    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    RadioModel radio(options);
    std::printf("emulator: pty %s\n", path);
    std::fflush(stdout);

    std::string input;
    bool stdinOpen = true;
    bool running = true;
    while (running && stopRequested == 0) {
        pollfd watch[2] = {{master, POLLIN, 0}, {stdinOpen ? 0 : -1, POLLIN, 0}};
        poll(watch, 2, 1);
        if ((watch[0].revents & POLLIN) != 0) {
            uint8_t bytes[64];
            const ssize_t got = read(master, bytes, sizeof bytes);
            if (got > 0) {
                const uint64_t now = nowUs();
                radio.receive(bytes, static_cast<size_t>(got),
                              now - radio.byteUs(static_cast<uint64_t>(got)));
            }
        }
        if ((watch[1].revents & (POLLIN | POLLHUP)) != 0) {
            char chunk[128];
            const ssize_t got = read(0, chunk, sizeof chunk);
            if (got <= 0) {
                stdinOpen = false;  // keep answering until a signal stops the emulator
            }
            for (ssize_t i = 0; i < got && running; ++i) {
                if (chunk[i] == '\n') {
                    running = command(radio, input);
                    input.clear();
                } else {
                    input += chunk[i];
                }
            }
            std::fflush(stdout);
        }
        for (uint8_t byte; radio.nextByte(nowUs(), byte);) {
            if (write(master, &byte, 1) != 1) {
                break;
            }
        }
    }
    close(slave);
    close(master);
    return 0;
}
