#include "LoopbackOutput.h"

#include "audio/GBMusicTrack.h"
#include "platform/MainThreadQueue.h"

namespace audiotest {

LoopbackOutput::LoopbackOutput(int rate) {
    const auto open = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(
        alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
    renderSamples_ = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(
        alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
    if (!open || !renderSamples_) return;
    device_ = open(nullptr);
    if (!device_) return;
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT,
                                 ALC_STEREO_SOFT,
                                 ALC_FORMAT_TYPE_SOFT,
                                 ALC_FLOAT_SOFT,
                                 ALC_FREQUENCY,
                                 rate,
                                 0};
    context_ = alcCreateContext(device_, attributes);
    if (!context_ || !alcMakeContextCurrent(context_)) {
        if (context_) alcDestroyContext(context_);
        context_ = nullptr;
        return;
    }
    sound_.rate = rate;
    sound_.channels = 2;
    GBMusicTrack::setFeederThreads(false);
}

LoopbackOutput::~LoopbackOutput() {
    GBMusicTrack::setFeederThreads(true);
    if (context_) {
        if (alcGetCurrentContext() == context_) alcMakeContextCurrent(nullptr);
        alcDestroyContext(context_);
    }
    if (device_) alcCloseDevice(device_);
}

bool LoopbackOutput::render(double seconds,
                            const std::vector<std::shared_ptr<GBMusicTrack>>& tracks,
                            const std::function<bool()>& until) {
    if (!ok()) return false;
    const auto perFrame = static_cast<std::size_t>(sound_.rate / 50);
    const auto frames = static_cast<long>(seconds * 50 + 0.5);
    for (long i = 0; i < frames; ++i) {
        const std::size_t at = sound_.samples.size();
        sound_.samples.resize(at + perFrame * 2);
        renderSamples_(device_, sound_.samples.data() + at, static_cast<ALCsizei>(perFrame));
        for (const auto& track : tracks)
            if (track) track->feed();
        brumelo::MainThreadQueue::main().drain();
        if (until && until()) return true;
    }
    return !until;
}

}  // namespace audiotest
