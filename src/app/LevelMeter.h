#pragma once

namespace brumelo {

// What the meter shows: the microphone's normalised level (0..1), the level from which the steam
// counts a blow, whether it counts now, and whether the silence floor is still being measured.
struct LevelReading {
    double level = 0;
    double threshold = 0.7;
    bool blowing = false;
    bool calibrating = false;
};

// A small upright bar at the right of the picture, drawn over the presented window with
// OpenGL ES 1.1 (untextured quads from client arrays), like the alerts: never into the screen
// frame buffer, so screenshots stay clean. Draws nothing while the level is at the floor, only a
// dim outline while calibrating. The picture lies at (screenX, screenY) with the given size
// inside a window of windowWidth x windowHeight pixels (origin top-left). The caller's GL state is
// left as it was.
void drawLevelMeter(const LevelReading& reading, int screenX, int screenY, int screenWidth,
                    int screenHeight, int windowWidth, int windowHeight);

// The meter's switch (M in the window); off at start.
bool& levelMeterShown();

// The program microphone's reading, for drawLevelMeter.
LevelReading microphoneReading();

}  // namespace brumelo
