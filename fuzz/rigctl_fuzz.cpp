// Coverage-guided fuzzing of the station's tracker protocol with libFuzzer. The input is what a
// client sends:
//
//   byte 0      bit 0: the radio is connected, bit 1: strict mode
//   then the client's bytes.
//
// The bytes go to one session a line at a time, each line in two packets split at a point drawn
// from the line itself, and every line must be answered: a line of at most 256 bytes (and a CR)
// that does not begin with the get-DCD byte gets a reply that ends with a newline, one longer
// gets exactly RPRT -1, and no command's reply is longer than the longest the protocol has. A
// line may hold several commands, at most one a word. After a quit the client is answered no
// more.
//
// The same bytes then go to a second session in packets of sizes drawn from the bytes, lines
// split and joined anyhow: its replies must be the same, byte for byte, since how a client's
// bytes are cut into packets must not matter. A broken rule prints the line and aborts, which
// libFuzzer reports with the input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "HeldSettings.h"
#include "RigctlSession.h"

namespace {

constexpr size_t kLongestReply = 1024;  // \dump_caps in the extended form is the longest

[[noreturn]] void broken(const char* rule, const std::string& line, const std::string& reply) {
    std::fprintf(stderr, "rigctl rule broken: %s\nline (%zu bytes): ", rule, line.size());
    for (char c : line) {
        std::fprintf(stderr, "%02X ", static_cast<unsigned>(static_cast<uint8_t>(c)));
    }
    std::fprintf(stderr, "\nreply: %s\n", reply.c_str());
    std::abort();
}

void receive(RigctlSession& session, RigctlStation& station, const uint8_t* bytes, size_t length,
             std::string& out) {
    session.receive(bytes, length, station, out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const bool connected = (data[0] & 1) != 0;
    const bool strict = (data[0] & 2) != 0;
    const uint8_t* stream = data + 1;
    const size_t length = size - 1;

    // A line at a time.
    HeldSettings settings;
    RigctlStation station{settings, connected, strict};
    RigctlSession session;
    std::string all;
    size_t at = 0;
    while (at < length) {
        size_t end = at;
        while (end < length && stream[end] != '\n') {
            ++end;
        }
        const size_t lineLength = end < length ? end - at + 1 : end - at;
        const std::string line(reinterpret_cast<const char*>(stream + at), lineLength);
        const bool complete = end < length;
        const bool quitBefore = session.quitting();
        std::string reply;
        const size_t cut = lineLength > 1 ? stream[at] % lineLength : 0;
        receive(session, station, stream + at, cut, reply);
        receive(session, station, stream + at + cut, lineLength - cut, reply);
        all += reply;
        at += lineLength;

        if (quitBefore) {
            if (!reply.empty()) {
                broken("a client that quit was answered", line, reply);
            }
            continue;
        }
        // Every get-DCD byte at the start of a line is a command of its own, and every word
        // may begin one.
        size_t commands = 1;
        bool blank = true;
        for (char c : line) {
            const bool separates = c == ' ' || c == '\t' || c == '\n';
            commands += static_cast<uint8_t>(c) == 0x8B || (blank && !separates) ? 1 : 0;
            blank = separates;
        }
        if (reply.size() > kLongestReply * commands) {
            broken("a reply longer than any the protocol has", line, reply);
        }
        if (!complete || static_cast<uint8_t>(line[0]) == 0x8B) {
            continue;  // not ended yet; or the byte was answered and the rest is another line
        }
        size_t command = line.size() - 1;  // without the newline
        if (command > 0 && line[command - 1] == '\r') {
            --command;
        }
        if (command > RigctlSession::kMaxLine) {
            if (reply != "RPRT -1\n") {
                broken("an over-long line was not answered RPRT -1", line, reply);
            }
        } else if (reply.empty() || reply.back() != '\n') {
            broken("a line went unanswered", line, reply);
        }
    }

    // The same bytes cut anyhow.
    HeldSettings otherSettings;
    RigctlStation otherStation{otherSettings, connected, strict};
    RigctlSession other;
    std::string otherAll;
    for (size_t from = 0, i = 0; from < length; ++i) {
        const size_t piece = 1 + stream[i % length] % 300;
        const size_t take = piece < length - from ? piece : length - from;
        receive(other, otherStation, stream + from, take, otherAll);
        from += take;
    }
    if (otherAll != all) {
        broken("the replies depend on how the bytes were cut into packets",
               std::string(reinterpret_cast<const char*>(stream), length), otherAll);
    }
    return 0;
}
