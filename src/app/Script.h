#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace brumelo {

// One line of a headless run's input script.
struct ScriptEvent {
    enum class Kind {
        TouchDown,
        TouchMove,
        TouchUp,
        TouchCancel,
        Accel,
        Mic,
        Button,
        Pick,
        PickCancel,
        Screenshot
    };
    int frame = 1;  // delivered before this frame is drawn; frames count from 1
    Kind kind = Kind::TouchDown;
    std::int64_t id = 0;            // touches
    double x = 0, y = 0;            // touches: screen points, origin top-left
    int taps = 1;                   // touch-up
    double ax = 0, ay = 0, az = 0;  // accel, device axes, g
    double level = 0;               // mic
    int index = 0;                  // button
    std::string path;               // pick, screenshot
    int line = 0;                   // where it came from, for messages
};

// A script that cannot be read or holds a line that is not an event. what() is one line:
// "FILE:LINE: what is wrong" ("FILE: ..." when the file cannot be read).
class ScriptError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Events sorted by frame, those of one frame in file order.
std::vector<ScriptEvent> parseScript(const std::string& text, const std::string& fileName);
std::vector<ScriptEvent> loadScript(const std::string& fileName);

}  // namespace brumelo
