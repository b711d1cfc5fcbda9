#include "app/Script.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/Lines.h"
#include "app/Numbers.h"
#include "platform/Accelerometer.h"

namespace brumelo {

namespace {

constexpr double kScreenWidth = 320;
constexpr double kScreenHeight = 480;

// One notion of a blank for the words and for the path after them: were they to differ, a line
// like "pick<VT>cancel" would split into three words yet leave no path.
constexpr const char* kBlanks = " \t\r\v\f";

std::vector<std::string> splitWords(const std::string& line) {
    std::vector<std::string> words;
    for (std::size_t pos = line.find_first_not_of(kBlanks); pos != std::string::npos;) {
        const std::size_t end = line.find_first_of(kBlanks, pos);
        words.push_back(line.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        pos = end == std::string::npos ? end : line.find_first_not_of(kBlanks, end);
    }
    return words;
}

bool toInt64(const std::string& s, std::int64_t& out) {
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size();
}

bool toDouble(const std::string& s, double& out) {
    const std::optional<double> value = readDecimal(s);
    if (!value || !std::isfinite(*value)) return false;
    out = *value;
    return true;
}

// The rest of the line after the first `skip` words, so paths may hold spaces.
std::string restAfterWords(const std::string& line, int skip) {
    std::size_t pos = 0;
    for (int i = 0; i < skip && pos != std::string::npos; ++i) {
        pos = line.find_first_not_of(kBlanks, pos);
        if (pos != std::string::npos) pos = line.find_first_of(kBlanks, pos);
    }
    if (pos != std::string::npos) pos = line.find_first_not_of(kBlanks, pos);
    if (pos == std::string::npos) return {};
    const std::size_t end = line.find_last_not_of(kBlanks);
    return line.substr(pos, end - pos + 1);
}

}  // namespace

std::vector<ScriptEvent> parseScript(const std::string& text, const std::string& fileName) {
    std::vector<ScriptEvent> events;
    std::string line;
    int lineNumber = 0;
    for (std::size_t at = 0; nextLine(text, at, line);) {
        ++lineNumber;
        auto fail = [&](const std::string& why) {
            return ScriptError(fileName + ":" + std::to_string(lineNumber) + ": " + why);
        };
        // A path goes to the file system as a C string: a NUL would cut it short, silently.
        if (line.find('\0') != std::string::npos) throw fail("a NUL byte in the line");
        // A comment starts at a '#' that begins a word; one inside a path is part of it.
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '#' && (i == 0 || std::strchr(kBlanks, line[i - 1]) != nullptr)) {
                line.resize(i);
                break;
            }
        }
        auto words = splitWords(line);
        if (words.empty()) continue;

        ScriptEvent e;
        e.line = lineNumber;
        std::int64_t frame = 0;
        if (!toInt64(words[0], frame) || frame < 1 || frame > 100000000)
            throw fail("'" + words[0] + "' is not a frame number (1 or more)");
        e.frame = static_cast<int>(frame);
        if (words.size() < 2) throw fail("a frame number without an event");
        const std::string& kind = words[1];
        const std::size_t args = words.size() - 2;

        auto wantArgs = [&](std::size_t lo, std::size_t hi, const char* form) {
            if (args < lo || args > hi) throw fail(std::string("expected '") + form + "'");
        };
        auto number = [&](std::size_t i, const char* what) {
            double v = 0;
            if (!toDouble(words[2 + i], v))
                throw fail("'" + words[2 + i] + "' is not a number (" + what + ")");
            return v;
        };
        auto integer = [&](std::size_t i, const char* what) {
            std::int64_t v = 0;
            if (!toInt64(words[2 + i], v))
                throw fail("'" + words[2 + i] + "' is not a whole number (" + what + ")");
            return v;
        };

        if (kind == "touch-down" || kind == "touch-move" || kind == "touch-up" ||
            kind == "touch-cancel") {
            bool up = kind == "touch-up";
            wantArgs(3, up ? 4 : 3, up ? "FRAME touch-up ID X Y [TAPS]" : "FRAME touch-... ID X Y");
            e.kind = kind == "touch-down"   ? ScriptEvent::Kind::TouchDown
                     : kind == "touch-move" ? ScriptEvent::Kind::TouchMove
                     : up                   ? ScriptEvent::Kind::TouchUp
                                            : ScriptEvent::Kind::TouchCancel;
            e.id = integer(0, "touch ID");
            e.x = number(1, "X");
            e.y = number(2, "Y");
            // A stroke becomes a mark every few points: a finger a million points away would
            // take the memory of the machine. A screen's size past each edge is plenty.
            if (e.x < -kScreenWidth || e.x > 2 * kScreenWidth)
                throw fail("X must lie between -320 and 640");
            if (e.y < -kScreenHeight || e.y > 2 * kScreenHeight)
                throw fail("Y must lie between -480 and 960");
            if (args == 4) {
                std::int64_t taps = integer(3, "TAPS");
                if (taps < 0 || taps > 1000) throw fail("TAPS must be 0 to 1000");
                e.taps = static_cast<int>(taps);
            }
        } else if (kind == "accel") {
            wantArgs(3, 3, "FRAME accel X Y Z");
            e.kind = ScriptEvent::Kind::Accel;
            e.ax = number(0, "X");
            e.ay = number(1, "Y");
            e.az = number(2, "Z");
            for (double v : {e.ax, e.ay, e.az})
                if (std::fabs(v) > kMaxAccelG) throw fail("X, Y and Z must lie between -16 and 16");
        } else if (kind == "mic") {
            wantArgs(1, 1, "FRAME mic LEVEL");
            e.kind = ScriptEvent::Kind::Mic;
            e.level = number(0, "LEVEL");
            if (e.level < 0 || e.level > 1) throw fail("LEVEL must lie between 0 and 1");
        } else if (kind == "button") {
            wantArgs(1, 1, "FRAME button INDEX");
            e.kind = ScriptEvent::Kind::Button;
            std::int64_t index = integer(0, "INDEX");
            if (index < 0 || index > 100) throw fail("INDEX must be 0 to 100");
            e.index = static_cast<int>(index);
        } else if (kind == "pick" || kind == "screenshot") {
            if (args < 1)
                throw fail(kind == "pick" ? "expected 'FRAME pick PATH' or 'FRAME pick cancel'"
                                          : "expected 'FRAME screenshot PATH'");
            e.path = restAfterWords(line, 2);
            if (kind == "pick") {
                e.kind =
                    e.path == "cancel" ? ScriptEvent::Kind::PickCancel : ScriptEvent::Kind::Pick;
                if (e.kind == ScriptEvent::Kind::PickCancel) e.path.clear();
            } else {
                e.kind = ScriptEvent::Kind::Screenshot;
            }
        } else {
            throw fail("unknown event '" + kind + "'");
        }
        events.push_back(std::move(e));
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const ScriptEvent& a, const ScriptEvent& b) { return a.frame < b.frame; });
    return events;
}

std::vector<ScriptEvent> loadScript(const std::string& fileName) {
    // A folder opens like a file here and reads as nothing: an empty script, run as if fine.
    std::error_code ec;
    if (std::filesystem::is_directory(fileName, ec))
        throw ScriptError(fileName + ": is a folder, not a script");
    FILE* in = std::fopen(fileName.c_str(), "rb");
    if (!in) throw ScriptError(fileName + ": cannot be read: " + std::strerror(errno));
    std::string text;
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) text.append(buffer, n);
    const bool bad = std::ferror(in) != 0;
    std::fclose(in);
    if (bad) throw ScriptError(fileName + ": cannot be read");
    return parseScript(text, fileName);
}

}  // namespace brumelo
