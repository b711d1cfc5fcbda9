#include "audio/AudioInputQueue.h"

#include <algorithm>
#include <cmath>
#include <cstring>

AudioInputQueue::AudioInputQueue(const AudioStreamBasicDescription& format, InputCallback callback,
                                 std::unique_ptr<brumelo::AudioCapture> capture)
    : format_(format), callback_(std::move(callback)), capture_(std::move(capture)) {
    // The queue delivers what its microphone gives: mono 16-bit at the microphone's rate.
    if (capture_) format_.mSampleRate = capture_->sampleRate();
    format_.mChannelsPerFrame = 1;
    format_.mBitsPerChannel = 16;
    format_.mBytesPerFrame = 2;
    format_.mBytesPerPacket = 2;
    format_.mFramesPerPacket = 1;
}

AudioInputQueue::~AudioInputQueue() {
    if (capture_) capture_->stop();
    running_ = false;
}

AudioQueueBuffer* AudioInputQueue::allocateBuffer(std::uint32_t bytes) {
    auto buffer = std::make_unique<AudioQueueBuffer>();
    buffer->data.assign(bytes, 0);
    std::lock_guard lock(mutex_);
    buffers_.push_back(std::move(buffer));
    return buffers_.back().get();
}

void AudioInputQueue::enqueueBuffer(AudioQueueBuffer* buffer) {
    if (!buffer) return;
    buffer->byteSize = 0;
    std::lock_guard lock(mutex_);
    enqueued_.push_back(buffer);
}

void AudioInputQueue::addPropertyListener(std::uint32_t property, PropertyListener listener) {
    if (property == kAudioQueueProperty_IsRunning) runningListeners_.push_back(std::move(listener));
}

bool AudioInputQueue::start() {
    if (!capture_ || running_) return running_;
    running_ = true;
    if (!capture_->start([this](const std::int16_t* s, std::size_t n) { capture(s, n); })) {
        running_ = false;
        return false;
    }
    for (auto& listener : runningListeners_) listener(*this, kAudioQueueProperty_IsRunning);
    return true;
}

void AudioInputQueue::stop() {
    if (!running_) return;
    // After this the capture thread is quiet, so the partial buffer is ours.
    capture_->stop();
    running_ = false;
    AudioQueueBuffer* partial = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (!enqueued_.empty() && enqueued_.front()->byteSize > 0) {
            partial = enqueued_.front();
            enqueued_.pop_front();
        }
    }
    if (partial) callback_(*this, *partial, partial->byteSize / format_.mBytesPerPacket);
    for (auto& listener : runningListeners_) listener(*this, kAudioQueueProperty_IsRunning);
}

bool AudioInputQueue::currentLevelMeter(AudioQueueLevelMeterState* out,
                                        std::size_t channels) const {
    if (!metering_ || !out) return false;
    for (std::size_t c = 0; c < channels; ++c) {
        // A mono capture: every channel shows the one signal.
        out[c].mAveragePower = average_.load(std::memory_order_relaxed);
        out[c].mPeakPower = peak_.load(std::memory_order_relaxed);
    }
    return true;
}

void AudioInputQueue::pump(double seconds) {
    if (capture_ && running_) capture_->pump(seconds);
}

void AudioInputQueue::capture(const std::int16_t* samples, std::size_t count) {
    if (count == 0) return;
    if (metering_) {
        double sum = 0;
        int peak = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const int s = samples[i];
            sum += static_cast<double>(s) * s;
            peak = std::max(peak, std::abs(s));
        }
        const double rms = std::sqrt(sum / static_cast<double>(count)) / 32768.0;
        average_.store(static_cast<float>(std::min(rms, 1.0)), std::memory_order_relaxed);
        peak_.store(std::min(static_cast<float>(peak) / 32768.f, 1.f), std::memory_order_relaxed);
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(samples);
    std::size_t left = count * sizeof(std::int16_t);
    while (left > 0) {
        AudioQueueBuffer* full = nullptr;
        {
            std::lock_guard lock(mutex_);
            // No buffer handed back yet: the audio is lost, as with any overrun.
            if (enqueued_.empty()) return;
            AudioQueueBuffer* buffer = enqueued_.front();
            const std::size_t room = buffer->data.size() - buffer->byteSize;
            const std::size_t n = std::min(room, left);
            std::memcpy(buffer->data.data() + buffer->byteSize, bytes, n);
            buffer->byteSize += static_cast<std::uint32_t>(n);
            bytes += n;
            left -= n;
            if (buffer->byteSize == buffer->data.size()) {
                full = buffer;
                enqueued_.pop_front();
            }
        }
        if (full) callback_(*this, *full, full->byteSize / format_.mBytesPerPacket);
    }
}
