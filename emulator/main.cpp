// ft847-emulator: an FT-847 behind a pseudo-terminal, for trying the station program (or any
// CAT software) without a radio. It prints the path of the terminal to open, then takes
// commands on standard input: "off", "on", "status", "quit"; it ends at the end of its input.
//
// One poll() loop owns the terminal, standard input and standard output, and sleeps until a
// byte arrives, the radio has a reply byte due, or SIGINT or SIGTERM arrives.

#include <errno.h>
#include <fcntl.h>
#include <pty.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "CatProtocol.h"
#include "CommandLine.h"
#include "ConfigFile.h"
#include "EventLoop.h"
#include "LineOutput.h"
#include "ProgramOutput.h"
#include "RadioModel.h"
#include "StandardStreams.h"

namespace {

const char* const kUsage =
    "usage: ft847-emulator [--baud 4800|9600|57600] [--latency-ms 0..1000] [--log-frames]\n"
    "       ft847-emulator --version\n"
    "Commands on standard input: off, on, status, quit.\n";

enum Option { kBaud, kLatency, kHelp, kLogFrames };

// In the order of Option.
const OptionSpec kOptions[] = {
    {"baud", 'b', true},
    {"latency-ms", 'l', true},
    {"help", 'h', false},
    {"log-frames", 0, false},
};

ParseResult parseArguments(int argc, char** argv, RadioModel::Options& options, bool& logFrames,
                           std::string& error) {
    OptionReader reader(argc, argv, kOptions, sizeof kOptions / sizeof kOptions[0]);
    for (int id; (id = reader.next()) != OptionReader::kDone;) {
        uint64_t value = 0;
        switch (id) {
        case kBaud:
            if (!parseBaud(reader.value(), options.baud, error)) {
                return ParseResult::Bad;
            }
            break;
        case kLatency:
            if (!parseWholeNumber(reader.value(), 1000, value)) {
                error = "latency " + quoted(reader.value()) + " is not 0 to 1000 ms";
                return ParseResult::Bad;
            }
            options.latencyMs = static_cast<uint32_t>(value);
            break;
        case kHelp:
            return ParseResult::Help;
        case kLogFrames:
            logFrames = true;
            break;
        default:
            error = reader.error();
            return ParseResult::Bad;
        }
    }
    return ParseResult::Run;
}

// Bits per second of a termios speed; 0 for one the emulator does not name.
uint32_t bitsPerSecond(speed_t speed) {
    static const struct {
        speed_t code;
        uint32_t bps;
    } speeds[] = {
        {B300, 300},       {B600, 600},       {B1200, 1200},     {B2400, 2400},
        {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
        {B57600, 57600},   {B115200, 115200}, {B230400, 230400},
    };
    for (const auto& s : speeds) {
        if (s.code == speed) {
            return s.bps;
        }
    }
    return 0;
}

const char* modeName(uint8_t mode) {
    const char* name = cat::modeName(mode);
    return name != nullptr ? name : "?";
}

class Emulator {
public:
    Emulator(const RadioModel::Options& options, int masterFd, int slaveFd, LineOutput& output,
             bool logEveryFrame)
        : radio(options), baud(options.baud), master(masterFd), slave(slaveFd), out(output),
          logFrames(logEveryFrame) {}

    // Bytes from the station. A radio set to another speed hears only garbage: while the
    // speed the station set on the terminal differs from the radio's, nothing reaches it.
    void receive() {
        uint8_t bytes[64];
        for (ssize_t got; (got = read(master, bytes, sizeof bytes)) > 0;) {
            if (!lineSpeedMatches()) {
                continue;
            }
            const uint64_t now = EventLoop::nowUs();
            radio.receive(bytes, static_cast<size_t>(got),
                          now - radio.byteUs(static_cast<uint64_t>(got)));
            if (logFrames) {
                logFrame(bytes, static_cast<size_t>(got), now);
            }
        }
    }

    // Reply bytes whose time has come; a station that does not read loses them.
    void send() {
        for (uint8_t byte; radio.nextByte(EventLoop::nowUs(), byte);) {
            const ssize_t written = write(master, &byte, 1);
            (void)written;
        }
    }

    // Microseconds until the next reply byte is due, or -1.
    int64_t usUntilNextByte() const {
        if (!radio.sending()) {
            return -1;
        }
        const uint64_t due = radio.nextByteDueUs();
        const uint64_t now = EventLoop::nowUs();
        return due > now ? static_cast<int64_t>(due - now) : 0;
    }

    // One line of standard input, without its line end; false on "quit".
    bool command(std::string line) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
            line.pop_back();
        }
        if (line == "off") {
            radio.setPowered(false);
            out.post("emulator: off\n");
        } else if (line == "on") {
            radio.setPowered(true);
            out.post("emulator: on\n");
        } else if (line == "status") {
            printStatus();
        } else if (line == "quit") {
            return false;
        } else if (!line.empty()) {
            out.post("emulator: commands are off, on, status, quit\n");
        }
        return true;
    }

    // A program that held the terminal closed it. One that was killed could not clear the
    // terminal's exclusive mode, which the emulator's own descriptor keeps alive: once nobody
    // holds the device's lock, the emulator clears it.
    void deviceClosed() {
        if (flock(slave, LOCK_EX | LOCK_NB) == 0) {
            ioctl(slave, TIOCNXCL);
            flock(slave, LOCK_UN);
        }
    }

private:
    bool lineSpeedMatches() {
        termios tty{};
        const uint32_t line = tcgetattr(slave, &tty) == 0 ? bitsPerSecond(cfgetospeed(&tty)) : 0;
        const bool matches = line == baud;
        if (!matches && line != reportedSpeed) {
            out.post("emulator: line at " + std::to_string(line) + " bps, radio at " +
                     std::to_string(baud) + " bps: not answering\n");
        } else if (matches && reportedSpeed != 0) {
            out.post("emulator: line at " + std::to_string(line) + " bps\n");
        }
        reportedSpeed = matches ? 0 : line;
        return matches;
    }

    void printStatus() {
        char text[320];
        termios tty{};
        int exclusive = 0;
        const uint32_t line = tcgetattr(slave, &tty) == 0 ? bitsPerSecond(cfgetospeed(&tty)) : 0;
        ioctl(slave, TIOCGEXCL, &exclusive);
        snprintf(text, sizeof text,
                 "emulator: power %s, CAT %s, SAT %s, RX %llu Hz %s, TX %llu Hz %s, "
                 "tone code %02X encoder %s, line %u bps%s\n",
                 radio.powered() ? "on" : "off", radio.catOn ? "on" : "off",
                 radio.satOn ? "on" : "off", static_cast<unsigned long long>(radio.satRx.tens) * 10,
                 modeName(radio.satRx.mode), static_cast<unsigned long long>(radio.satTx.tens) * 10,
                 modeName(radio.satTx.mode), radio.toneCode, radio.toneEncoder ? "on" : "off",
                 line, exclusive != 0 ? ", in exclusive use" : "");
        out.post(text);
    }

    // "emulator: frame 14 59 00 00 11 at 123456789": each frame as it arrives, with the
    // monotonic clock in microseconds, for measuring how soon a command reaches the radio.
    void logFrame(const uint8_t* bytes, size_t length, uint64_t nowUs) {
        for (size_t i = 0; i < length; ++i) {
            frame[framed++] = bytes[i];
            if (framed == sizeof frame) {
                framed = 0;
                char line[64];
                snprintf(line, sizeof line, "emulator: frame %02X %02X %02X %02X %02X at %llu\n",
                         frame[0], frame[1], frame[2], frame[3], frame[4],
                         static_cast<unsigned long long>(nowUs));
                out.post(line);
            }
        }
    }

    RadioModel radio;
    const uint32_t baud;
    const int master;
    const int slave;
    LineOutput& out;
    uint32_t reportedSpeed = 0;  // a wrong line speed already reported
    const bool logFrames;
    uint8_t frame[5] = {};
    size_t framed = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (!openStandardDescriptors()) {
        return 1;
    }
    EventLoop loop;
    ProgramOutput output("ft847-emulator", {16384, "emulator: ", nullptr},
                         {4096, nullptr, nullptr});
    LineOutput& out = output.out();

    RadioModel::Options options;
    bool logFrames = false;
    std::string error;
    ProgramArguments arguments;
    switch (arguments.read(argc, argv, kOptions, sizeof kOptions / sizeof kOptions[0], nullptr,
                           error)) {
    case ProgramArguments::Outcome::Version:
        out.post("ft847-emulator " FT847_VERSION "\n");
        return output.finish(0);
    case ProgramArguments::Outcome::Bad:
        return output.endWithoutRunning(ParseResult::Bad, kUsage, error);
    case ProgramArguments::Outcome::Run:
        break;
    }
    const ParseResult parsed =
        parseArguments(arguments.argc(), arguments.argv(), options, logFrames, error);
    if (parsed != ParseResult::Run) {
        return output.endWithoutRunning(parsed, kUsage, error);
    }

    int master = -1;
    int slave = -1;
    char path[256] = {};
    if (openpty(&master, &slave, path, nullptr, nullptr) != 0) {
        output.error(std::string("cannot open a pseudo-terminal: ") + strerror(errno));
        return output.finish(1);
    }
    // The emulator keeps the slave side open too, so that the terminal outlives a program that
    // closes and reopens it, and so that it can read the speed that program set.
    termios raw{};
    tcgetattr(master, &raw);
    cfmakeraw(&raw);
    tcsetattr(master, TCSANOW, &raw);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    const int closes = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (closes >= 0) {
        inotify_add_watch(closes, path, IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
    }

    Emulator emulator(options, master, slave, out, logFrames);
    out.post(std::string("emulator: pty ") + path + "\n");

    std::string input;
    bool running = true;
    while (running && !loop.stopRequested()) {
        emulator.send();
        loop.watch(master, POLLIN, [&](short) { emulator.receive(); });
        loop.watch(0, POLLIN, [&](short) {
            char chunk[256];
            const ssize_t got = read(0, chunk, sizeof chunk);
            if (got <= 0) {
                // The end of the input ends the emulator, after a last line without a newline.
                (void)emulator.command(input);
                running = false;
                return;
            }
            for (ssize_t i = 0; i < got && running; ++i) {
                if (chunk[i] == '\n') {
                    running = emulator.command(input);
                    input.clear();
                } else {
                    input += chunk[i];
                }
            }
        });
        loop.watch(closes, POLLIN, [&](short) {
            char events[4096];
            while (read(closes, events, sizeof events) > 0) {
            }
            emulator.deviceClosed();
        });
        output.watch(loop);
        const int64_t due = emulator.usUntilNextByte();
        if (due >= 0) {
            loop.wakeWithinUs(static_cast<uint64_t>(due));
        }
        loop.wait();
    }
    close(slave);
    close(master);
    return output.finish(0);
}
