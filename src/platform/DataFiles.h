#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brumelo {

// Writes all the bytes to an open file descriptor, going on after short writes and
// interruptions; false on an error (errno says which).
bool writeAll(int fd, const std::vector<std::uint8_t>& bytes);

// Replaces path whole or not at all: the bytes go to a temporary file beside it that is then
// renamed over it; the folder is made if missing. On failure the old file is untouched and *error
// says why.
bool writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                         std::string* error = nullptr);

// The whole file, or nothing with *error set (missing, unreadable, larger than maxSize).
std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path, std::size_t maxSize,
                                                       std::string* error = nullptr);

}  // namespace brumelo
