#include "platform/KeyboardTilt.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace brumelo {

AccelSample KeyboardTilt::update(double dt, const Keys& keys) {
    auto approach = [dt](double& angle, double target) {
        double step = kTiltSpeed * dt;
        if (angle < target) angle = std::min(target, angle + step);
        if (angle > target) angle = std::max(target, angle - step);
    };
    approach(roll_, (keys.right ? kMaxTiltDegrees : 0.0) - (keys.left ? kMaxTiltDegrees : 0.0));
    approach(pitch_, (keys.up ? kMaxTiltDegrees : 0.0) - (keys.down ? kMaxTiltDegrees : 0.0));
    const double r = roll_ * std::numbers::pi / 180.0, p = pitch_ * std::numbers::pi / 180.0;
    AccelSample s{std::sin(r) * std::cos(p), -std::cos(r) * std::cos(p), -std::sin(p)};
    if (keys.shake) {
        // A hand shaking the device side to side: every sample well above 1.3 g.
        ++shakeStep_;
        s[0] += ((shakeStep_ / 3) % 2 == 0) ? 1.6 : -1.6;
    } else {
        shakeStep_ = 0;
    }
    return s;
}

}  // namespace brumelo
