#pragma once

#include <AL/al.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace brumelo {
class SoundFileReader;
}

// Name of the notice a non-repeating track hands to the main loop when it reaches its end.
extern const char* const GBMusicTrackFinishedPlayingNotification;

// Size of each streaming buffer.
constexpr std::uint32_t gBufferSizeBytes = 65536;

// One streaming buffer: its OpenAL name and the bytes last read into it.
struct GBAudioBuffer {
    ALuint name = 0;
    std::vector<std::uint8_t> data;
    std::uint32_t byteSize = 0;
    bool queued = false;
};

// Plays one sound file through an OpenAL source, streamed in three buffers refilled on a feeder
// thread (or, where there are no threads, by feed() once a frame). At the end of the file it
// rewinds; without repeat it then pauses with the start queued, so the next play() starts the sound
// again. Needs a current OpenAL context (SoundEngine).
class GBMusicTrack : public std::enable_shared_from_this<GBMusicTrack> {
  public:
    // The track, or nullptr (with one log line) when the file cannot be opened.
    static std::shared_ptr<GBMusicTrack> initWithPath(const std::string& path);

    ~GBMusicTrack();
    GBMusicTrack(const GBMusicTrack&) = delete;
    GBMusicTrack& operator=(const GBMusicTrack&) = delete;

    void play();
    void pause();
    // Stops at once; the queued audio is dropped.
    void stop();
    // Drops the queued audio without changing the play state.
    void reset();
    // Volume, 0 to 1.
    void setGain(float gain);
    void setRepeat(bool repeat);
    bool repeat() const { return repeat_.load(); }
    // Stops, releases the source and buffers, closes the file; only the first call acts.
    void close();
    bool trackClosed() const { return trackClosed_.load(); }

    // Feeder thread, with the track's lock held: a buffer the source has finished playing.
    void callbackForBuffer(GBAudioBuffer& buffer);
    // With the track's lock held: fills a buffer from the file and queues it; the packets read,
    // 0 at the end of the file.
    std::uint32_t readPacketsIntoBuffer(GBAudioBuffer& buffer);
    // Main loop: the end-of-file notice.
    void postTrackFinishedPlayingNotification();

    // Whether tracks opened from now on refill on a thread of their own (the default); without
    // one the main loop calls feed() once a frame.
    static void setFeederThreads(bool on) { feederThreads_ = on; }
    // Main loop, for a track without a feeder thread: refills the buffers that have played.
    void feed();

    // Format of the open file.
    double sampleRate() const { return sampleRate_; }
    std::uint32_t channels() const { return channels_; }
    std::uint32_t numPacketsToRead() const { return numPacketsToRead_; }
    std::uint64_t packetIndex() const { return packetIndex_.load(); }
    // The OpenAL source, 0 once closed.
    ALuint source() const { return source_; }
    // True while the source is meant to be sounding (play() called, not paused, stopped or ended).
    bool isPlaying() const { return playing_.load(); }
    // Times the end-of-file notice reached the main loop (observable in tests).
    int finishedNotifications() const { return finishedNotifications_.load(); }

  private:
    GBMusicTrack() = default;
    bool open(const std::string& path);
    void feederLoop();
    // The helpers below expect mutex_ held.
    void refill();
    std::size_t queuedCount() const;
    void fillFreeBuffers();
    void finishEnd();
    void dropQueued();

    static std::atomic<bool> feederThreads_;
    std::unique_ptr<brumelo::SoundFileReader> audioFile_;
    std::string path_;
    double sampleRate_ = 0;
    std::uint32_t channels_ = 0;
    std::uint32_t bytesPerPacket_ = 0;
    ALenum alFormat_ = 0;
    std::uint32_t numPacketsToRead_ = 0;
    std::atomic<std::uint64_t> packetIndex_{0};
    std::atomic<bool> repeat_{false};
    std::atomic<bool> trackClosed_{false};
    std::atomic<bool> playing_{false};
    std::atomic<int> finishedNotifications_{0};
    // End of file reached without repeat: the tail still queued plays out before the rewind.
    bool ending_ = false;
    std::weak_ptr<GBMusicTrack> self_;

    ALuint source_ = 0;
    std::array<GBAudioBuffer, 3> buffers_;
    std::size_t buffersUsed_ = 0;

    // Guards the source, the file and the buffers between the main thread and the feeder.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> quit_{false};
    std::thread feeder_;
};
