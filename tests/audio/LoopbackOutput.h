#pragma once

#include <AL/alc.h>
#include <AL/alext.h>

#include <functional>
#include <memory>
#include <vector>

#include "AudioTestSupport.h"

class GBMusicTrack;

namespace audiotest {

// OpenAL Soft's loopback device as the current context: the mix is rendered into memory when
// asked, faster than real time and the same every run, so what a test hears does not depend on
// how busy the machine is. Tracks opened while it lives have no feeder thread: render() refills
// them between frames, as the browser's frame loop does.
class LoopbackOutput {
  public:
    explicit LoopbackOutput(int rate = 44100);
    ~LoopbackOutput();
    LoopbackOutput(const LoopbackOutput&) = delete;
    LoopbackOutput& operator=(const LoopbackOutput&) = delete;

    bool ok() const { return context_ != nullptr; }
    // Mixes up to `seconds` more in frames of 1/50 s; after each frame the tracks refill and the
    // main queue drains. Stops after the first frame where `until` holds, and says whether it did
    // (true when there is no `until`).
    bool render(double seconds, const std::vector<std::shared_ptr<GBMusicTrack>>& tracks,
                const std::function<bool()>& until = {});
    // Everything mixed so far: stereo, float.
    const Sound& sound() const { return sound_; }

  private:
    LPALCRENDERSAMPLESSOFT renderSamples_ = nullptr;
    ALCdevice* device_ = nullptr;
    ALCcontext* context_ = nullptr;
    Sound sound_;
};

}  // namespace audiotest
