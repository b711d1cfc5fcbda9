#include <gtest/gtest.h>

#include "app/Script.h"

using brumelo::parseScript;
using brumelo::ScriptError;
using brumelo::ScriptEvent;
using Kind = ScriptEvent::Kind;

TEST(Script, ReadsEveryEventSortedByFrameKeepingFileOrderWithinAFrame) {
    const std::string text =
        "# header comment\n"
        "\n"
        "3 touch-down 7 10 20.5\n"
        "3 touch-move 7 11 21   # trailing comment\n"
        "2 accel 0.5 -1.5 0.3\n"
        "4 touch-up 7 12 22\n"
        "5 touch-up 8 1 2 3\n"
        "5 touch-cancel 9 1 2\n"
        "6 mic 0.75\n"
        "7 button 2\n"
        "8 pick /tmp/my picture#1.png\n"
        "9 pick cancel\n"
        "10 screenshot /tmp/out.png\n"
        "11 pick\vcancel\n"
        "11 screenshot\f/tmp/a b.png\v\n";
    auto events = parseScript(text, "s.script");
    ASSERT_EQ(events.size(), 13u);
    EXPECT_EQ(events[0].kind, Kind::Accel);
    EXPECT_DOUBLE_EQ(events[0].ay, -1.5);
    EXPECT_EQ(events[1].kind, Kind::TouchDown);
    EXPECT_EQ(events[1].id, 7);
    EXPECT_DOUBLE_EQ(events[1].y, 20.5);
    EXPECT_EQ(events[2].kind, Kind::TouchMove);
    EXPECT_EQ(events[3].taps, 1);
    EXPECT_EQ(events[4].taps, 3);
    EXPECT_EQ(events[5].kind, Kind::TouchCancel);
    EXPECT_DOUBLE_EQ(events[6].level, 0.75);
    EXPECT_EQ(events[7].index, 2);
    EXPECT_EQ(events[8].kind, Kind::Pick);
    EXPECT_EQ(events[8].path, "/tmp/my picture#1.png");
    EXPECT_EQ(events[9].kind, Kind::PickCancel);
    EXPECT_EQ(events[10].path, "/tmp/out.png");
    EXPECT_EQ(events[10].line, 13);
    // Every blank separates alike, before a path as between words.
    EXPECT_EQ(events[11].kind, Kind::PickCancel);
    EXPECT_EQ(events[12].path, "/tmp/a b.png");
}

TEST(Script, ErrorsNameTheFileTheLineAndTheFault) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"0 touch-down 1 2 3", "frame number"},
        {"x touch-down 1 2 3", "frame number"},
        {"5", "without an event"},
        {"5 wiggle 1", "unknown event 'wiggle'"},
        {"5 touch-down 1 2", "expected"},
        {"5 touch-move 1 2 3 4", "expected"},
        {"5 touch-up 1 2 3 4 5", "expected"},
        {"5 touch-up 1 2 3 two", "TAPS"},
        {"5 touch-down one 2 3", "touch ID"},
        {"5 touch-down 1 nan 3", "not a number"},
        {"5 touch-move 1 1e9 3", "X must lie between"},
        {"5 touch-up 1 2 -481", "Y must lie between"},
        {"5 accel 1 2", "expected"},
        {"5 accel 0 -1 1e300", "between -16 and 16"},
        {std::string("5 screenshot /tmp/a\0/b", 22), "NUL"},
        {"5 mic 1.5", "between 0 and 1"},
        {"5 mic -0.1", "between 0 and 1"},
        {"5 button -1", "INDEX"},
        {"5 button", "expected"},
        {"5 pick", "expected"},
        {"5 screenshot", "expected"},
    };
    for (const auto& [line, why] : cases) {
        try {
            parseScript("# ok\n1 mic 0\n" + line + "\n", "bad.script");
            ADD_FAILURE() << "accepted: " << line;
        } catch (const ScriptError& e) {
            std::string m = e.what();
            EXPECT_EQ(m.rfind("bad.script:3: ", 0), 0u) << m;
            EXPECT_NE(m.find(why), std::string::npos) << m;
            EXPECT_EQ(m.find('\n'), std::string::npos);
        }
    }
}

TEST(Script, AnUnreadableFileOrAFolderIsAnError) {
    EXPECT_THROW(brumelo::loadScript("/nonexistent/brumelo.script"), ScriptError);
    EXPECT_THROW(brumelo::loadScript(BRUMELO_SOURCE_DIR), ScriptError);
}
