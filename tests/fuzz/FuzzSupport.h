#pragma once

// What every harness shares: a check that stops the run the way a sanitizer does (so libFuzzer
// keeps the input; its message shows in replays, while a fuzzing run, which silences the
// program's output, shows the line in the stack), and a scratch folder of the process's own for
// inputs that must be files.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#define FUZZ_CHECK(condition)                                                             \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__, \
                         __LINE__);                                                       \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)

namespace fuzz {

// Made on first use, removed at exit.
inline const std::string& scratchFolder() {
    static const std::string folder = [] {
        std::string pattern =
            std::filesystem::temp_directory_path().string() + "/brumelo-fuzz.XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        static std::string removeAtExit;
        removeAtExit = pattern;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(removeAtExit, ec);
        });
        return pattern;
    }();
    return folder;
}

inline void writeBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    if (size > 0) FUZZ_CHECK(std::fwrite(data, 1, size, f) == size);
    FUZZ_CHECK(std::fclose(f) == 0);
}

// The input cut at each byte `separator` (n separators give n + 1 parts).
inline std::vector<std::string> splitInput(const std::uint8_t* data, std::size_t size,
                                           char separator) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (static_cast<char>(data[i]) == separator)
            parts.emplace_back();
        else
            parts.back() += static_cast<char>(data[i]);
    }
    return parts;
}

}  // namespace fuzz
