// The microphone through Web Audio: the capture stream feeds an analyser, and each frame takes
// that frame's worth of its latest samples (pump), on the main thread. Until the person has
// allowed the microphone, and while it is away, it delivers silence.

#include "platform/AudioCapture.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/web/Browser.h"

namespace brumelo {
namespace {

// The analyser keeps this many of the latest samples.
constexpr std::size_t kMostSamples = 8192;

class BrowserCapture final : public AudioCapture {
  public:
    explicit BrowserCapture(double rate) : rate_(rate) {}
    ~BrowserCapture() override {
        stop();
        brumelo_mic_stop();
    }

    double sampleRate() const override { return rate_; }

    bool start(Sink sink) override {
        sink_ = std::move(sink);
        // The browser asks the person later; a refusal is said on the page and leaves silence.
        // False only where the page can have no microphone at all.
        return brumelo_mic_start() != 0;
    }

    void stop() override { sink_ = nullptr; }

    void pump(double seconds) override {
        if (!sink_ || seconds <= 0) return;
        const auto n =
            std::min(kMostSamples, static_cast<std::size_t>(std::lround(seconds * rate_)));
        if (n == 0) return;
        samples_.resize(n);
        brumelo_mic_read(samples_.data(), static_cast<int>(n));
        sink_(samples_.data(), n);
    }

  private:
    double rate_;
    Sink sink_;
    std::vector<std::int16_t> samples_;
};

}  // namespace

std::unique_ptr<AudioCapture> AudioCapture::openDevice(std::string* whyNot) {
    const int rate = brumelo_mic_open();
    if (rate <= 0) {
        if (whyNot) *whyNot = "this browser has no Web Audio";
        return nullptr;
    }
    return std::make_unique<BrowserCapture>(rate);
}

std::unique_ptr<AudioCapture> AudioCapture::openFile(const std::string&, std::string* whyNot) {
    if (whyNot) *whyNot = "the browser build takes its microphone from the browser only";
    return nullptr;
}

}  // namespace brumelo
