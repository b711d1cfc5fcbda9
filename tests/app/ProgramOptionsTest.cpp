#include <gtest/gtest.h>

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
                                    "--fullscreen"});
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
}

TEST(ProgramOptions, DefaultsWithNoArguments) {
    ParsedOptions p = parseOptions({});
    ASSERT_EQ(p.action, ParsedOptions::Action::Run);
    EXPECT_FALSE(p.settings.headless);
    EXPECT_EQ(p.settings.frames, 250);
    EXPECT_FALSE(p.settings.seed);
    EXPECT_EQ(p.settings.scale, 0);
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
                                                       {"--frames", "99999999999999"}};
    for (const auto& args : bad) {
        ParsedOptions p = parseOptions(args);
        EXPECT_EQ(p.action, ParsedOptions::Action::Fail) << args[0];
        EXPECT_EQ(p.text.find('\n'), std::string::npos) << p.text;
        EXPECT_FALSE(p.text.empty());
    }
}
