#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "audio/AudioQueueObject.h"

// Records the microphone (mono 16-bit PCM at the device's rate) into a CAF file for as long as it
// runs, and meters its level. Three 65536-byte buffers circulate between the queue and the file.
class AudioRecorder : public AudioQueueObject {
  public:
    // Over the default capture device. With no microphone the recorder still exists: it logs so,
    // records nothing and its levels stay 0.
    static std::shared_ptr<AudioRecorder> initWithURL(const std::string& path);
    // Over a given microphone (a file-fed one, for instance); nullptr capture: no microphone.
    static std::shared_ptr<AudioRecorder> initWithURL(
        const std::string& path, std::unique_ptr<brumelo::AudioCapture> capture);
    ~AudioRecorder() override;

    void setupAudioFormat(std::uint32_t formatID);
    // Creates (emptying) the file and queues the buffers.
    void setupRecording();
    void record();
    void stop();
    void copyEncoderMagicCookieToFileFromQueue(brumelo::SoundFileWriter* file,
                                               AudioInputQueue* queue);

    bool stopping() const { return stopping_.load(); }
    void setStopping(bool stopping) { stopping_ = stopping; }

    // A file-fed microphone delivers its next `seconds` of audio now (call once a frame).
    void feedFromFile(double seconds);

    // Closes the recording file, leaving it complete on disk.
    void closeFile();

  private:
    AudioRecorder() = default;
    std::unique_ptr<brumelo::AudioCapture> pendingCapture_;
    std::atomic<bool> stopping_{false};
};

void recordingCallback(AudioRecorder* recorder, AudioInputQueue* queue, AudioQueueBuffer* buffer,
                       std::uint32_t numPackets);
void audioQueuePropertyListenerCallback(AudioRecorder* recorder, AudioInputQueue* queue,
                                        std::uint32_t property);
