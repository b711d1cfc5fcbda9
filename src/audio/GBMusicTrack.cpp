#include "audio/GBMusicTrack.h"

#include <AL/alc.h>

#include <chrono>
#include <cstdio>

#include "platform/MainThreadQueue.h"
#include "platform/SoundFileReader.h"

const char* const GBMusicTrackFinishedPlayingNotification =
    "GBMusicTrackFinishedPlayingNotification";

namespace {
// How often the feeder looks for played buffers; a buffer lasts far longer than this.
constexpr auto kFeederPoll = std::chrono::milliseconds(5);
}  // namespace

std::atomic<bool> GBMusicTrack::feederThreads_{true};

std::shared_ptr<GBMusicTrack> GBMusicTrack::initWithPath(const std::string& path) {
    if (path.empty()) return nullptr;
    std::shared_ptr<GBMusicTrack> track(new GBMusicTrack());
    track->self_ = track;
    if (!track->open(path)) return nullptr;
    return track;
}

bool GBMusicTrack::open(const std::string& path) {
    path_ = path;
    auto reader = brumelo::SoundFileReader::open(path);
    if (!reader) {
        std::fprintf(stderr,
                     "GBMusicTrack Error - initWithPath: could not open audio file. Path given "
                     "was: %s\n",
                     path.c_str());
        return false;
    }
    sampleRate_ = reader->sampleRate();
    channels_ = static_cast<std::uint32_t>(reader->channels());
    audioFile_ = std::move(reader);
    // The file is always decoded to 16-bit frames, so every read has a constant packet size.
    bytesPerPacket_ = 2 * channels_;
    alFormat_ = channels_ == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16;
    numPacketsToRead_ = gBufferSizeBytes / bytesPerPacket_;

    // Without an output context the track stays silent but usable.
    if (alcGetCurrentContext()) {
        alGetError();
        alGenSources(1, &source_);
        if (alGetError() != AL_NO_ERROR) source_ = 0;
    }
    if (source_) {
        // Not placed in space: the wipe sounds play straight, whatever the listener does.
        alSourcei(source_, AL_SOURCE_RELATIVE, AL_TRUE);
        alSource3f(source_, AL_POSITION, 0.f, 0.f, 0.f);
        alSourcef(source_, AL_ROLLOFF_FACTOR, 0.f);
    }

    std::lock_guard lock(mutex_);
    packetIndex_ = 0;
    for (auto& buffer : buffers_) {
        buffer.data.assign(gBufferSizeBytes, 0);
        if (source_) alGenBuffers(1, &buffer.name);
        ++buffersUsed_;
        if (readPacketsIntoBuffer(buffer) == 0) break;
    }
    repeat_ = false;
    trackClosed_ = false;
    if (source_ && feederThreads_) feeder_ = std::thread([this] { feederLoop(); });
    return true;
}

GBMusicTrack::~GBMusicTrack() { close(); }

std::uint32_t GBMusicTrack::readPacketsIntoBuffer(GBAudioBuffer& buffer) {
    if (!audioFile_) return 0;
    const std::size_t got =
        audioFile_->read(packetIndex_.load(), reinterpret_cast<std::int16_t*>(buffer.data.data()),
                         numPacketsToRead_);
    if (got == 0) return 0;
    buffer.byteSize = static_cast<std::uint32_t>(got) * bytesPerPacket_;
    if (source_ && buffer.name) {
        alBufferData(buffer.name, alFormat_, buffer.data.data(),
                     static_cast<ALsizei>(buffer.byteSize), static_cast<ALsizei>(sampleRate_));
        alSourceQueueBuffers(source_, 1, &buffer.name);
        buffer.queued = true;
    }
    packetIndex_ += static_cast<std::uint64_t>(got);
    return static_cast<std::uint32_t>(got);
}

void GBMusicTrack::callbackForBuffer(GBAudioBuffer& buffer) {
    if (ending_) return;
    if (readPacketsIntoBuffer(buffer) > 0) return;
    if (repeat_) {
        packetIndex_ = 0;
        readPacketsIntoBuffer(buffer);
        return;
    }
    // Pausing here would cut off the end still queued in the other buffers and make the next
    // play start there; finishEnd() rewinds once they have played.
    ending_ = true;
}

std::size_t GBMusicTrack::queuedCount() const {
    std::size_t n = 0;
    for (const auto& buffer : buffers_)
        if (buffer.queued) ++n;
    return n;
}

void GBMusicTrack::fillFreeBuffers() {
    for (std::size_t i = 0; i < buffersUsed_; ++i) {
        auto& buffer = buffers_[i];
        if (buffer.queued) continue;
        if (readPacketsIntoBuffer(buffer) == 0) break;
    }
}

void GBMusicTrack::finishEnd() {
    ending_ = false;
    packetIndex_ = 0;
    fillFreeBuffers();
    playing_ = false;
    brumelo::MainThreadQueue::main().post([weak = self_] {
        if (auto track = weak.lock()) track->postTrackFinishedPlayingNotification();
    });
}

void GBMusicTrack::dropQueued() {
    alSourceStop(source_);
    alSourcei(source_, AL_BUFFER, 0);
    for (auto& buffer : buffers_) buffer.queued = false;
    ending_ = false;
    fillFreeBuffers();
    if (queuedCount() == 0) {
        packetIndex_ = 0;
        fillFreeBuffers();
    }
}

void GBMusicTrack::refill() {
    // Nothing plays out unless playing; and a stopped source counts every queued buffer as
    // played, so refilling it would throw away the rewound start (and end the track again).
    if (!playing_) return;
    ALint processed = 0;
    alGetSourcei(source_, AL_BUFFERS_PROCESSED, &processed);
    for (; processed > 0; --processed) {
        ALuint name = 0;
        alSourceUnqueueBuffers(source_, 1, &name);
        for (auto& buffer : buffers_) {
            if (buffer.name != name || !buffer.queued) continue;
            buffer.queued = false;
            callbackForBuffer(buffer);
            break;
        }
    }
    if (ending_ && queuedCount() == 0) {
        finishEnd();
    } else {
        // A late refill lets the source run dry and stop; start it again.
        ALint state = 0;
        alGetSourcei(source_, AL_SOURCE_STATE, &state);
        if (state != AL_PLAYING && state != AL_PAUSED && queuedCount() > 0) alSourcePlay(source_);
    }
}

void GBMusicTrack::feederLoop() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
        refill();
        // Paused (even with the end pending) nothing plays out, so nothing needs watching.
        if (playing_)
            wake_.wait_for(lock, kFeederPoll, [this] { return quit_.load(); });
        else
            wake_.wait(lock, [this] { return quit_.load() || playing_.load(); });
    }
}

void GBMusicTrack::feed() {
    std::lock_guard lock(mutex_);
    if (feeder_.joinable() || trackClosed_ || !source_) return;
    refill();
}

void GBMusicTrack::play() {
    std::lock_guard lock(mutex_);
    if (trackClosed_ || !source_) return;
    ALint state = 0;
    alGetSourcei(source_, AL_SOURCE_STATE, &state);
    // Playing again would restart the source's queue from its first buffer.
    if (state != AL_PLAYING && queuedCount() > 0) alSourcePlay(source_);
    playing_ = true;
    wake_.notify_all();
}

void GBMusicTrack::pause() {
    std::lock_guard lock(mutex_);
    if (trackClosed_ || !source_) return;
    alSourcePause(source_);
    playing_ = false;
}

void GBMusicTrack::stop() {
    std::lock_guard lock(mutex_);
    if (trackClosed_ || !source_) return;
    playing_ = false;
    dropQueued();
}

void GBMusicTrack::reset() {
    std::lock_guard lock(mutex_);
    if (trackClosed_ || !source_) return;
    dropQueued();
    if (playing_ && queuedCount() > 0) alSourcePlay(source_);
}

void GBMusicTrack::setGain(float gain) {
    std::lock_guard lock(mutex_);
    if (trackClosed_ || !source_) return;
    alSourcef(source_, AL_GAIN, gain);
}

void GBMusicTrack::setRepeat(bool repeat) { repeat_ = repeat; }

void GBMusicTrack::close() {
    if (trackClosed_.exchange(true)) return;
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        playing_ = false;
    }
    wake_.notify_all();
    if (feeder_.joinable()) feeder_.join();
    std::lock_guard lock(mutex_);
    if (source_) {
        alSourceStop(source_);
        alSourcei(source_, AL_BUFFER, 0);
        alDeleteSources(1, &source_);
        source_ = 0;
    }
    for (auto& buffer : buffers_) {
        if (buffer.name) alDeleteBuffers(1, &buffer.name);
        buffer.name = 0;
        buffer.queued = false;
    }
    audioFile_.reset();
}

void GBMusicTrack::postTrackFinishedPlayingNotification() { ++finishedNotifications_; }
