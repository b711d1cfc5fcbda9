#pragma once

#include <cstdint>

namespace brumelo {

// The screen is 320 x 480 points; the window shows it scaled and centred, bars around it.
constexpr int kScreenWidth = 320;
constexpr int kScreenHeight = 480;

// Where the screen picture lies in the window, in window pixels.
struct Letterbox {
    int x = 0, y = 0, width = kScreenWidth, height = kScreenHeight;

    // A whole-number scale where one fits (crisp pixels), else the largest fit keeping the shape.
    // forcedScale > 0 asks for that scale, shrunk to fit when the window is too small.
    static Letterbox fit(int windowWidth, int windowHeight, int forcedScale = 0);
    // The largest fit keeping the shape, whole-number scale or not: on a phone's screen bars
    // cost room that crisp pixels do not make up for.
    static Letterbox fill(int windowWidth, int windowHeight);

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
