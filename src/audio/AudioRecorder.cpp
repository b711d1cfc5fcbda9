#include "audio/AudioRecorder.h"

#include <cstdio>

namespace {
constexpr int kBufferCount = 3;
constexpr std::uint32_t kBufferBytes = 65536;
// Rate assumed when no microphone answers.
constexpr double kFallbackRate = 44100;
}  // namespace

std::shared_ptr<AudioRecorder> AudioRecorder::initWithURL(const std::string& path) {
    std::string whyNot;
    auto capture = brumelo::AudioCapture::openDevice(&whyNot);
    if (!capture) std::fprintf(stderr, "No microphone, running without one: %s\n", whyNot.c_str());
    return initWithURL(path, std::move(capture));
}

std::shared_ptr<AudioRecorder> AudioRecorder::initWithURL(
    const std::string& path, std::unique_ptr<brumelo::AudioCapture> capture) {
    std::fprintf(stderr, "initializing a recorder object.\n");
    std::shared_ptr<AudioRecorder> recorder(new AudioRecorder());
    recorder->pendingCapture_ = std::move(capture);
    recorder->setupAudioFormat(kAudioFormatLinearPCM);

    AudioRecorder* self = recorder.get();
    int status = -1;
    if (recorder->pendingCapture_) {
        recorder->queueObject_ = std::make_unique<AudioInputQueue>(
            recorder->audioFormat_,
            [self](AudioInputQueue& queue, AudioQueueBuffer& buffer, std::uint32_t packets) {
                recordingCallback(self, &queue, &buffer, packets);
            },
            std::move(recorder->pendingCapture_));
        status = 0;
    }
    std::fprintf(stderr, "Attempted to create new recording audio queue object. Result: %f\n",
                 static_cast<double>(status));
    if (recorder->queueObject_) {
        recorder->audioFormat_ = recorder->queueObject_->streamDescription();
        recorder->queueObject_->addPropertyListener(
            kAudioQueueProperty_IsRunning, [self](AudioInputQueue& queue, std::uint32_t property) {
                audioQueuePropertyListenerCallback(self, &queue, property);
            });
    }
    recorder->setAudioFileURL(path);
    recorder->enableLevelMetering();
    return recorder;
}

AudioRecorder::~AudioRecorder() {
    // Stopping delivers the partly filled buffer, so no recorded audio is lost.
    if (queueObject_) queueObject_->stop();
    queueObject_.reset();
    closeFile();
}

void AudioRecorder::setupAudioFormat(std::uint32_t formatID) {
    hardwareSampleRate_ = pendingCapture_ ? pendingCapture_->sampleRate() : kFallbackRate;
    audioFormat_.mSampleRate = hardwareSampleRate_;
    std::fprintf(stderr, "Hardware sample rate = %f\n", hardwareSampleRate_);
    audioFormat_.mFormatID = formatID;
    audioFormat_.mChannelsPerFrame = 1;
    if (formatID == kAudioFormatLinearPCM) {
        audioFormat_.mFormatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
        audioFormat_.mFramesPerPacket = 1;
        audioFormat_.mBitsPerChannel = 16;
        audioFormat_.mBytesPerPacket = 2;
        audioFormat_.mBytesPerFrame = 2;
    }
}

void AudioRecorder::setupRecording() {
    startingPacketNumber_ = 0;
    if (!audioFileID_ && !audioFileURL_.empty()) {
        std::string why;
        // Creating the file empties any earlier recording.
        audioFileID_ =
            brumelo::SoundFileWriter::createCAF(audioFileURL_, audioFormat_.mSampleRate, &why);
        if (!audioFileID_)
            std::fprintf(stderr, "Could not create the recording file %s: %s\n",
                         audioFileURL_.c_str(), why.c_str());
    }
    copyEncoderMagicCookieToFileFromQueue(audioFileID_.get(), queueObject_.get());
    if (!queueObject_) return;
    for (int i = 0; i < kBufferCount; ++i)
        queueObject_->enqueueBuffer(queueObject_->allocateBuffer(kBufferBytes));
}

void AudioRecorder::record() {
    setupRecording();
    if (queueObject_) queueObject_->start();
}

void AudioRecorder::stop() {
    if (queueObject_) queueObject_->stop();
}

void AudioRecorder::copyEncoderMagicCookieToFileFromQueue(brumelo::SoundFileWriter*,
                                                          AudioInputQueue*) {
    // Linear PCM has no encoder cookie; nothing to copy.
}

void AudioRecorder::feedFromFile(double seconds) {
    if (queueObject_) queueObject_->pump(seconds);
}

void AudioRecorder::closeFile() { audioFileID_.reset(); }

void recordingCallback(AudioRecorder* recorder, AudioInputQueue* queue, AudioQueueBuffer* buffer,
                       std::uint32_t numPackets) {
    if (numPackets > 0 && recorder->audioFileID()) {
        const std::size_t written = recorder->audioFileID()->append(
            reinterpret_cast<const std::int16_t*>(buffer->data.data()), numPackets);
        if (written > 0)
            recorder->incrementStartingPacketNumberBy(static_cast<std::uint32_t>(written));
    }
    if (recorder->isRunning()) queue->enqueueBuffer(buffer);
}

void audioQueuePropertyListenerCallback(AudioRecorder* recorder, AudioInputQueue* queue,
                                        std::uint32_t) {
    if (!recorder->stopping()) return;
    recorder->copyEncoderMagicCookieToFileFromQueue(recorder->audioFileID(), queue);
    recorder->closeFile();
}
