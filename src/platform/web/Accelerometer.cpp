// The device's motion sensor through the page's devicemotion events (iOS asks the person on the
// first touch, see library_brumelo.js), else the keyboard.

#include "platform/Accelerometer.h"

#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <cmath>
#include <numbers>

#include "platform/web/Browser.h"

namespace brumelo {

namespace {

constexpr double kStandardGravity = 9.80665;
// A sensor that has said nothing for this long is gone; the keyboard takes over.
constexpr double kSensorSilence = 1.0;

}  // namespace

struct Accelerometer::Impl {
    KeyboardTilt keyboard;
    AccelSample latest{0.0, -1.0, 0.0};
    double latestTime = -1e9;
    bool everHeard = false;
    double sign = brumelo_motion_sign();

    static EM_BOOL motion(int, const EmscriptenDeviceMotionEvent* e, void* data) {
        auto* self = static_cast<Impl*>(data);
        // supportedFields is never filled in by this Emscripten; a missing reading arrives as
        // NaN (or zeros) instead.
        const double x = e->accelerationIncludingGravityX, y = e->accelerationIncludingGravityY,
                     z = e->accelerationIncludingGravityZ;
        // Browsers without a sensor send zeros (or nothing), never a real reading of no gravity.
        if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z) ||
            (x == 0.0 && y == 0.0 && z == 0.0))
            return EM_FALSE;
        // The event reports the push that holds the device up, in m/s^2 along the device's
        // axes (WebKit on iOS: the pull, CoreMotion's sign); we report the pull of gravity in
        // g, along the screen's axes (the page may be turned to landscape).
        const double pull = -self->sign / kStandardGravity;
        const double angle = brumelo_screen_angle() * std::numbers::pi / 180.0;
        const double c = std::cos(angle), s = std::sin(angle);
        const double dx = x * pull, dy = y * pull;
        self->latest = {dx * c - dy * s, dx * s + dy * c, z * pull};
        self->latestTime = emscripten_get_now() / 1000.0;
        self->everHeard = true;
        return EM_FALSE;
    }

    bool sensorLive() const {
        return everHeard && emscripten_get_now() / 1000.0 - latestTime < kSensorSilence;
    }
};

Accelerometer::Accelerometer(const std::string&, bool, bool) : impl_(std::make_unique<Impl>()) {
    emscripten_set_devicemotion_callback(impl_.get(), EM_TRUE, &Impl::motion);
}

Accelerometer::~Accelerometer() { emscripten_set_devicemotion_callback(nullptr, EM_TRUE, nullptr); }

std::string Accelerometer::sourceName() const {
    if (impl_->sensorLive()) return "device motion";
    return "keyboard (arrows tilt, space shakes) until the device reports motion";
}

AccelSample Accelerometer::sample(double dt, const KeyboardTilt::Keys& keys) {
    // Keys held win, so a laptop that reports motion can still be tilted by hand.
    const bool anyKey = keys.left || keys.right || keys.up || keys.down || keys.shake;
    if (impl_->sensorLive() && !anyKey) {
        impl_->keyboard.update(dt, keys);
        return impl_->latest;
    }
    return impl_->keyboard.update(dt, keys);
}

}  // namespace brumelo
