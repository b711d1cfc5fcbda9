#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/AudioInputQueue.h"
#include "platform/SoundFileWriter.h"

// State shared by users of an audio queue (queue, file, format, level buffer) and the level meter.
class AudioQueueObject {
  public:
    AudioQueueObject() = default;
    virtual ~AudioQueueObject() = default;
    AudioQueueObject(const AudioQueueObject&) = delete;
    AudioQueueObject& operator=(const AudioQueueObject&) = delete;

    AudioInputQueue* queueObject() const { return queueObject_.get(); }
    void setQueueObject(std::unique_ptr<AudioInputQueue> queue) { queueObject_ = std::move(queue); }
    brumelo::SoundFileWriter* audioFileID() const { return audioFileID_.get(); }
    void setAudioFileID(std::unique_ptr<brumelo::SoundFileWriter> file) {
        audioFileID_ = std::move(file);
    }
    const std::string& audioFileURL() const { return audioFileURL_; }
    void setAudioFileURL(const std::string& path) { audioFileURL_ = path; }
    double hardwareSampleRate() const { return hardwareSampleRate_; }
    void setHardwareSampleRate(double rate) { hardwareSampleRate_ = rate; }
    const AudioStreamBasicDescription& audioFormat() const { return audioFormat_; }
    void setAudioFormat(const AudioStreamBasicDescription& format) { audioFormat_ = format; }
    const std::vector<AudioQueueLevelMeterState>& audioLevels() const { return audioLevels_; }
    void setAudioLevels(std::vector<AudioQueueLevelMeterState> levels) {
        audioLevels_ = std::move(levels);
    }
    std::int64_t startingPacketNumber() const { return startingPacketNumber_.load(); }
    void setStartingPacketNumber(std::int64_t n) { startingPacketNumber_ = n; }
    void* notificationDelegate() const { return notificationDelegate_; }
    void setNotificationDelegate(void* delegate) { notificationDelegate_ = delegate; }

    // Allocates the level buffer (one entry per channel) and turns metering on.
    void enableLevelMetering();
    // Once a frame: levels[0] and peaks[0] get channel 0's linear average (RMS) and peak, 0..1;
    // nothing else of either array is written, and nothing is allocated.
    void getAudioLevels(float* levels, float* peaks);
    bool isRunning() const;
    void incrementStartingPacketNumberBy(std::uint32_t n) { startingPacketNumber_ += n; }

  protected:
    std::unique_ptr<AudioInputQueue> queueObject_;
    std::unique_ptr<brumelo::SoundFileWriter> audioFileID_;
    std::string audioFileURL_;
    double hardwareSampleRate_ = 0;
    AudioStreamBasicDescription audioFormat_{};
    std::vector<AudioQueueLevelMeterState> audioLevels_;
    std::atomic<std::int64_t> startingPacketNumber_{0};
    void* notificationDelegate_ = nullptr;
};
