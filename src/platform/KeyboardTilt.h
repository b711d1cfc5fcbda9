#pragma once

#include <array>

namespace brumelo {

// An accelerometer sample in the device's axes, in units of the earth's gravity. A device held
// upright and still reads (0, -1, 0); flat and face up (0, 0, -1).
using AccelSample = std::array<double, 3>;

// The keyboard standing in for a sensor: arrows tilt the device up to 45 degrees, space shakes.
class KeyboardTilt {
  public:
    struct Keys {
        bool left = false, right = false, up = false, down = false, shake = false;
    };
    static constexpr double kMaxTiltDegrees = 45.0;
    static constexpr double kTiltSpeed = 180.0;  // degrees a second

    // Advances by dt seconds with these keys held and returns the sample.
    AccelSample update(double dt, const Keys& keys);

  private:
    double roll_ = 0;   // about the axis out of the screen: + tilts to the right
    double pitch_ = 0;  // about the horizontal axis: + leans the top away
    int shakeStep_ = 0;
};

}  // namespace brumelo
