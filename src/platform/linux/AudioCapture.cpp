#include "platform/AudioCapture.h"

#include <SDL.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <string>
#include <vector>

namespace brumelo {
namespace {

class DeviceCapture final : public AudioCapture {
  public:
    ~DeviceCapture() override {
        stop();
        if (device_) SDL_CloseAudioDevice(device_);
        if (sdlAudio_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

    bool open(std::string* whyNot) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            if (whyNot) *whyNot = SDL_GetError();
            return false;
        }
        sdlAudio_ = true;
        SDL_AudioSpec want{};
        want.freq = 44100;
        // The device's own rate where SDL can tell it.
        SDL_AudioSpec native{};
        char* name = nullptr;
        if (SDL_GetDefaultAudioInfo(&name, &native, 1) == 0 && native.freq > 0)
            want.freq = native.freq;
        SDL_free(name);
        want.format = AUDIO_S16SYS;
        want.channels = 1;
        want.samples = 1024;
        want.callback = &DeviceCapture::callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        device_ = SDL_OpenAudioDevice(nullptr, 1, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
        if (device_ == 0) {
            if (whyNot) *whyNot = SDL_GetError();
            return false;
        }
        rate_ = have.freq;
        return true;
    }

    double sampleRate() const override { return rate_; }

    bool start(Sink sink) override {
        {
            std::lock_guard lock(mutex_);
            sink_ = std::move(sink);
        }
        SDL_PauseAudioDevice(device_, 0);
        return true;
    }

    void stop() override {
        if (!device_) return;
        SDL_PauseAudioDevice(device_, 1);
        // SDL holds the device lock around the callback: once we hold it, no callback runs.
        SDL_LockAudioDevice(device_);
        {
            std::lock_guard lock(mutex_);
            sink_ = nullptr;
        }
        SDL_UnlockAudioDevice(device_);
    }

  private:
    static void callback(void* userdata, Uint8* stream, int len) {
        auto* self = static_cast<DeviceCapture*>(userdata);
        std::lock_guard lock(self->mutex_);
        if (self->sink_ && len > 0)
            self->sink_(reinterpret_cast<const std::int16_t*>(stream),
                        static_cast<std::size_t>(len) / sizeof(std::int16_t));
    }

    bool sdlAudio_ = false;
    SDL_AudioDeviceID device_ = 0;
    double rate_ = 0;
    std::mutex mutex_;
    Sink sink_;
};

class FileCapture final : public AudioCapture {
  public:
    ~FileCapture() override {
        if (sf_) sf_close(sf_);
    }

    bool open(const std::string& path, std::string* whyNot) {
        SF_INFO info{};
        sf_ = sf_open(path.c_str(), SFM_READ, &info);
        if (!sf_) {
            if (whyNot) *whyNot = sf_strerror(nullptr);
            return false;
        }
        // The header's word is taken for the pace: a rate of two billion would have every frame
        // deliver (and record) forty million samples.
        if (info.samplerate < kMinRate || info.samplerate > kMaxRate) {
            if (whyNot)
                *whyNot = "a sample rate of " + std::to_string(info.samplerate) +
                          " Hz is not a microphone's (" + std::to_string(kMinRate) + " to " +
                          std::to_string(kMaxRate) + ")";
            return false;
        }
        if (info.channels < 1 || info.channels > kMaxChannels) {
            if (whyNot)
                *whyNot = std::to_string(info.channels) + " channels (a microphone file has 1 to " +
                          std::to_string(kMaxChannels) + ")";
            return false;
        }
        channels_ = info.channels;
        rate_ = info.samplerate;
        return true;
    }

    double sampleRate() const override { return rate_; }

    bool start(Sink sink) override {
        sink_ = std::move(sink);
        return true;
    }

    void stop() override { sink_ = nullptr; }

    void pump(double seconds) override {
        if (!sink_ || seconds <= 0) return;
        // Whole frames, with the fractions carried over so long runs keep the file's pace.
        owed_ += seconds * rate_;
        auto frames = static_cast<std::size_t>(std::floor(owed_));
        owed_ -= static_cast<double>(frames);
        // In chunks, so that memory stays small whatever the file's channels and the step.
        while (frames > 0) {
            const std::size_t n = std::min(frames, kChunkFrames);
            frames -= n;
            interleaved_.resize(n * static_cast<std::size_t>(channels_));
            mono_.assign(n, 0);
            const sf_count_t got =
                ended_ ? 0 : sf_readf_short(sf_, interleaved_.data(), static_cast<sf_count_t>(n));
            if (got < static_cast<sf_count_t>(n)) ended_ = true;
            for (sf_count_t i = 0; i < got; ++i) {
                long sum = 0;
                for (int c = 0; c < channels_; ++c)
                    sum += interleaved_[static_cast<std::size_t>(i * channels_ + c)];
                mono_[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(sum / channels_);
            }
            sink_(mono_.data(), mono_.size());
        }
    }

  private:
    static constexpr int kMinRate = 1000;
    static constexpr int kMaxRate = 384000;
    static constexpr int kMaxChannels = 64;
    static constexpr std::size_t kChunkFrames = 4096;

    SNDFILE* sf_ = nullptr;
    int channels_ = 1;
    double rate_ = 0;
    double owed_ = 0;
    bool ended_ = false;
    Sink sink_;
    std::vector<short> interleaved_;
    std::vector<std::int16_t> mono_;
};

}  // namespace

std::unique_ptr<AudioCapture> AudioCapture::openDevice(std::string* whyNot) {
    auto capture = std::make_unique<DeviceCapture>();
    if (!capture->open(whyNot)) return nullptr;
    return capture;
}

std::unique_ptr<AudioCapture> AudioCapture::openFile(const std::string& path, std::string* whyNot) {
    auto capture = std::make_unique<FileCapture>();
    if (!capture->open(path, whyNot)) return nullptr;
    return capture;
}

}  // namespace brumelo
