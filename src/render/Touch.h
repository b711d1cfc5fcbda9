#pragma once

#include <cstdint>

// One finger on the glass, as the view hands it to the steam screen. The identifier stays the same
// from the finger's touch-down to its lift; the steam screen keys its wipe tracks by it.
struct Touch {
    std::int64_t identifier = 0;
    int tapCount = 1;
    double x = 0.0;          // screen points, origin top-left, 0..320
    double y = 0.0;          // 0..480
    double previousX = 0.0;  // where the finger was at the event before, in points
    double previousY = 0.0;
};
