// The rigctld protocol as a tracker speaks it to the station, one connection at a time, and the
// held settings behind it.

#include <gtest/gtest.h>

#include <string>

#include "HeldSettings.h"
#include "RigctlSession.h"

namespace {

using Item = HeldSettings::Item;

struct Tracker {
    HeldSettings settings;
    RigctlStation station{settings, true, false};
    RigctlSession session;

    // Everything the station answers to `text`, sent as one packet.
    std::string send(const std::string& text) {
        std::string out;
        session.receive(reinterpret_cast<const uint8_t*>(text.data()), text.size(), station, out);
        return out;
    }

    uint64_t held(Item item) const {
        uint64_t value = 0;
        EXPECT_TRUE(settings.get(item, value));
        return value;
    }
};

struct Exchange {
    const char* request;
    const char* reply;
};

void expectReplies(Tracker& tracker, std::initializer_list<Exchange> exchanges) {
    for (const Exchange& e : exchanges) {
        EXPECT_EQ(tracker.send(e.request), e.reply) << "request: " << e.request;
    }
}

}  // namespace

TEST(RigctlFraming, AnswersEveryLineOnceWhateverThePacketsLookLike) {
    Tracker t;
    // Several commands in one packet, and one command split over three.
    EXPECT_EQ(t.send("F 145900000\nf\nI 435000000\n"), "RPRT 0\n145900000\nRPRT 0\n");
    EXPECT_EQ(t.send("i"), "");
    EXPECT_EQ(t.send("\r"), "");
    EXPECT_EQ(t.send("\n"), "435000000\n");
    // CR LF ends work; a blank line is no command, yet it is answered.
    EXPECT_EQ(t.send("f\r\n\r\n  \n"), "145900000\nRPRT -11\nRPRT -11\n");
}

TEST(RigctlFraming, SkipsOverLongLinesAndJunkWithAnError) {
    Tracker t;
    // 256 bytes are a line; the 257th makes it too long, answered at once and skipped to its
    // newline, however many packets that takes.
    EXPECT_EQ(t.send("F " + std::string(254, '1') + "\n"), "RPRT -1\n");
    EXPECT_EQ(t.send(std::string(257, 'f')), "RPRT -1\n");
    EXPECT_EQ(t.send(std::string(5000, 'F')), "");
    // The set is the tail of the long line; the read after it is answered.
    EXPECT_EQ(t.send("F 145900000\nf\n"), "RPRT -11\n");

    // 256 bytes of command with a CR LF line end are still a line.
    EXPECT_EQ(t.send("F 145900000" + std::string(245, ' ') + "\r\n"), "RPRT 0\n");
    EXPECT_EQ(t.send("F 145900000" + std::string(246, ' ') + "\r\n"), "RPRT -1\n");

    Tracker junk;
    EXPECT_EQ(junk.send(std::string("\0\n", 2)), "RPRT -11\n");
    EXPECT_EQ(junk.send(std::string("F \0", 3) + "145900000\n"), "RPRT -1\n");
    EXPECT_EQ(junk.send("\xff\xfe\x01\n"), "RPRT -11\n");
    EXPECT_EQ(junk.send(std::string("M USB\0junk 2400\n", 16)), "RPRT -1\n");
    EXPECT_EQ(junk.send("ff\n"), "RPRT -11\n");
    EXPECT_EQ(junk.send("\\get_freqx\n"), "RPRT -11\n");
    EXPECT_EQ(junk.send("\\\n"), "RPRT -11\n");
    EXPECT_EQ(junk.send("+\n+;\n"), "RPRT -11\nRPRT -11\n");
}

TEST(RigctlFraming, AnswersGetDcdAsOneByteWithOrWithoutItsNewline) {
    Tracker t;
    EXPECT_EQ(t.send("\x8b"), "RPRT -11\n");
    EXPECT_EQ(t.send("\r\n"), "") << "the newline after the byte belongs to it";
    EXPECT_EQ(t.send("\x8b" "f\n"), "RPRT -11\nRPRT -11\n") << "nothing set yet: f has no value";
}

TEST(RigctlFraming, ALineIsAStreamOfCommandsEachAnsweredInOrderInItsOwnForm) {
    Tracker t;
    expectReplies(t, {
        {"F 145900000 M FM 0 I 435000000\n", "RPRT 0\nRPRT 0\nRPRT 0\n"},
        // CQRLOG's poll: each command has its own prefix, and its own reply.
        {"+f +m +v\n",
         "get_freq:\nFrequency: 145900000\nRPRT 0\n"
         "get_mode:\nMode: FM\nPassband: 15000\nRPRT 0\n"
         "get_vfo:\nVFO: Main\nRPRT 0\n"},
        {"f +;i s\n", "145900000\nget_split_freq:;TX Frequency: 435000000;RPRT 0\n1\nSub\n"},
        {"+ f\n", "get_freq:\nFrequency: 145900000\nRPRT 0\n"},
        {"V Sub m M Sub USB 2400 x\n", "RPRT 0\nRPRT -11\nRPRT 0\nUSB\n2400\n"},
        {"\\get_freq \\chk_vfo +\\get_lock_mode\n",
         "145900000\n0\nget_lock_mode:\nLocked: 0\nRPRT 0\n"},
        // The words up to the next command are the arguments, as bad as they may be.
        {"F 145910000 1 f\n", "RPRT -1\n145900000\n"},
        {"f junk v\n", "145900000\nSub\n"},
        // A command the station does not know is answered RPRT -11, its words up to the next
        // command taken for its arguments; any long name begins a command.
        {"w FA; f\n", "RPRT -11\n145900000\n"},
        {"+f +\\get_level STRENGTH v\n",
         "get_freq:\nFrequency: 145900000\nRPRT 0\nRPRT -11\nSub\n"},
        {"f ff f\n", "145900000\n145900000\n"},
        {"T 1 t q f\n", "RPRT -11\nRPRT -11\nRPRT 0\n"},
    });
    EXPECT_TRUE(t.session.quitting());

    // As many commands as fit in the longest line, and a byte more is one RPRT -1.
    Tracker many;
    std::string line;
    for (int i = 0; i < 128; ++i) {
        line += "v ";
    }
    std::string replies;
    for (int i = 0; i < 128; ++i) {
        replies += "Main\n";
    }
    EXPECT_EQ(many.send(line + "\n"), replies);
    EXPECT_EQ(many.send(line + "v\n"), "RPRT -1\n");
}

TEST(RigctlFraming, QuitAnswersThenIgnoresTheRest) {
    Tracker t;
    EXPECT_EQ(t.send("T 1\nq\nF 145900000\n"), "RPRT -11\nRPRT 0\n");
    EXPECT_TRUE(t.session.quitting());
    uint64_t hz = 0;
    EXPECT_FALSE(t.settings.get(Item::DownlinkFrequency, hz));
    Tracker upper;
    EXPECT_EQ(upper.send("Q\n"), "RPRT 0\n");
    EXPECT_TRUE(upper.session.quitting());
}

TEST(RigctlFrequency, ReadsBackAsTheRadioKeepsIt) {
    Tracker t;
    expectReplies(t, {
        // Gpredict's %10.0f, decimals, and the unit Hz the radio drops.
        {"F  145953000\n", "RPRT 0\n"},
        {"f\n", "145953000\n"},
        {"F 145900123.000000\n", "RPRT 0\n"},
        {"f\n", "145900120\n"},
        {"I 435000005\n", "RPRT 0\n"},
        {"i\n", "435000000\n"},
        {"F 10\n", "RPRT 0\n"},
        {"F 999999990\n", "RPRT 0\n"},
        {"f\n", "999999990\n"},
    });
    for (const char* bad : {"F 9\n", "F 0\n", "F 999999991\n", "F -145900000\n", "F 1.45e8\n",
                            "F\n", "F 145900000 1\n", "F 0x8B\n", "F 99999999999999999999\n",
                            "I .5\n"}) {
        EXPECT_EQ(t.send(bad), "RPRT -1\n") << bad;
    }
    EXPECT_EQ(t.held(Item::DownlinkFrequency), 999999990u) << "a refused set changes nothing";
    EXPECT_EQ(t.held(Item::UplinkFrequency), 435000000u);
}

TEST(RigctlFrequency, AcceptsAVfoTokenBeforeTheArguments) {
    Tracker t;
    expectReplies(t, {
        {"F currVFO 145900000\n", "RPRT 0\n"},
        {"f currVFO\n", "145900000\n"},
        {"I VFOA 435100000\n", "RPRT 0\n"},
        {"i Sub\n", "435100000\n"},
        // A VFO named outright: Sub and VFOB are the uplink.
        {"F Sub 435200000\n", "RPRT 0\n"},
        {"f VFOB\n", "435200000\n"},
        {"f Main\n", "145900000\n"},
    });
}

TEST(RigctlReplies, ExtendedFormHasAHeaderLabelledValuesAndAResult) {
    Tracker t;
    expectReplies(t, {
        // A set echoes its arguments in the header; a get labels each value.
        {"+F 145900000\n", "set_freq: 145900000\nRPRT 0\n"},
        {"+f\n", "get_freq:\nFrequency: 145900000\nRPRT 0\n"},
        {"+I VFOB 435000000\n", "set_split_freq: VFOB 435000000\nRPRT 0\n"},
        {"+M USB 2400\n", "set_mode: USB 2400\nRPRT 0\n"},
        {"+m\n", "get_mode:\nMode: USB\nPassband: 2400\nRPRT 0\n"},
        {"+x\n", "get_split_mode:\nRPRT -11\n"},
        {"+s\n", "get_split_vfo:\nSplit: 1\nTX VFO: Sub\nRPRT 0\n"},
        // An error: the header and the result, no values.
        {"+t\n", "get_ptt:\nRPRT -11\n"},
        {"+F 5\n", "set_freq: 5\nRPRT -1\n"},
        // A separator after the + joins the lines.
        {"+;f\n", "get_freq:;Frequency: 145900000;RPRT 0\n"},
        {"+|s\n", "get_split_vfo:|Split: 1|TX VFO: Sub|RPRT 0\n"},
        {"+,F 145910000\n", "set_freq: 145910000,RPRT 0\n"},
        // Long names work in both forms.
        {"\\get_freq\n", "145910000\n"},
        {"+\\set_split_freq 435010000\n", "set_split_freq: 435010000\nRPRT 0\n"},
        // Those with a form of their own.
        {"+\\chk_vfo\n", "ChkVFO: 0\n"},
        {"+\\get_lock_mode\n", "get_lock_mode:\nLocked: 0\nRPRT 0\n"},
        {"+AOS\n", "RPRT 0\n"},
        {"+w FA;\n", "RPRT -11\n"},
        {"+\\set_trn OFF\n", "set_trn: OFF\nRPRT -18\n"},
        {"+S 0 VFOB\n", "set_split_vfo: 0 VFOB\nRPRT 0\n"},
    });
    const std::string dump = t.send("+;\\dump_state\n");
    EXPECT_EQ(dump.rfind("dump_state:;1;2;2;", 0), 0u) << dump;
    EXPECT_NE(dump.find(";done;RPRT 0\n"), std::string::npos) << dump;
    EXPECT_EQ(dump.find('\n'), dump.size() - 1) << "one line, joined by the separator";
    EXPECT_EQ(t.send("+q\n"), "RPRT 0\n");
    EXPECT_TRUE(t.session.quitting());
}

TEST(RigctlReplies, NormalFormOfTheCommandsWithoutAValue) {
    Tracker t;
    expectReplies(t, {
        {"\\chk_vfo\n", "0\n"},
        {"\\get_lock_mode\n", "0\nRPRT 0\n"},
        {"\\set_vfo_opt 1\n", "RPRT -11\n"},
        {"S 1 Sub\n", "RPRT 0\n"},
        {"S 1 Main\n", "RPRT 0\n"},
        {"S 0 Sub\n", "RPRT 0\n"},  // and the radio stays in SAT mode: s says so
        {"S 2 Sub\n", "RPRT -1\n"},
        {"S 1\n", "RPRT -1\n"},
        {"S 1 Uplink\n", "RPRT -1\n"},
        {"s\n", "1\nSub\n"},
        {"T 0\n", "RPRT -11\n"},
        {"t\n", "RPRT -11\n"},
        {"AOS\n", "RPRT 0\n"},
        {"LOS\n", "RPRT 0\n"},
        // Transceive is deprecated, as rigctld 4.x answers it.
        {"a\n", "RPRT -18\n"},
        {"A 0\n", "RPRT -18\n"},
        {"\\get_trn\n", "RPRT -18\n"},
        {"\\set_powerstat 0\n", "RPRT -11\n"},
        {"w FA;\n", "RPRT -11\n"},
    });
}

TEST(RigctlReplies, FunctionsAreSatModeAlwaysOnAndTheUplinksToneEncoder) {
    Tracker t;
    expectReplies(t, {
        {"u SATMODE\n", "1\n"},
        {"U SATMODE 1\n", "RPRT 0\n"},
        {"U SATMODE 0\n", "RPRT -11\n"},
        {"+u SATMODE\n", "get_func: SATMODE\nFunc Status: 1\nRPRT 0\n"},
        {"+U SATMODE 0\n", "set_func: SATMODE 0\nRPRT -11\n"},
        // Nothing known of the encoder, and no tone to switch it on at; off it goes all the same.
        {"u TONE\n", "RPRT -11\n"},
        {"U TONE 1\n", "RPRT -11\n"},
        {"U TONE 0\nu TONE\n", "RPRT 0\n0\n"},
        // SkyRoof's CTCSS: C, then the encoder on or off.
        {"C 885\nU TONE 0\n", "RPRT 0\nRPRT 0\n"},
        {"u TONE\nc\n", "0\n0\n"},
        {"U tone 1\n", "RPRT 0\n"},
        {"u TONE\nc\n", "1\n885\n"},
        // C 0 switches the encoder off too; on again, it sends the last tone.
        {"C 0\nU TONE 1\nc\n", "RPRT 0\nRPRT 0\n885\n"},
        {"+u TONE\n", "get_func: TONE\nFunc Status: 1\nRPRT 0\n"},
        // Any other function is not there; a bad argument is a bad argument.
        {"U NB 1\nu NB\nU MUTE 0\n", "RPRT -11\nRPRT -11\nRPRT -11\n"},
        {"U TONE 2\nU TONE\nu\nu TONE 1\nU TONE on\n",
         "RPRT -1\nRPRT -1\nRPRT -1\nRPRT -1\nRPRT -1\n"},
    });
    EXPECT_EQ(t.held(Item::Tone), 885u);
    EXPECT_EQ(t.send("U TONE 0\n"), "RPRT 0\n");
    EXPECT_EQ(t.held(Item::Tone), 0u);
    EXPECT_TRUE(t.settings.pending(Item::Tone)) << "the encoder's switch goes to the radio";
}

// CQRLOG scans these lines, in this order, the last ending its scan.
TEST(RigctlReplies, DumpCapsHasTheLinesLogbooksScanInTheOrderTheyScanThem) {
    Tracker t;
    const std::string caps = t.send("\\dump_caps\n");
    const size_t vfo = caps.find("\nCan get VFO: Y\n");
    const size_t power = caps.find("\nCan set Power Stat: N\n");
    const size_t morse = caps.find("\nCan send Morse: N\n");
    EXPECT_TRUE(vfo < power && power < morse && morse != std::string::npos) << caps;
    EXPECT_EQ(caps.rfind("\nCan send Voice: N\n"), caps.size() - 19) << caps;
    EXPECT_EQ(t.send("+\\dump_caps\n"), "dump_caps:\n" + caps + "RPRT 0\n");
}

TEST(RigctlReplies, VfoInfoTellsEachVfoAtAGlance) {
    Tracker t;
    EXPECT_EQ(t.send("\\get_vfo_info VFOA\n"), "RPRT -11\n") << "nothing known yet";
    expectReplies(t, {
        {"F 145900000\n", "RPRT 0\n"},
        {"\\get_vfo_info VFOA\n", "RPRT -11\n"},  // the mode is not known yet
        {"M FM 0\nI 435000000\nX CW 500\n", "RPRT 0\nRPRT 0\nRPRT 0\n"},
        {"\\get_vfo_info VFOA\n",
         "Freq: 145900000\nMode: FM\nWidth: 15000\nSplit: 1\nSatMode: 1\n"},
        {"\\get_vfo_info VFOB\n", "Freq: 435000000\nMode: CW\nWidth: 500\nSplit: 1\nSatMode: 1\n"},
        {"+\\get_vfo_info Main\n",
         "get_vfo_info: Main\nFreq: 145900000\nMode: FM\nWidth: 15000\nSplit: 1\nSatMode: 1\n"
         "RPRT 0\n"},
        {"V Sub\n+;\\get_vfo_info currVFO\n",
         "RPRT 0\nget_vfo_info: currVFO;Freq: 435000000;Mode: CW;Width: 500;Split: 1;SatMode: 1;"
         "RPRT 0\n"},
        {"\\get_vfo_info\n\\get_vfo_info VFOC\n", "RPRT -1\nRPRT -1\n"},
    });
}

TEST(RigctlReplies, DumpStateIsCompleteAndStatesTheStationsRanges) {
    Tracker t;
    const std::string dump = t.send("\\dump_state\n");
    size_t lines = 0;
    for (char c : dump) {
        lines += c == '\n' ? 1 : 0;
    }
    EXPECT_EQ(lines, 40u);
    EXPECT_EQ(dump.rfind("done\n"), dump.size() - 5);
    EXPECT_NE(dump.find("\n10.000000 999999990.000000 0x2e -1 -1 0x6000000 0x0\n"),
              std::string::npos);
    EXPECT_NE(dump.find("\n10.000000 999999990.000000 0x2e 5000 100000 0x6000000 0x0\n"),
              std::string::npos);
    EXPECT_NE(dump.find("\n0 0\n0\n0\n0\n0\n\n\n0x0\n"), std::string::npos)
        << "max RIT, XIT, IF shift, announces, empty preamp and attenuator lists";
    EXPECT_EQ(t.send("f\n"), "RPRT -11\n") << "the dump is one reply";
}

TEST(RigctlVfo, ModesFollowTheConnectionsVfo) {
    Tracker t;
    expectReplies(t, {
        {"v\n", "Main\n"},
        {"M FM 0\n", "RPRT 0\n"},
        {"V Sub\n", "RPRT 0\n"},
        {"v\n", "Sub\n"},
        {"M USB 2400\n", "RPRT 0\n"},
        {"m\n", "USB\n2400\n"},
        {"x\n", "USB\n2400\n"},
        {"V VFOA\n", "RPRT 0\n"},
        {"m\n", "FM\n15000\n"},
        {"V currVFO\n", "RPRT 0\n"},
        {"v\n", "Main\n"},
        {"m Sub\n", "USB\n2400\n"},
        {"M Sub LSB 0\n", "RPRT 0\n"},
        {"x\n", "LSB\n2400\n"},
        {"V VFOC\n", "RPRT -1\n"},
        {"V\n", "RPRT -1\n"},
        // F always means the downlink, whatever the connection's VFO.
        {"V Sub\n", "RPRT 0\n"},
        {"F 145900000\n", "RPRT 0\n"},
    });
    EXPECT_EQ(t.held(Item::DownlinkFrequency), 145900000u);
    EXPECT_EQ(t.held(Item::DownlinkMode), 0x08u);
    EXPECT_EQ(t.held(Item::UplinkMode), 0x00u);

    // Each connection has a VFO of its own.
    RigctlSession other;
    std::string out;
    other.receive(reinterpret_cast<const uint8_t*>("v\n"), 2, t.station, out);
    EXPECT_EQ(out, "Main\n");
}

TEST(RigctlMode, CwPassbandChoosesTheNarrowFilter) {
    Tracker t;
    const struct {
        const char* request;
        uint64_t code;
    } cases[] = {
        {"X CW 500\n", 0x82},  {"X CW 501\n", 0x02},
        {"X CW -1\n", 0x02},   // unchanged: it was wide
        {"X CW 1\n", 0x82},
        {"X CW 250\n", 0x82},  {"X CW -1\n", 0x82},   // unchanged: it was narrow
        {"X CW 0\n", 0x02},    // the default width
        {"X cw 300\n", 0x82},  {"X USB -1\n", 0x01}, {"X LSB 2400\n", 0x00},
        {"X FM 15000\n", 0x08}, {"X CW\n", 0x02},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(t.send(c.request), "RPRT 0\n") << c.request;
        EXPECT_EQ(t.held(Item::UplinkMode), c.code) << c.request;
    }
    EXPECT_EQ(t.send("x\n"), "CW\n2400\n");
    EXPECT_EQ(t.send("X CW 500\nx\n"), "RPRT 0\nCW\n500\n");
    for (const char* bad : {"X AM 6000\n", "X PKTUSB 2400\n", "X CW -2\n", "X CW wide\n",
                            "X\n", "X USB 2400 1\n"}) {
        EXPECT_EQ(t.send(bad), "RPRT -1\n") << bad;
    }
    EXPECT_EQ(t.held(Item::UplinkMode), 0x82u);
    EXPECT_EQ(t.send("m\n"), "RPRT -11\n") << "no downlink mode known yet";
}

// What a poll finds on the radio is what m, x and \\get_vfo_info tell, named as rigctld names
// it, whatever mode the radio was switched to by hand.
TEST(RigctlMode, TellsTheRadiosOwnModeFromTheFirstPoll) {
    Tracker t;
    const auto poll = [&t](Item item, uint64_t value) {
        t.settings.polled(item, value, t.settings.generation(item));
    };
    poll(Item::DownlinkFrequency, 145900000);
    poll(Item::UplinkFrequency, 435000000);
    const struct {
        uint8_t code;
        const char* reply;
    } modes[] = {
        {0x00, "LSB\n2400\n"}, {0x01, "USB\n2400\n"}, {0x02, "CW\n2400\n"},
        {0x82, "CW\n500\n"},   {0x08, "FM\n15000\n"}, {0x03, "CWR\n2400\n"},
        {0x83, "CWR\n500\n"},  {0x04, "AM\n6000\n"},  {0x84, "AM\n2400\n"},
        {0x88, "FMN\n9000\n"},
    };
    for (const auto& mode : modes) {
        poll(Item::DownlinkMode, mode.code);
        poll(Item::UplinkMode, mode.code);
        EXPECT_EQ(t.send("m\n"), mode.reply) << int{mode.code};
        EXPECT_EQ(t.send("x\n"), mode.reply) << int{mode.code};
    }
    EXPECT_EQ(t.send("+x\n"), "get_split_mode:\nTX Mode: FMN\nTX Passband: 9000\nRPRT 0\n");
    EXPECT_EQ(t.send("\\get_vfo_info VFOB\n"),
              "Freq: 435000000\nMode: FMN\nWidth: 9000\nSplit: 1\nSatMode: 1\n");
    // The station sets only its own modes.
    for (const char* mode : {"M AM 0\n", "M CWR 0\n", "M FMN 0\n"}) {
        EXPECT_EQ(t.send(mode), "RPRT -1\n") << mode;
    }
    // A mode just set reads back as set until the radio has it.
    EXPECT_EQ(t.send("M USB 0\nm\n"), "RPRT 0\nUSB\n2400\n");
    poll(Item::DownlinkMode, 0x88);
    EXPECT_EQ(t.send("m\n"), "USB\n2400\n");
}

TEST(RigctlTone, OnlyTheRadiosTonesInTenthsOfHz) {
    Tracker t;
    EXPECT_EQ(t.send("c\n"), "RPRT -11\n");
    expectReplies(t, {
        {"C 670\n", "RPRT 0\n"},
        {"c\n", "670\n"},
        {"C 2503\n", "RPRT 0\n"},
        {"C 0\n", "RPRT 0\n"},
        {"c\n", "0\n"},
    });
    for (const char* bad : {"C 1995\n", "C 669\n", "C 2504\n", "C -885\n", "C 88.5\n", "C\n"}) {
        EXPECT_EQ(t.send(bad), "RPRT -1\n") << bad;
    }
    EXPECT_EQ(t.held(Item::Tone), 0u);
}

TEST(RigctlPower, HoldOverKeepsAnsweringAndStrictModeRefusesRadioCommands) {
    Tracker t;
    t.station.radioConnected = false;
    expectReplies(t, {
        {"\\get_powerstat\n", "0\n"},
        {"F 145900000\n", "RPRT 0\n"},
        {"f\n", "145900000\n"},
        {"X FM 0\n", "RPRT 0\n"},
    });
    EXPECT_TRUE(t.settings.pending(Item::DownlinkFrequency));

    t.station.strict = true;
    for (const char* radio : {"F 145910000\n", "f\n", "I 435000000\n", "i\n", "M USB 0\n", "m\n",
                              "X FM 0\n", "x\n", "S 1 Sub\n", "s\n", "C 885\n", "c\n",
                              "S 0 VFOB\n", "U TONE 1\n", "u SATMODE\n",
                              "\\get_vfo_info VFOA\n"}) {
        EXPECT_EQ(t.send(radio), "RPRT -20\n") << radio;
    }
    EXPECT_EQ(t.send("a\n"), "RPRT -18\n");
    EXPECT_EQ(t.send("\\dump_caps\n").rfind("Caps dump", 0), 0u);
    EXPECT_EQ(t.send("+f\n"), "get_freq:\nRPRT -20\n");
    expectReplies(t, {
        {"\\get_powerstat\n", "0\n"},
        {"V Sub\n", "RPRT 0\n"},
        {"\\chk_vfo\n", "0\n"},
    });
    EXPECT_EQ(t.held(Item::DownlinkFrequency), 145900000u) << "a refused set is not held";

    t.station.radioConnected = true;
    EXPECT_EQ(t.send("f\n\\get_powerstat\n"), "145900000\n1\n");
}

TEST(HeldSettings, TheNewestValueWaitsAndAPollNeverOverrulesASet) {
    HeldSettings held;
    EXPECT_FALSE(held.pending(Item::UplinkFrequency));

    held.set(Item::UplinkFrequency, 435000000);
    const uint32_t before = held.generation(Item::UplinkFrequency);
    held.set(Item::UplinkFrequency, 435000127);
    held.set(Item::DownlinkMode, 0x08);
    EXPECT_TRUE(held.pending(Item::DownlinkMode));
    held.applied(Item::DownlinkMode, held.generation(Item::DownlinkMode));
    EXPECT_FALSE(held.pending(Item::DownlinkMode));
    EXPECT_TRUE(held.pending(Item::UplinkFrequency));

    // A value that the radio took while a newer one came still leaves the newer one to send.
    held.applied(Item::UplinkFrequency, before);
    EXPECT_TRUE(held.pending(Item::UplinkFrequency));

    // A poll that reads the old frequency while the new one waits, or that started before it
    // was set, is no knob turn.
    EXPECT_FALSE(held.polled(Item::UplinkFrequency, 435000000,
                             held.generation(Item::UplinkFrequency)));
    held.applied(Item::UplinkFrequency, held.generation(Item::UplinkFrequency));
    EXPECT_FALSE(held.pending(Item::UplinkFrequency));
    EXPECT_FALSE(held.polled(Item::UplinkFrequency, 435000000, before));
    uint64_t hz = 0;
    ASSERT_TRUE(held.get(Item::UplinkFrequency, hz));
    EXPECT_EQ(hz, 435000120u);

    // After it, the radio's own value is the operator's.
    const uint32_t now = held.generation(Item::UplinkFrequency);
    EXPECT_FALSE(held.polled(Item::UplinkFrequency, 435000120, now));
    EXPECT_TRUE(held.polled(Item::UplinkFrequency, 435001000, now));
    ASSERT_TRUE(held.get(Item::UplinkFrequency, hz));
    EXPECT_EQ(hz, 435001000u);
    EXPECT_FALSE(held.pending(Item::UplinkFrequency));
}

TEST(HeldSettings, EveryHeldValueGoesAgainAfterAReconnectionUnlessTheRadioRefusedIt) {
    HeldSettings held;
    held.set(Item::DownlinkFrequency, 145900000);
    held.set(Item::Tone, 885);
    const uint32_t sent = held.generation(Item::DownlinkFrequency);
    held.applied(Item::DownlinkFrequency, sent);
    held.applied(Item::Tone, held.generation(Item::Tone));
    held.reconnected();
    EXPECT_TRUE(held.pending(Item::DownlinkFrequency));
    EXPECT_TRUE(held.pending(Item::Tone));
    EXPECT_FALSE(held.pending(Item::UplinkFrequency)) << "nothing known, nothing sent";

    // A frequency the radio will not take fails the link every time: after three failures it
    // is given up, also across reconnections, until a new value comes.
    EXPECT_FALSE(held.failedToApply(Item::DownlinkFrequency, sent));
    held.reconnected();
    EXPECT_FALSE(held.failedToApply(Item::DownlinkFrequency, sent));
    held.reconnected();
    EXPECT_TRUE(held.failedToApply(Item::DownlinkFrequency, sent));
    EXPECT_FALSE(held.pending(Item::DownlinkFrequency));
    held.reconnected();
    EXPECT_FALSE(held.pending(Item::DownlinkFrequency));
    held.set(Item::DownlinkFrequency, 145910000);
    EXPECT_TRUE(held.pending(Item::DownlinkFrequency));
    EXPECT_FALSE(held.failedToApply(Item::DownlinkFrequency, sent)) << "not the value that failed";
    const uint32_t newer = held.generation(Item::DownlinkFrequency);
    EXPECT_FALSE(held.failedToApply(Item::DownlinkFrequency, newer)) << "a new value starts afresh";
}

// Refusals count in a row, against one value: the radio taking it starts the count again, and
// so does a new value, whether a tracker set it or a poll found it on the radio.
TEST(HeldSettings, RefusalsCountInARowAgainstOneValue) {
    HeldSettings held;
    const Item f = Item::DownlinkFrequency;
    // Whether one of so many refusals in a row gave the value up.
    const auto refusals = [&](int times) {
        bool givenUp = false;
        for (int i = 0; i < times; ++i) {
            givenUp = held.failedToApply(f, held.generation(f)) || givenUp;
        }
        return givenUp;
    };
    held.set(f, 145900000);
    EXPECT_FALSE(refusals(2));
    held.applied(f, held.generation(f));
    held.reconnected();
    EXPECT_FALSE(refusals(2)) << "two refusals, the value taken, two more: none three in a row";
    held.set(f, 145910000);
    EXPECT_FALSE(refusals(2)) << "a new value starts with none";
    EXPECT_TRUE(refusals(1));

    held.set(f, 145920000);
    held.reconnected();
    EXPECT_TRUE(held.pending(f)) << "a new value goes after a reconnection, refused before or not";
    EXPECT_TRUE(refusals(3));
    EXPECT_TRUE(held.polled(f, 145800000, held.generation(f)));
    held.reconnected();
    EXPECT_TRUE(held.pending(f)) << "what the radio holds goes again";
}
