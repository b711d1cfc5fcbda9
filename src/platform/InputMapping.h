#pragma once

#include <cstdint>

namespace brumelo {

// The phone's screen was 320 x 480 points; the window shows the pane scaled and centred.
constexpr int kScreenWidth = 320;
constexpr int kScreenHeight = 480;

// The pane: the screen in points, the world's units. The phone's 320 x 480 grown along one side
// to the shape of the screen it is shown on.
struct PaneSize {
    int width = kScreenWidth;
    int height = kScreenHeight;
    bool operator==(const PaneSize&) const = default;
};

// The pane for a screen (or window) of this shape: 320 points wide and as high as the shape
// makes it; on an upright screen wider than 2:3 (a tablet), 480 high and as wide; on a screen
// wider than high, the phone's 320 x 480, upright as a phone held sideways shows it. Sides
// round to even points, so that the world's origin, the pane's centre, stays on a point.
PaneSize paneForScreen(int screenWidth, int screenHeight);

// Where the screen picture lies in the window, in window pixels.
struct Letterbox {
    int x = 0, y = 0, width = kScreenWidth, height = kScreenHeight;
    PaneSize pane;  // what the picture shows, in points

    // A whole-number scale where one fits (crisp pixels), else the largest fit keeping the shape.
    // forcedScale > 0 asks for that scale, shrunk to fit when the window is too small.
    static Letterbox fit(int windowWidth, int windowHeight, int forcedScale = 0,
                         PaneSize pane = {});
    // The largest fit keeping the shape, whole-number scale or not: on a phone's screen bars
    // cost room that crisp pixels do not make up for.
    static Letterbox fill(int windowWidth, int windowHeight, PaneSize pane = {});

    // Window position to screen points; false outside the picture.
    bool toPoints(double windowX, double windowY, double& pointX, double& pointY) const;
};

// Tap counts as a phone counts them: a touch that begins within 0.35 s and 20 points of where
// the previous tap ended continues its count.
class TapCounter {
  public:
    static constexpr double kInterval = 0.35;
    static constexpr double kDistance = 20.0;

    // A finger went down at time t (seconds); returns the tap count the touch carries.
    int touchBegan(double t, double x, double y);
    // It lifted; a touch that wandered more than kDistance from its start is no tap.
    void touchEnded(double t, double x, double y, int tapCount, double startX, double startY);

  private:
    bool haveLast_ = false;
    double lastTime_ = 0, lastX_ = 0, lastY_ = 0;
    int lastCount_ = 0;
};

}  // namespace brumelo
