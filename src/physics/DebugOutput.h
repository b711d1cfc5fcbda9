#pragma once

#include <string>

// The last debug text: "message at file:line".
extern std::string debugString;

class DebugOutput {
  public:
    // Formats the printf-style `input` and replaces debugString with "<message> at <file
    // name>:<line>", the file reduced to its last path component. Prints nothing.
    static void outputLineNumberInput(const char* fileName, int lineNumber, const char* input, ...)
        __attribute__((format(printf, 3, 4)));
};
