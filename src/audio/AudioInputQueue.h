#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/AudioCapture.h"

// A recording stream format: 40 bytes, as recording files and queues describe it.
struct AudioStreamBasicDescription {
    double mSampleRate = 0;
    std::uint32_t mFormatID = 0;
    std::uint32_t mFormatFlags = 0;
    std::uint32_t mBytesPerPacket = 0;
    std::uint32_t mFramesPerPacket = 0;
    std::uint32_t mBytesPerFrame = 0;
    std::uint32_t mChannelsPerFrame = 0;
    std::uint32_t mBitsPerChannel = 0;
    std::uint32_t mReserved = 0;
};

// Linear 0..1 levels of one channel.
struct AudioQueueLevelMeterState {
    float mAveragePower = 0;
    float mPeakPower = 0;
};

constexpr std::uint32_t kAudioFormatLinearPCM = 0x6C70636D;  // 'lpcm'
constexpr std::uint32_t kAudioFormatFlagIsSignedInteger = 4;
constexpr std::uint32_t kAudioFormatFlagIsPacked = 8;
constexpr std::uint32_t kAudioQueueProperty_IsRunning = 0x6171726E;  // 'aqrn'

struct AudioQueueBuffer {
    std::vector<std::uint8_t> data;  // capacity bytes
    std::uint32_t byteSize = 0;      // bytes filled
};

// An input queue over a microphone: fills the enqueued buffers in turn with captured 16-bit mono
// audio and hands each full one to the input callback, which enqueues it again to keep it
// circulating. Measures the level of every captured chunk while metering is on.
class AudioInputQueue {
  public:
    // Called with a filled buffer and its packet count; on the capture's thread.
    using InputCallback = std::function<void(AudioInputQueue&, AudioQueueBuffer&, std::uint32_t)>;
    // Called after the running state changes.
    using PropertyListener = std::function<void(AudioInputQueue&, std::uint32_t property)>;

    AudioInputQueue(const AudioStreamBasicDescription& format, InputCallback callback,
                    std::unique_ptr<brumelo::AudioCapture> capture);
    ~AudioInputQueue();
    AudioInputQueue(const AudioInputQueue&) = delete;
    AudioInputQueue& operator=(const AudioInputQueue&) = delete;

    const AudioStreamBasicDescription& streamDescription() const { return format_; }
    AudioQueueBuffer* allocateBuffer(std::uint32_t bytes);
    void enqueueBuffer(AudioQueueBuffer* buffer);
    void addPropertyListener(std::uint32_t property, PropertyListener listener);

    bool start();
    // Stops at once; the audio already captured into the current buffer is still delivered.
    void stop();
    bool isRunning() const { return running_.load(); }

    void setMeteringEnabled(bool on) { metering_ = on; }
    // Levels of the latest chunk: writes `channels` entries; false when metering is off.
    bool currentLevelMeter(AudioQueueLevelMeterState* out, std::size_t channels) const;

    // File-fed microphones: deliver the next `seconds` of audio now, on this thread.
    void pump(double seconds);

  private:
    void capture(const std::int16_t* samples, std::size_t count);

    AudioStreamBasicDescription format_;
    InputCallback callback_;
    std::unique_ptr<brumelo::AudioCapture> capture_;
    std::vector<std::unique_ptr<AudioQueueBuffer>> buffers_;
    std::vector<PropertyListener> runningListeners_;

    std::mutex mutex_;  // the enqueued list
    std::deque<AudioQueueBuffer*> enqueued_;
    std::atomic<bool> running_{false};
    std::atomic<bool> metering_{false};
    std::atomic<float> average_{0};
    std::atomic<float> peak_{0};
};
