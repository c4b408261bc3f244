// Coverage-guided fuzzing of the station's tracker protocol with libFuzzer. The input is what
// clients send:
//
//   byte 0      bit 0: the radio is connected, bit 1: strict mode
//   then lines, each ended by a newline and sent by client (byte value of the line's first
//   byte) % 3, in two packets split at a point drawn from the line itself.
//
// Every line must be answered: a line of at most 256 bytes that does not begin with the
// get-DCD byte gets a reply that ends with a newline, one longer gets exactly RPRT -1, and no
// command's reply is longer than the longest the protocol has. After a quit a client is answered no
// more. A broken rule prints the line and aborts, which libFuzzer reports with the input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "HeldSettings.h"
#include "RigctlSession.h"

namespace {

constexpr size_t kClients = 3;
constexpr size_t kLongestReply = 1024;  // \dump_state in the extended form is the longest

[[noreturn]] void broken(const char* rule, const std::string& line, const std::string& reply) {
    std::fprintf(stderr, "rigctl rule broken: %s\nline (%zu bytes): ", rule, line.size());
    for (char c : line) {
        std::fprintf(stderr, "%02X ", static_cast<unsigned>(static_cast<uint8_t>(c)));
    }
    std::fprintf(stderr, "\nreply: %s\n", reply.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    HeldSettings settings;
    RigctlStation station{settings, (data[0] & 1) != 0, (data[0] & 2) != 0};
    RigctlSession sessions[kClients];

    size_t at = 1;
    while (at < size) {
        size_t end = at;
        while (end < size && data[end] != '\n') {
            ++end;
        }
        if (end == size) {
            break;  // a last line without its newline is not complete yet
        }
        const std::string line(reinterpret_cast<const char*>(data + at), end - at + 1);
        RigctlSession& session = sessions[data[at] % kClients];
        const bool quitBefore = session.quitting();
        std::string reply;
        const size_t cut = line.size() > 1 ? data[at] % line.size() : 0;
        session.receive(reinterpret_cast<const uint8_t*>(line.data()), cut, station, reply);
        session.receive(reinterpret_cast<const uint8_t*>(line.data()) + cut, line.size() - cut,
                        station, reply);
        at = end + 1;

        if (quitBefore) {
            if (!reply.empty()) {
                broken("a client that quit was answered", line, reply);
            }
            continue;
        }
        // Every get-DCD byte at the start of a line is a command of its own.
        size_t commands = 1;
        for (char c : line) {
            commands += static_cast<uint8_t>(c) == 0x8B ? 1 : 0;
        }
        if (reply.size() > kLongestReply * commands) {
            broken("a reply longer than any the protocol has", line, reply);
        }
        if (static_cast<uint8_t>(line[0]) == 0x8B) {
            continue;  // answered as a command of its own; the rest is another line
        }
        if (line.size() - 1 > RigctlSession::kMaxLine) {
            if (reply != "RPRT -1\n") {
                broken("an over-long line was not answered RPRT -1", line, reply);
            }
        } else if (reply.empty() || reply.back() != '\n') {
            broken("a line went unanswered", line, reply);
        }
    }
    return 0;
}
