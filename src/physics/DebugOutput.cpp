#include "physics/DebugOutput.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

std::string debugString;

namespace {

std::string vformat(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (size <= 0) return {};
    std::vector<char> buffer(static_cast<std::size_t>(size) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    return std::string(buffer.data(), static_cast<std::size_t>(size));
}

}  // namespace

void DebugOutput::outputLineNumberInput(const char* fileName, int lineNumber, const char* input,
                                        ...) {
    std::string message;
    if (input != nullptr) {
        va_list args;
        va_start(args, input);
        message = vformat(input, args);
        va_end(args);
    }
    const char* name = fileName != nullptr ? fileName : "";
    if (const char* slash = std::strrchr(name, '/')) name = slash + 1;
    char tail[32];
    std::snprintf(tail, sizeof tail, ":%d", lineNumber);
    debugString = message + " at " + name + tail;
}
