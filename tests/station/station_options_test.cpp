#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StationOptions.h"

namespace {

struct Parsed {
    ParseResult result;
    StationOptions options;
    std::string error;
};

Parsed parse(std::vector<std::string> words) {
    words.insert(words.begin(), "ft847-station");
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    Parsed parsed{ParseResult::Bad, {}, {}};
    parsed.result = parseStationOptions(static_cast<int>(words.size()), argv.data(),
                                        parsed.options, parsed.error);
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
    EXPECT_TRUE(p.options.setTone);
    EXPECT_DOUBLE_EQ(p.options.toneHz, 88.5);
    EXPECT_EQ(p.options.pollMs, 250u);
    EXPECT_TRUE(p.options.waitForPort);

    const Parsed minimal = parse({"--port", "/dev/pts/3", "--tone", "off"});
    ASSERT_EQ(minimal.result, ParseResult::Run);
    EXPECT_EQ(minimal.options.baud, 4800u);
    EXPECT_EQ(minimal.options.rxHz, 0u);
    EXPECT_EQ(minimal.options.rxMode, -1);
    EXPECT_TRUE(minimal.options.setTone);
    EXPECT_EQ(minimal.options.toneHz, 0.0);
    EXPECT_FALSE(minimal.options.waitForPort);
}

TEST(StationOptions, NamesTheProblemWithABadArgument) {
    const struct {
        std::vector<std::string> words;
        const char* error;
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
    };
    for (const auto& c : cases) {
        const Parsed p = parse(c.words);
        EXPECT_EQ(p.result, ParseResult::Bad) << c.error;
        EXPECT_EQ(p.error, c.error);
    }
}
