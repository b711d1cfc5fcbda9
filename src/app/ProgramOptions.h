#pragma once

#include <string>
#include <vector>

#include "app/Preferences.h"
#include "app/Settings.h"

namespace brumelo {

// The result of reading the command line: run, stop with a text (help, version), or refuse.
struct ParsedOptions {
    enum class Action { Run, PrintAndExit, Fail };
    Action action = Action::Run;
    std::string text;  // what to print for PrintAndExit, the one-line reason for Fail
    Settings settings;
    Preferences given;  // the remembered choices the command line made (also in settings)
};

ParsedOptions parseOptions(const std::vector<std::string>& arguments);

std::string usageText();
std::string versionText();

}  // namespace brumelo
