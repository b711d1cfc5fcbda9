#include "audio/AudioQueueObject.h"

void AudioQueueObject::enableLevelMetering() {
    audioLevels_.assign(audioFormat_.mChannelsPerFrame, AudioQueueLevelMeterState{});
    if (queueObject_) queueObject_->setMeteringEnabled(true);
}

void AudioQueueObject::getAudioLevels(float* levels, float* peaks) {
    if (audioLevels_.empty()) return;
    // A failed read keeps the previous values.
    if (queueObject_) queueObject_->currentLevelMeter(audioLevels_.data(), audioLevels_.size());
    if (levels) levels[0] = audioLevels_[0].mAveragePower;
    if (peaks) peaks[0] = audioLevels_[0].mPeakPower;
}

bool AudioQueueObject::isRunning() const { return queueObject_ && queueObject_->isRunning(); }
