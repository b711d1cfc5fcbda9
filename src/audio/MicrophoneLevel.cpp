#include "audio/MicrophoneLevel.h"

#include <algorithm>
#include <cmath>

namespace brumelo {

double MicrophoneLevel::normalise(double raw, double floor, double gain) {
    if (!(raw > 0) || !(gain > 0)) return 0;
    const double margin = 1.5 * floor;
    const double power = raw * raw - margin * margin;
    if (power <= 0) return 0;
    return std::min(1.0, gain * std::sqrt(power) / kFullScale);
}

double MicrophoneLevel::update(double raw) {
    if (!std::isfinite(raw)) raw = 0;
    if (calibrating()) {
        // Until the device delivers its first audio the meter reads exactly 0: not silence.
        if (raw > 0) calibration_.push_back(raw);
        if (++frames_ == kCalibrationFrames && !calibration_.empty()) {
            // The median, so that a click or a first breath does not set the floor.
            auto middle = calibration_.begin() + static_cast<long>(calibration_.size() / 2);
            std::nth_element(calibration_.begin(), middle, calibration_.end());
            floor_ = std::max(kLowestFloor, *middle);
            calibration_.clear();
            calibration_.shrink_to_fit();
        }
        level_ = held_ = 0;
        return 0;
    }
    // A floor measured too high (someone talked through the first second) comes down to the
    // quietest level since; it never climbs, so a long blow cannot raise it.
    if (raw > 0 && raw < floor_) floor_ = std::max(kLowestFloor, floor_ + (raw - floor_) * 0.1);
    level_ = normalise(raw, floor_, gain_);
    recent_[static_cast<std::size_t>(next_)] = level_;
    next_ = (next_ + 1) % kHoldFrames;
    held_ = *std::min_element(recent_.begin(), recent_.end());
    return held_;
}

MicrophoneLevel& microphoneLevel() {
    static MicrophoneLevel level;
    return level;
}

}  // namespace brumelo
