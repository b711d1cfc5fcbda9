#pragma once

// Scratch folders and small helpers shared by the menu and background tests.

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace menus_test {

class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "brumelo-menus-XXXXXX");
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

inline void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
}

inline std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// An executable shell script that records its argument count and first argument in out.
inline std::string recordingCommand(const std::string& folder, const std::string& out,
                                    int exitCode = 0) {
    const std::string path = folder + "/record-url";
    writeText(path, "#!/bin/sh\nprintf '%s\\n%s' \"$#\" \"$1\" > '" + out + ".tmp'\nmv '" + out +
                        ".tmp' '" + out + "'\nexit " + std::to_string(exitCode) + "\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

inline bool waitForFile(const std::string& path, double seconds = 60) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (std::filesystem::exists(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace menus_test
