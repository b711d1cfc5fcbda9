#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "TestSupport.h"
#include "app/Preferences.h"
#include "app/ProgramOptions.h"

using brumelo::ParsedOptions;
using brumelo::parseOptions;

TEST(ProgramOptions, ReadsEveryOptionInBothForms) {
    ParsedOptions p = parseOptions({"--headless",
                                    "--frames",
                                    "10",
                                    "--seed=42",
                                    "--script",
                                    "a b.script",
                                    "--screenshot",
                                    "/tmp/x.png",
                                    "--data-dir=/d",
                                    "--pictures-dir",
                                    "/p",
                                    "--open-url-command",
                                    "rec --x",
                                    "--mic-file",
                                    "m.wav",
                                    "--background",
                                    "bg.jpg",
                                    "--device-model",
                                    "iPod Touch",
                                    "--accel-device",
                                    "/sys/x",
                                    "--scale",
                                    "3",
                                    "--fullscreen",
                                    "--look",
                                    "classic",
                                    "--mic-gain=2.5",
                                    "--regrow",
                                    "--pane=390x844"});
    ASSERT_EQ(p.action, ParsedOptions::Action::Run) << p.text;
    const auto& s = p.settings;
    EXPECT_TRUE(s.headless);
    EXPECT_EQ(s.frames, 10);
    ASSERT_TRUE(s.seed);
    EXPECT_EQ(*s.seed, 42u);
    EXPECT_EQ(s.scriptFile, "a b.script");
    EXPECT_EQ(s.screenshotFile, "/tmp/x.png");
    EXPECT_EQ(s.dataDir, "/d");
    EXPECT_EQ(s.picturesDir, "/p");
    EXPECT_EQ(s.openUrlCommand, "rec --x");
    EXPECT_EQ(s.micFile, "m.wav");
    EXPECT_EQ(s.backgroundFile, "bg.jpg");
    EXPECT_EQ(s.deviceModel, "iPod Touch");
    EXPECT_EQ(s.accelDevice, "/sys/x");
    EXPECT_EQ(s.scale, 3);
    EXPECT_TRUE(s.fullscreen);
    EXPECT_EQ(s.look, brumelo::Look::Classic);
    EXPECT_DOUBLE_EQ(s.micGain, 2.5);
    EXPECT_TRUE(s.regrow);
    EXPECT_EQ(s.paneWidth, 390);
    EXPECT_EQ(s.paneHeight, 844);
    // What is remembered is what the command line chose.
    EXPECT_EQ(p.given.look, brumelo::Look::Classic);
    EXPECT_EQ(p.given.micGain, 2.5);
    EXPECT_EQ(p.given.regrow, true);
    EXPECT_EQ(parseOptions({"--regrow=off"}).given.regrow, false);
}

TEST(ProgramOptions, DefaultsWithNoArguments) {
    ParsedOptions p = parseOptions({});
    ASSERT_EQ(p.action, ParsedOptions::Action::Run);
    EXPECT_FALSE(p.settings.headless);
    EXPECT_EQ(p.settings.frames, 250);
    EXPECT_FALSE(p.settings.seed);
    EXPECT_EQ(p.settings.scale, 0);
    EXPECT_EQ(p.settings.look, brumelo::Look::Glass);
    EXPECT_DOUBLE_EQ(p.settings.micGain, 1.0);
    EXPECT_FALSE(p.settings.regrow);
    EXPECT_TRUE(p.given.empty());
}

TEST(ProgramOptions, HelpAndVersionStopBeforeRunning) {
    ParsedOptions help = parseOptions({"--frames", "3", "--help"});
    EXPECT_EQ(help.action, ParsedOptions::Action::PrintAndExit);
    EXPECT_NE(help.text.find("--accel-device"), std::string::npos);
    ParsedOptions version = parseOptions({"--version"});
    EXPECT_EQ(version.action, ParsedOptions::Action::PrintAndExit);
    EXPECT_EQ(version.text.rfind("Brumelo 1.2", 0), 0u);
}

TEST(ProgramOptions, RefusesUnknownOptionsAndBadValuesWithOneLine) {
    const std::vector<std::vector<std::string>> bad = {{"--frobnicate"},
                                                       {"stray"},
                                                       {"--frames"},
                                                       {"--frames", "-1"},
                                                       {"--frames", "12x"},
                                                       {"--frames", ""},
                                                       {"--seed", "4294967296"},
                                                       {"--seed", "-3"},
                                                       {"--scale", "0"},
                                                       {"--scale", "17"},
                                                       {"--script"},
                                                       {"--script="},
                                                       {"--headless=yes"},
                                                       {"--look", "frosted"},
                                                       {"--mic-gain", "0"},
                                                       {"--mic-gain", "1e3"},
                                                       {"--mic-gain", "nan"},
                                                       {"--regrow=maybe"},
                                                       {"--pane", "320by480"},
                                                       {"--pane", "0x480"},
                                                       {"--pane", "320x"},
                                                       {"--frames", "99999999999999"}};
    for (const auto& args : bad) {
        ParsedOptions p = parseOptions(args);
        EXPECT_EQ(p.action, ParsedOptions::Action::Fail) << args[0];
        EXPECT_EQ(p.text.find('\n'), std::string::npos) << p.text;
        EXPECT_FALSE(p.text.empty());
    }
}

TEST(Preferences, ARunsChoicesReadBackAndABadFileCountsAsAbsent) {
    menus_test::TempDir dir;
    const std::string path = dir / "brumelo/settings.ini";
    EXPECT_TRUE(brumelo::loadPreferences(path).empty());  // none yet, and no folder either

    brumelo::Settings s;
    s.look = brumelo::Look::Classic;
    s.micGain = 2.5;
    s.regrow = true;
    ASSERT_TRUE(brumelo::savePreferences(path, s));
    brumelo::Preferences back = brumelo::loadPreferences(path);
    EXPECT_EQ(back.look, brumelo::Look::Classic);
    EXPECT_EQ(back.micGain, 2.5);
    EXPECT_EQ(back.regrow, true);

    // Comments, other sections and keys of later versions are no reason to give up.
    auto parsed = brumelo::parsePreferences(
        "; by hand\n[window]\nlook = none\n[brumelo]\n  LOOK = Glass \nsparkle = 3\n", nullptr);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->look, brumelo::Look::Glass);
    EXPECT_FALSE(parsed->micGain);

    for (const char* bad :
         {"look = purple\n", "mic-gain = 1,5\n", "[brumelo\n", "\x7f\x45LF\x02"}) {
        std::ofstream(path, std::ios::trunc) << bad;
        ::testing::internal::CaptureStderr();
        EXPECT_TRUE(brumelo::loadPreferences(path).empty()) << bad;
        const std::string log = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    }
}
