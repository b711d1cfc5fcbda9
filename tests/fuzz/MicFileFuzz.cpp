// A sound file fed as the microphone (--mic-file): any bytes either open as a source of mono
// samples at a sensible rate, delivered a frame's worth at a time, or are refused with a reason.

#include <cmath>

#include "FuzzSupport.h"
#include "platform/AudioCapture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::scratchFolder() + "/mic";
    fuzz::writeBytes(path, data, size);
    std::string why;
    std::unique_ptr<brumelo::AudioCapture> mic = brumelo::AudioCapture::openFile(path, &why);
    if (!mic) {
        FUZZ_CHECK(!why.empty());
        return 0;
    }
    const double rate = mic->sampleRate();
    // The rates microphones run at; a header's absurd rate must not set the pace.
    FUZZ_CHECK(rate >= 1000 && rate <= 384000);
    std::size_t delivered = 0;
    FUZZ_CHECK(mic->start([&](const std::int16_t* samples, std::size_t count) {
        FUZZ_CHECK(samples != nullptr || count == 0);
        delivered += count;
    }));
    // Two seconds of frames: past the end of any short file, into the silence after it.
    const int frames = 100;
    for (int i = 0; i < frames; ++i) mic->pump(0.02);
    mic->stop();
    const double expected = rate * 0.02 * frames;
    FUZZ_CHECK(std::fabs(static_cast<double>(delivered) - expected) <= 1.0 + expected * 1e-9);
    return 0;
}
