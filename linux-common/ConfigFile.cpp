#include "ConfigFile.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string trimmed(const std::string& text) {
    const char* const blanks = " \t\r";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool isOneOf(const std::string& word, std::initializer_list<const char*> choices) {
    for (const char* choice : choices) {
        if (strcasecmp(word.c_str(), choice) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

ProgramArguments::Outcome ProgramArguments::read(int argc, char** argv, const OptionSpec* options,
                                                 size_t count, const LineCheck& checkLine,
                                                 std::string& error) {
    // The program's options and this layer's, read by the same rules (prefixes, =VALUE).
    std::vector<OptionSpec> all(options, options + count);
    const size_t version = all.size();
    all.push_back({"version", 0, false});
    const size_t config = all.size();
    const size_t checkOption = config + 1;
    if (checkLine) {
        all.push_back({"config", 0, true});
        all.push_back({"check", 0, false});
    }

    std::vector<std::string> given;
    std::string path;
    bool configured = false;
    OptionReader reader(argc, argv, all.data(), all.size());
    for (;;) {
        const int id = reader.next();
        if (id == OptionReader::kDone) {
            break;
        }
        if (id == OptionReader::kBad) {
            error = reader.error();
            return Outcome::Bad;
        }
        const size_t which = static_cast<size_t>(id);
        if (which == version) {
            return Outcome::Version;
        }
        if (checkLine && which == config) {
            path = reader.value();
            configured = true;
            continue;
        }
        if (checkLine && which == checkOption) {
            check = true;
            continue;
        }
        const OptionSpec& option = all[which];
        given.push_back(std::string("--") + option.name +
                        (option.takesValue ? std::string("=") + reader.value() : ""));
    }

    words.assign(1, argc > 0 ? argv[0] : "");
    if (configured && !readFile(path, options, count, checkLine, error)) {
        return Outcome::Bad;
    }
    words.insert(words.end(), given.begin(), given.end());
    pointers.clear();
    for (std::string& word : words) {
        pointers.push_back(&word[0]);
    }
    pointers.push_back(nullptr);
    return Outcome::Run;
}

bool ProgramArguments::readFile(const std::string& path, const OptionSpec* options, size_t count,
                                const LineCheck& checkLine, std::string& error) {
    const std::string shown = visible(path.c_str());
    // O_NONBLOCK: a FIFO given by mistake must not hang the program in open().
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = "cannot read " + shown + ": " + strerror(errno);
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        error = "cannot read " + shown + ": not a regular file";
        return false;
    }
    std::string text;
    for (;;) {
        char chunk[4096];
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = "cannot read " + shown + ": " + strerror(errno);
            close(fd);
            return false;
        }
        if (got == 0) {
            break;
        }
        text.append(chunk, static_cast<size_t>(got));
        if (text.size() > kMaxFileBytes) {
            close(fd);
            error = "cannot read " + shown + ": longer than " + std::to_string(kMaxFileBytes) +
                    " bytes";
            return false;
        }
    }
    close(fd);

    size_t number = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        ++number;
        if (!readLine(text.substr(start, end - start), options, count, checkLine, error)) {
            error = shown + ":" + std::to_string(number) + ": " + error;
            return false;
        }
        start = end + 1;
    }
    return true;
}

bool ProgramArguments::readLine(std::string line, const OptionSpec* options, size_t count,
                                const LineCheck& checkLine, std::string& error) {
    if (line.find('\0') != std::string::npos) {
        error = "not a line of text: it holds a NUL byte";
        return false;
    }
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) {
            line.resize(i);
            break;
        }
    }
    line = trimmed(line);
    if (line.empty()) {
        return true;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
        error = quoted(line.c_str()) + " is not 'name = value'";
        return false;
    }
    const std::string name = trimmed(line.substr(0, equals));
    const std::string value = trimmed(line.substr(equals + 1));
    if (name == "help" || name == "config" || name == "check" || name == "version") {
        error = "option " + quoted(name.c_str()) + " belongs on the command line";
        return false;
    }
    const OptionSpec* option = nullptr;
    for (size_t i = 0; i < count && option == nullptr; ++i) {
        option = name == options[i].name ? &options[i] : nullptr;
    }
    if (option == nullptr) {
        error = "unknown option " + quoted(name.c_str());
        return false;
    }

    std::string argument = "--" + name;
    if (option->takesValue) {
        if (value.empty()) {
            error = "option " + quoted(name.c_str()) + " needs a value";
            return false;
        }
        argument += "=" + value;
    } else if (isOneOf(value, {"no", "false", "off"})) {
        return true;
    } else if (!isOneOf(value, {"yes", "true", "on"})) {
        error = "option " + quoted(name.c_str()) + " is yes or no, not " + quoted(value.c_str());
        return false;
    }
    if (checkLine && !checkLine(argument, error)) {
        return false;
    }
    words.push_back(argument);
    return true;
}
