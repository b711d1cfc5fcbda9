#pragma once

#include <optional>
#include <string>

#include "app/Settings.h"

namespace brumelo {

// The choices kept between runs. Each is unset when neither the file nor the command line gave it.
struct Preferences {
    std::optional<Look> look;
    std::optional<double> micGain;
    std::optional<bool> regrow;
    bool empty() const { return !look && !micGain && !regrow; }
};

constexpr double kMinMicGain = 0.1;
constexpr double kMaxMicGain = 100.0;

std::optional<Look> lookNamed(const std::string& name);  // "classic" or "glass"
const char* lookName(Look look);
// "on"/"off" and their usual spellings (yes/no, true/false, 1/0).
std::optional<bool> switchNamed(const std::string& name);
// A gain from kMinMicGain to kMaxMicGain, written as a plain decimal number.
std::optional<double> micGainNamed(const std::string& text);

// $XDG_CONFIG_HOME/brumelo/settings.ini, or ~/.config/brumelo/settings.ini without it.
std::string preferencesPath();

// "key = value" lines, optionally under a [brumelo] section; blank lines and lines starting with
// '#' or ';' are skipped, and so are keys of other sections and keys we do not know. nullopt
// with *problem set when a line or a value cannot be read.
std::optional<Preferences> parsePreferences(const std::string& text, std::string* problem);
std::string formatPreferences(const Settings& settings);

// The file's choices. A missing file gives none; so does one that cannot be read or understood,
// which also logs one line.
Preferences loadPreferences(const std::string& path);
// Replaces the file (atomically) with the settings' look, gain and regrowth; nothing happens for
// an empty path. False with a log line when it cannot be written.
bool savePreferences(const std::string& path, const Settings& settings);

// The choices that are set, over the settings.
void applyPreferences(const Preferences& preferences, Settings& settings);

}  // namespace brumelo
