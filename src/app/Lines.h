#pragma once

#include <string>

namespace brumelo {

// The next line of text from `at` on, without its '\n', as a stream's getline reads it: a final
// '\n' ends the last line rather than starting an empty one. False at the end.
inline bool nextLine(const std::string& text, std::size_t& at, std::string& line) {
    if (at >= text.size()) return false;
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    line.assign(text, at, end - at);
    at = end + 1;
    return true;
}

}  // namespace brumelo
