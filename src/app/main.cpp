#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/Preferences.h"
#include "app/Program.h"
#include "app/ProgramOptions.h"

namespace fs = std::filesystem;

namespace {

std::string dataDirectory(const std::string& given) {
    if (!given.empty()) return given;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg == '/') return std::string(xdg) + "/brumelo";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/share/brumelo";
}

// Installed: <prefix>/bin/brumelo finds <prefix>/share/brumelo. In the build tree: the sources'
// resources folder.
std::string resourceDirectory() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        fs::path installed = exe.parent_path().parent_path() / "share" / "brumelo";
        if (fs::exists(installed / "back1.png", ec)) return installed.string();
    }
#ifdef BRUMELO_BUILD_RESOURCES
    return BRUMELO_BUILD_RESOURCES;
#else
    return "resources";
#endif
}

std::string machineModel() {
    std::ifstream in("/sys/devices/virtual/dmi/id/product_name");
    std::string name;
    std::getline(in, name);
    return name.empty() ? "Linux desktop" : name;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    brumelo::ParsedOptions parsed = brumelo::parseOptions(args);
    if (parsed.action == brumelo::ParsedOptions::Action::PrintAndExit) {
        std::fputs(parsed.text.c_str(), stdout);
        return 0;
    }
    if (parsed.action == brumelo::ParsedOptions::Action::Fail) {
        std::fprintf(stderr, "%s\n", parsed.text.c_str());
        return 2;
    }
    brumelo::Settings s = parsed.settings;
    s.dataDir = dataDirectory(s.dataDir);
    std::error_code ec;
    fs::create_directories(s.dataDir, ec);
    if (!fs::is_directory(s.dataDir, ec)) {
        std::fprintf(stderr, "brumelo: cannot make the data folder %s\n", s.dataDir.c_str());
        return 1;
    }
    s.resourceDir = resourceDirectory();
    // The file's choices, then the command line's over them; those are remembered for next time.
    s.settingsFile = brumelo::preferencesPath();
    brumelo::applyPreferences(brumelo::loadPreferences(s.settingsFile), s);
    brumelo::applyPreferences(parsed.given, s);
    if (!parsed.given.empty()) brumelo::savePreferences(s.settingsFile, s);
    if (s.deviceModel.empty()) s.deviceModel = machineModel();

    brumelo::Program program(s);
    if (int status = program.launch()) return status;
    return program.run();
}
