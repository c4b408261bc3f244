#include "CommandLine.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

OptionReader::OptionReader(int argumentCount, char** arguments, const OptionSpec* specs,
                           size_t specCount)
    : argc(argumentCount), argv(arguments), options(specs), count(specCount) {}

int OptionReader::bad(const std::string& text) {
    problem = text;
    return kBad;
}

bool OptionReader::looksLikeOption(const char* word) const {
    if (word[0] != '-' || word[1] == '\0') {
        return false;
    }
    if (word[1] == '-') {
        return true;
    }
    for (size_t i = 0; i < count; ++i) {
        if (options[i].letter != 0 && options[i].letter == word[1]) {
            return true;
        }
    }
    return false;  // "-145900000" is a value, if a wrong one
}

int OptionReader::next() {
    currentValue = nullptr;
    if (index >= argc) {
        return kDone;
    }
    const char* word = argv[index++];
    if (strcmp(word, "--") == 0) {
        return index < argc ? bad("unexpected argument " + quoted(argv[index])) : kDone;
    }
    if (word[0] != '-' || word[1] == '\0') {
        return bad("unexpected argument " + quoted(word));
    }

    int found = -1;
    const char* attached = nullptr;  // --name=VALUE, -xVALUE
    if (word[1] == '-') {
        const char* name = word + 2;
        const char* equals = strchr(name, '=');
        const size_t length = equals != nullptr ? static_cast<size_t>(equals - name) : strlen(name);
        writtenAs.assign(word, length + 2);
        attached = equals != nullptr ? equals + 1 : nullptr;
        std::string candidates;
        int matches = 0;
        for (size_t i = 0; i < count && length > 0; ++i) {
            if (strncmp(options[i].name, name, length) != 0) {
                continue;
            }
            if (strlen(options[i].name) == length) {  // exact: never ambiguous
                found = static_cast<int>(i);
                matches = 1;
                break;
            }
            candidates += std::string(matches == 0 ? "" : ", ") + "--" + options[i].name;
            found = static_cast<int>(i);
            ++matches;
        }
        if (matches > 1) {
            return bad("option " + quoted(writtenAs.c_str()) + " is ambiguous: " + candidates);
        }
    } else {
        writtenAs.assign(word, 2);
        attached = word[2] != '\0' ? word + 2 : nullptr;
        for (size_t i = 0; i < count; ++i) {
            if (options[i].letter != 0 && options[i].letter == word[1]) {
                found = static_cast<int>(i);
            }
        }
    }
    if (found < 0) {
        return bad("unknown option " + quoted(writtenAs.c_str()));
    }

    const OptionSpec& option = options[found];
    if (!option.takesValue) {
        if (attached != nullptr) {
            return bad("option " + quoted(writtenAs.c_str()) + " takes no value");
        }
        return found;
    }
    if (attached != nullptr) {
        currentValue = attached;
    } else if (index < argc && !looksLikeOption(argv[index])) {
        currentValue = argv[index++];
    } else {
        return bad("option " + quoted(writtenAs.c_str()) + " needs a value");
    }
    return found;
}

std::string quoted(const char* text) { return "'" + visible(text) + "'"; }

std::string visible(const char* text) {
    constexpr size_t kShown = 64;
    std::string out;
    size_t shown = 0;
    for (const char* c = text; *c != '\0'; ++c, ++shown) {
        if (shown == kShown) {
            out += "...";
            break;
        }
        const unsigned char byte = static_cast<unsigned char>(*c);
        switch (byte) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                char escape[5];
                snprintf(escape, sizeof escape, "\\x%02x", byte);
                out += escape;
            } else {
                out += static_cast<char>(byte);
            }
        }
    }
    return out;
}

bool parseWholeNumber(const char* text, uint64_t max, uint64_t& value) {
    if (text[0] < '0' || text[0] > '9') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed > max) {
        return false;
    }
    value = parsed;
    return true;
}

bool parseBaud(const char* text, uint32_t& baud, std::string& error) {
    uint64_t value = 0;
    if (!parseWholeNumber(text, UINT32_MAX, value) ||
        !(value == 4800 || value == 9600 || value == 57600)) {
        error = "baud rate " + quoted(text) + " is not one of 4800, 9600, 57600";
        return false;
    }
    baud = static_cast<uint32_t>(value);
    return true;
}

bool parseDecimal(const char* text, double& value) {
    const char* c = text;
    if (*c < '0' || *c > '9') {
        return false;
    }
    while (*c >= '0' && *c <= '9') {
        ++c;
    }
    if (*c == '.') {
        ++c;
        if (*c < '0' || *c > '9') {
            return false;
        }
        while (*c >= '0' && *c <= '9') {
            ++c;
        }
    }
    if (*c != '\0') {
        return false;
    }
    value = strtod(text, nullptr);
    return true;
}
