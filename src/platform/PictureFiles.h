#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/DataFiles.h"

namespace brumelo {

// Where saved pictures go: the override when given, else the user's Pictures folder (XDG user
// dirs, ~/Pictures when none is set) with "Brumelo" under it. Not created here.
std::string picturesFolder(const std::string& overrideFolder = "");

// Writes bytes as a new file "<stem>-0001<extension>" (the first free number) in folder, making
// the folder if needed; never replaces a file. Returns the path, or empty with *error set.
std::string saveNewFile(const std::string& folder, const std::string& stem,
                        const std::string& extension, const std::vector<std::uint8_t>& bytes,
                        std::string* error = nullptr);

}  // namespace brumelo
