#pragma once

#include <array>
#include <vector>

namespace brumelo {

// Turns the microphone's raw level into the level the steam screen sees, so that blowing into an
// ordinary desktop microphone reaches the blow threshold and talking does not. A phone's
// microphone, blown into, nearly saturates; a desktop one at ordinary gain gives a tenth of that.
// So: the silence floor is measured over the first second, what lies above it is scaled by the
// gain, and a level must hold for a few frames (a blow is steady, speech comes in syllables).
class MicrophoneLevel {
  public:
    static constexpr int kCalibrationFrames = 50;  // one second of frames
    static constexpr int kHoldFrames = 8;          // 0.16 s
    // The raw level above the floor that reads as 1 at gain 1.
    static constexpr double kFullScale = 0.1;
    static constexpr double kLowestFloor = 1e-4;
    // The steam screen blows above this level (it keeps its own constant; this is for the meter).
    static constexpr double kBlowThreshold = 0.7;

    explicit MicrophoneLevel(double gain = 1.0) : gain_(gain) {}

    // Once a frame with the meter's linear average level (0..1). Answers the level the steam
    // sees: 0 while calibrating, then the lowest normalised level of the last kHoldFrames.
    double update(double raw);

    // The normalised level of the latest reading, not held (for the meter).
    double level() const { return level_; }
    // What update answered last.
    double heldLevel() const { return held_; }
    bool calibrating() const { return frames_ < kCalibrationFrames; }
    double silenceFloor() const { return floor_; }
    double gain() const { return gain_; }
    void setGain(double gain) { gain_ = gain; }

    // A raw level as a fraction of full scale: the part above 1.5 times the floor (in power, as
    // noise and signal add), times the gain, at most 1.
    static double normalise(double raw, double floor, double gain);

  private:
    double gain_;
    int frames_ = 0;
    std::vector<double> calibration_;
    double floor_ = kLowestFloor;
    double level_ = 0;
    double held_ = 0;
    std::array<double, kHoldFrames> recent_{};
    int next_ = 0;
};

// The program's one normaliser; the launch starts it afresh with the chosen gain.
MicrophoneLevel& microphoneLevel();

}  // namespace brumelo
