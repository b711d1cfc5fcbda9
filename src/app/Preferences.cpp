#include "app/Preferences.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "app/Lines.h"
#include "app/Numbers.h"
#include "platform/PictureFiles.h"

namespace brumelo {

namespace {

std::string trimmed(const std::string& text) {
    auto space = [](unsigned char c) { return std::isspace(c) != 0; };
    auto begin = std::find_if_not(text.begin(), text.end(), space);
    auto end = std::find_if_not(text.rbegin(), std::string::const_reverse_iterator(begin), space);
    return std::string(begin, end.base());
}

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::optional<Look> lookNamed(const std::string& name) {
    const std::string n = lowered(name);
    if (n == "classic") return Look::Classic;
    if (n == "glass") return Look::Glass;
    return std::nullopt;
}

const char* lookName(Look look) { return look == Look::Classic ? "classic" : "glass"; }

std::optional<bool> switchNamed(const std::string& name) {
    const std::string n = lowered(name);
    if (n == "on" || n == "yes" || n == "true" || n == "1") return true;
    if (n == "off" || n == "no" || n == "false" || n == "0") return false;
    return std::nullopt;
}

std::optional<double> micGainNamed(const std::string& text) {
    const std::optional<double> gain = readDecimal(text, false);
    if (!gain || !std::isfinite(*gain) || *gain < kMinMicGain || *gain > kMaxMicGain)
        return std::nullopt;
    return gain;
}

std::string preferencesPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return std::string(xdg) + "/brumelo/settings.ini";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/brumelo/settings.ini";
}

std::optional<Preferences> parsePreferences(const std::string& text, std::string* problem) {
    Preferences p;
    std::string raw;
    int number = 0;
    bool ours = true;  // keys before any section header count as ours
    auto fail = [&](const std::string& why) -> std::optional<Preferences> {
        if (problem) *problem = "line " + std::to_string(number) + ": " + why;
        return std::nullopt;
    };
    for (std::size_t at = 0; nextLine(text, at, raw);) {
        ++number;
        const std::string line = trimmed(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line.front() == '[') {
            if (line.back() != ']') return fail("unclosed section header");
            ours = lowered(trimmed(line.substr(1, line.size() - 2))) == "brumelo";
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) return fail("not a key = value line");
        if (!ours) continue;
        const std::string key = lowered(trimmed(line.substr(0, eq)));
        const std::string value = trimmed(line.substr(eq + 1));
        if (key == "look") {
            if (!(p.look = lookNamed(value))) return fail("look is classic or glass");
        } else if (key == "mic-gain") {
            if (!(p.micGain = micGainNamed(value))) return fail("mic-gain is 0.1 to 100");
        } else if (key == "regrow") {
            if (!(p.regrow = switchNamed(value))) return fail("regrow is on or off");
        }
    }
    return p;
}

std::string formatPreferences(const Settings& s) {
    // Not printf: a decimal comma from the user's locale would not read back.
    std::string gain = writeFixed(s.micGain, 3);
    while (gain.size() > 2 && gain.back() == '0' && gain[gain.size() - 2] != '.') gain.pop_back();
    return std::string("# Brumelo's choices, kept between runs.\n[brumelo]\nlook = ") +
           lookName(s.look) + "\nmic-gain = " + gain + "\nregrow = " + (s.regrow ? "on" : "off") +
           "\n";
}

Preferences loadPreferences(const std::string& path) {
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(path, ec)) return {};
    std::string error;
    auto bytes = readWholeFile(path, 64 * 1024, &error);
    if (!bytes) {
        std::fprintf(stderr, "brumelo: settings not read (%s); using the defaults\n",
                     error.c_str());
        return {};
    }
    auto parsed = parsePreferences(std::string(bytes->begin(), bytes->end()), &error);
    if (!parsed) {
        std::fprintf(stderr, "brumelo: settings in %s not understood (%s); using the defaults\n",
                     path.c_str(), error.c_str());
        return {};
    }
    return *parsed;
}

bool savePreferences(const std::string& path, const Settings& settings) {
    if (path.empty()) return true;
    const std::string text = formatPreferences(settings);
    std::string error;
    if (!writeFileAtomically(path, std::vector<std::uint8_t>(text.begin(), text.end()), &error)) {
        std::fprintf(stderr, "brumelo: settings not saved: %s\n", error.c_str());
        return false;
    }
    return true;
}

void applyPreferences(const Preferences& p, Settings& s) {
    if (p.look) s.look = *p.look;
    if (p.micGain) s.micGain = *p.micGain;
    if (p.regrow) s.regrow = *p.regrow;
}

}  // namespace brumelo
