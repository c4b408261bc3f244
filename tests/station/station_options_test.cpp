#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "StationOptions.h"

namespace {

struct Parsed {
    ParseResult result;
    StationOptions options;
    std::string error;
    std::vector<std::string> notes;
};

Parsed parse(std::vector<std::string> words) {
    words.insert(words.begin(), "ft847-station");
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    Parsed parsed{ParseResult::Bad, {}, {}, {}};
    parsed.result = parseStationOptions(static_cast<int>(words.size()), argv.data(),
                                        parsed.options, parsed.error, parsed.notes);
    return parsed;
}

}  // namespace

TEST(StationOptions, TakesEverySettingOfTheCommandLine) {
    const Parsed p = parse({"--port", "/dev/ttyUSB0", "--baud", "57600", "--rx-freq", "145900000",
                            "--tx-freq", "435300005", "--rx-mode", "fm", "--tx-mode", "cw-narrow",
                            "--tone", "88.5", "--poll-ms", "250", "--wait-for-port"});
    ASSERT_EQ(p.result, ParseResult::Run) << p.error;
    EXPECT_EQ(p.options.port, "/dev/ttyUSB0");
    EXPECT_EQ(p.options.baud, 57600u);
    EXPECT_EQ(p.options.rxHz, 145900000u);
    EXPECT_EQ(p.options.txHz, 435300005u);
    EXPECT_EQ(p.options.rxMode, 0x08);
    EXPECT_EQ(p.options.txMode, 0x82);
    EXPECT_EQ(p.options.toneTenths, 885);
    EXPECT_EQ(p.options.pollMs, 250u);
    EXPECT_TRUE(p.options.waitForPort);

    const Parsed minimal = parse({"--port", "/dev/pts/3", "--tone", "off"});
    ASSERT_EQ(minimal.result, ParseResult::Run);
    EXPECT_EQ(minimal.options.baud, 4800u);
    EXPECT_FALSE(minimal.options.rxHz.has_value()) << "left as the radio has it";
    EXPECT_FALSE(minimal.options.txHz.has_value());
    EXPECT_FALSE(minimal.options.rxMode.has_value());
    EXPECT_FALSE(minimal.options.txMode.has_value());
    EXPECT_EQ(minimal.options.toneTenths, 0) << "the encoder off";
    EXPECT_FALSE(minimal.options.waitForPort);
    EXPECT_FALSE(parse({"--port", "p"}).options.toneTenths.has_value());
}

TEST(StationOptions, NamesTheProblemWithABadArgument) {
    const struct {
        std::vector<std::string> words;
        std::string error;
    } cases[] = {
        {{"--port", "p", "--color"}, "unknown option '--color'"},
        {{"--port", "p", "--rx-freq", "9"},
         "frequency '9' is not a whole number of Hz from 10 to 999999990"},
        {{"--port", "p", "--tx-freq", "999999991"},
         "frequency '999999991' is not a whole number of Hz from 10 to 999999990"},
        {{"--port", "p", "--tx-freq", "-145900000"},
         "frequency '-145900000' is not a whole number of Hz from 10 to 999999990"},
        {{"--port", "p", "--rx-freq", "145.9M"},
         "frequency '145.9M' is not a whole number of Hz from 10 to 999999990"},
        {{"--port", "p", "--rx-mode", "am"}, "mode 'am' is not one of lsb, usb, cw, cw-narrow, fm"},
        {{"--port", "p", "--tone", "199.5"},
         "tone '199.5' is not a CTCSS tone of the FT-847 (67.0 to 250.3 Hz) or off"},
        {{"--port", "p", "--tone", "nan"},
         "tone 'nan' is not a CTCSS tone of the FT-847 (67.0 to 250.3 Hz) or off"},
        {{"--port", "p", "--baud", "1200"}, "baud rate '1200' is not one of 4800, 9600, 57600"},
        {{"--port", "p", "--poll-ms", "50"}, "poll interval '50' is not 0 (off) or 100 to 3600000 ms"},
        {{"--port"}, "option '--port' needs a value"},
        {{"--baud", "4800"}, "--port PATH is required"},
        {{"--port", "p", "extra"}, "unexpected argument 'extra'"},
        {{"--port", "p", "--t", "1"}, "option '--t' is ambiguous: --tx-freq, --tx-mode, --tone"},
        {{"--port", "p", "--wait-for-port=yes"}, "option '--wait-for-port' takes no value"},
        {{"--port", "--wait-for-port"}, "option '--port' needs a value"},
        {{"--port", "p", "--baud", "-p"}, "option '--baud' needs a value"},
        {{"--port", "p", "--rx-freq", "0x8B0A0A0"},
         "frequency '0x8B0A0A0' is not a whole number of Hz from 10 to 999999990"},
        {{"--port", "p", "--tone", "0x43"},
         "tone '0x43' is not a CTCSS tone of the FT-847 (67.0 to 250.3 Hz) or off"},
        {{"--port", "p", "--tone", "6.7e1"},
         "tone '6.7e1' is not a CTCSS tone of the FT-847 (67.0 to 250.3 Hz) or off"},
        {{"--port", "p", "--tone", " 67"},
         "tone ' 67' is not a CTCSS tone of the FT-847 (67.0 to 250.3 Hz) or off"},
        {{"--port", "p", "--rx-mode", "fm\n\x1b[2Jx"},
         "mode 'fm\\n\\x1b[2Jx' is not one of lsb, usb, cw, cw-narrow, fm"},
        {{"--port", "p", "--baud", std::string(100, '9')},
         "baud rate '" + std::string(64, '9') + "...' is not one of 4800, 9600, 57600"},
    };
    for (const auto& c : cases) {
        const Parsed p = parse(c.words);
        EXPECT_EQ(p.result, ParseResult::Bad) << c.error;
        EXPECT_EQ(p.error, c.error);
    }
}

TEST(StationOptions, ReadsOptionsTheWayGnuProgramsDo) {
    const Parsed p = parse({"--port=/dev/ttyUSB1", "--rx-f", "145900000", "--tx-m=usb", "-b",
                            "9600", "--wait", "--pol", "0"});
    ASSERT_EQ(p.result, ParseResult::Run) << p.error;
    EXPECT_EQ(p.options.port, "/dev/ttyUSB1");
    EXPECT_EQ(p.options.rxHz, 145900000u);
    EXPECT_EQ(p.options.txMode, 0x01);
    EXPECT_EQ(p.options.baud, 9600u);
    EXPECT_TRUE(p.options.waitForPort);
    EXPECT_EQ(p.options.pollMs, 0u);

    EXPECT_EQ(parse({"-p/dev/pts/4"}).options.port, "/dev/pts/4");
    EXPECT_EQ(parse({"--port", "p", "--he"}).result, ParseResult::Help);
    EXPECT_EQ(parse({"-h"}).result, ParseResult::Help);
}

TEST(StationOptions, TakesAToneOfZeroOrOffInAnyCaseAsNoTone) {
    for (const char* off : {"off", "OFF", "Off", "0", "0.0"}) {
        const Parsed p = parse({"--port", "p", "--tone", off});
        ASSERT_EQ(p.result, ParseResult::Run) << off << ": " << p.error;
        EXPECT_EQ(p.options.toneTenths, 0) << off;
    }
    const Parsed whole = parse({"--port", "p", "--tone", "67"});
    ASSERT_EQ(whole.result, ParseResult::Run) << whole.error;
    EXPECT_EQ(whole.options.toneTenths, 670);
    EXPECT_EQ(parse({"--port", "p", "--tone", "250.3"}).options.toneTenths, 2503);
}

TEST(StationOptions, SaysOnceWhenAFrequencyIsBelowTheRadiosTenHertzStep) {
    const Parsed p = parse({"--port", "p", "--tx-freq", "15", "--rx-freq", "145900000"});
    ASSERT_EQ(p.result, ParseResult::Run) << p.error;
    EXPECT_EQ(p.notes, std::vector<std::string>{
                           "--tx-freq 15 is sent as 10 Hz: the radio tunes in 10 Hz steps"});
}

TEST(StationOptions, TakesTheRigctldAddressAndPort) {
    const struct {
        const char* value;
        const char* address;
        const char* port;
    } good[] = {
        {"4532", "127.0.0.1", "4532"},
        {"0.0.0.0:4532", "0.0.0.0", "4532"},
        {"localhost:0", "localhost", "0"},
        {"[::1]:4533", "::1", "4533"},
        {"65535", "127.0.0.1", "65535"},
    };
    for (const auto& g : good) {
        const Parsed p = parse({"--port", "p", "--rigctld", g.value});
        ASSERT_EQ(p.result, ParseResult::Run) << g.value << ": " << p.error;
        EXPECT_EQ(p.options.rigctldAddress, g.address) << g.value;
        EXPECT_EQ(p.options.rigctldPort, g.port) << g.value;
        EXPECT_FALSE(p.options.rigctldStrict);
    }
    EXPECT_FALSE(parse({"--port", "p"}).options.rigctldPort.has_value()) << "off unless asked for";
    EXPECT_TRUE(parse({"--port", "p", "--rigctld=4532", "--rigctld-strict"}).options.rigctldStrict);

    for (const char* bad : {"65536", "-1", "host:", ":4532", "::1:4532", "[::1]", "[]:4532",
                            "4532x", "a:b:4532"}) {
        const Parsed p = parse({"--port", "p", "--rigctld", bad});
        EXPECT_EQ(p.result, ParseResult::Bad) << bad;
        EXPECT_EQ(p.error, std::string("rigctld address '") + bad +
                               "' is not [ADDR:]PORT with a port from 0 to 65535");
    }
    const Parsed strictAlone = parse({"--port", "p", "--rigctld-strict"});
    EXPECT_EQ(strictAlone.result, ParseResult::Bad);
    EXPECT_EQ(strictAlone.error, "--rigctld-strict needs --rigctld");
}

namespace {

// A configuration file in a scratch folder of its own, removed afterwards.
struct ConfigFile {
    std::string folder;
    std::string path;
    explicit ConfigFile(const std::string& text) {
        char name[] = "/tmp/ft847-config-XXXXXX";
        folder = mkdtemp(name);
        path = folder + "/station.conf";
        FILE* file = fopen(path.c_str(), "w");
        fwrite(text.data(), 1, text.size(), file);
        fclose(file);
    }
    ~ConfigFile() {
        remove(path.c_str());
        rmdir(folder.c_str());
    }
};

struct Read {
    ProgramArguments::Outcome outcome;
    std::string error;
    Parsed parsed;
    bool checkOnly;
};

// The command line through the configuration layer, then through the station's parser.
Read readWithConfig(std::vector<std::string> words) {
    words.insert(words.begin(), "ft847-station");
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    ProgramArguments arguments;
    Read read{ProgramArguments::Outcome::Bad, {}, {ParseResult::Bad, {}, {}, {}}, false};
    read.outcome = readStationArguments(static_cast<int>(words.size()), argv.data(), arguments,
                                        read.error);
    read.checkOnly = arguments.checkOnly();
    if (read.outcome == ProgramArguments::Outcome::Run) {
        read.parsed.result = parseStationOptions(arguments.argc(), arguments.argv(),
                                                 read.parsed.options, read.parsed.error,
                                                 read.parsed.notes);
    }
    return read;
}

}  // namespace

TEST(StationConfigFile, TakesTheFilesOptionsAndTheCommandLineOverridesThem) {
    const ConfigFile file(
        "# the station beside Gpredict\n"
        "\n"
        "port = /dev/ttyUSB0\r\n"
        "  baud=57600   # the radio's CAT rate\n"
        "rx-freq = 145900000\n"
        "tx-mode = fm\n"
        "wait-for-port = Yes\n"
        "rigctld-strict = no\n"
        "rigctld = [::1]:4532\n"
        "tone = 88.5");  // the last line without its newline
    const Read r = readWithConfig({"--rx-freq", "435300000", "--config", file.path, "-b9600"});
    ASSERT_EQ(r.outcome, ProgramArguments::Outcome::Run) << r.error;
    ASSERT_EQ(r.parsed.result, ParseResult::Run) << r.parsed.error;
    const StationOptions& o = r.parsed.options;
    EXPECT_EQ(o.port, "/dev/ttyUSB0");
    EXPECT_EQ(o.baud, 9600u) << "the command line's, wherever it stands";
    EXPECT_EQ(o.rxHz, 435300000u) << "the command line's, though given before --config";
    EXPECT_EQ(o.txMode, 0x08);
    EXPECT_TRUE(o.waitForPort);
    EXPECT_FALSE(o.rigctldStrict);
    EXPECT_EQ(o.rigctldAddress, "::1");
    EXPECT_EQ(o.rigctldPort, "4532");
    EXPECT_EQ(o.toneTenths, 885);

    // What one option needs of another is judged over the file and the command line together.
    const ConfigFile strict("rigctld-strict = yes\n");
    EXPECT_EQ(readWithConfig({"--conf=" + strict.path, "--port", "p", "--rigctld", "0"})
                  .parsed.result,
              ParseResult::Run);
    const Read alone = readWithConfig({"--config", strict.path, "--port", "p"});
    EXPECT_EQ(alone.parsed.error, "--rigctld-strict needs --rigctld");
    EXPECT_EQ(readWithConfig({"--config", strict.path, "--rigctld", "0"}).parsed.error,
              "--port PATH is required");
}

TEST(StationConfigFile, NamesTheFileAndTheLineOfABadOne) {
    const struct {
        std::string text;
        std::string error;  // after "PATH:"
    } cases[] = {
        {"port = p\ncolour = red\n", "2: unknown option 'colour'"},
        {"# a typo\nrx-fre = 145900000\n", "2: unknown option 'rx-fre'"},
        {"rx-freq = 9\n", "1: frequency '9' is not a whole number of Hz from 10 to 999999990"},
        {"\n\nbaud = 1200 # too slow\n", "3: baud rate '1200' is not one of 4800, 9600, 57600"},
        {"port\n", "1: 'port' is not 'name = value'"},
        {"port =\n", "1: option 'port' needs a value"},
        {"wait-for-port = maybe\n", "1: option 'wait-for-port' is yes or no, not 'maybe'"},
        {"help = yes\n", "1: option 'help' belongs on the command line"},
        {"config = other.conf\n", "1: option 'config' belongs on the command line"},
        {"check = no\n", "1: option 'check' belongs on the command line"},
        {"port = p\nmode = fm\x1b[2J\n", "2: unknown option 'mode'"},
        {"rx-mode = fm\x1b[2J\n", "1: mode 'fm\\x1b[2J' is not one of lsb, usb, cw, cw-narrow, fm"},
        {std::string("port = p\0x\n", 11), "1: not a line of text: it holds a NUL byte"},
    };
    for (const auto& c : cases) {
        const ConfigFile file(c.text);
        const Read r = readWithConfig({"--port", "q", "--config", file.path});
        EXPECT_EQ(r.outcome, ProgramArguments::Outcome::Bad) << c.error;
        EXPECT_EQ(r.error, file.path + ":" + c.error);
    }

    const Read missing = readWithConfig({"--config", "/nonexistent/station.conf"});
    EXPECT_EQ(missing.outcome, ProgramArguments::Outcome::Bad);
    EXPECT_EQ(missing.error, "cannot read /nonexistent/station.conf: No such file or directory");
    EXPECT_EQ(readWithConfig({"--config", "/tmp"}).error, "cannot read /tmp: not a regular file");
    const ConfigFile huge(std::string(65537, '#'));
    EXPECT_EQ(readWithConfig({"--config", huge.path}).error,
              "cannot read " + huge.path + ": longer than 65536 bytes");
    EXPECT_EQ(readWithConfig({"--config"}).error, "option '--config' needs a value");
}

// --check, wherever it stands, asks for the options and the file to be checked and nothing to
// run; without it the station runs.
TEST(StationConfigFile, TakesCheckOnTheCommandLine) {
    const ConfigFile file("port = /dev/ttyUSB0\n");
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"--config", file.path, "--check"},
          {"--check", "--config=" + file.path}, {"--check", "--port", "p"}}) {
        const Read r = readWithConfig(words);
        EXPECT_EQ(r.parsed.result, ParseResult::Run) << r.error << r.parsed.error;
        EXPECT_TRUE(r.checkOnly) << words[0];
    }
    EXPECT_FALSE(readWithConfig({"--config", file.path}).checkOnly);
    EXPECT_EQ(readWithConfig({"--check=yes"}).error, "option '--check' takes no value");
}

TEST(StationConfigFile, AnswersVersionBeforeAnythingElseIsChecked) {
    EXPECT_EQ(readWithConfig({"--version"}).outcome, ProgramArguments::Outcome::Version);
    EXPECT_EQ(readWithConfig({"--rx-freq", "9", "--vers"}).outcome,
              ProgramArguments::Outcome::Version);
    EXPECT_EQ(readWithConfig({"--version=1"}).error, "option '--version' takes no value");
    EXPECT_EQ(readWithConfig({"--port", "p", "--help"}).parsed.result, ParseResult::Help);
}
