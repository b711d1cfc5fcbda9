// Synthesises the four wipe sounds: a finger squeaking across wet glass, from the slowest
// stroke (sound2: long, low, mostly squeak) to the fastest (sound5: short, high, more swish).
// Deterministic: the same bytes on every run.

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

// Noise that is the same everywhere (no library generator).
struct Lcg {
    std::uint32_t state;
    double next() {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / 8388608.0 - 1.0;
    }
};

double smoothstep(double x) {
    x = std::clamp(x, 0.0, 1.0);
    return x * x * (3 - 2 * x);
}

std::vector<short> wipe(int speed) {
    const double seconds = 0.62 - 0.1 * speed;
    const auto frames = static_cast<std::size_t>(seconds * kRate);
    const double f0 = 520.0 + 180.0 * speed;  // the squeak's pitch rises with speed
    const double glide = 1.35;
    const double noiseLevel = 0.22 + 0.1 * speed;
    // Stick-slip makes the squeak catch and release a few times per stroke.
    const double catches = 3.0 + speed;

    Lcg lcg{0x5eedu + static_cast<std::uint32_t>(speed) * 7919u};
    std::vector<double> mix(frames);
    double phase = 0, low = 0, band = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double u = t / seconds;
        const double vibrato = 1.0 + 0.02 * std::sin(2 * kPi * 6.0 * t);
        const double f = f0 * std::pow(glide, u) * vibrato;
        phase += f / kRate;
        phase -= std::floor(phase);
        // A bright, band-limited sawtooth: the glass ringing under the finger.
        double squeak = 0;
        for (int n = 1; n <= 10 && n * f < kRate / 2.5; ++n)
            squeak += std::sin(2 * kPi * n * phase) / n;
        const double grip = std::pow(0.5 + 0.5 * std::sin(2 * kPi * catches * u - kPi / 2), 0.6);

        // The wet swish: noise through a soft band pass.
        const double white = lcg.next();
        low += 0.18 * (white - low);
        band += 0.5 * ((white - low) - band);

        const double envelope = smoothstep(t / 0.015) * smoothstep((seconds - t) / 0.08);
        const double stroke = std::sin(kPi * std::min(u * 1.2, 1.0));
        mix[i] = envelope * (0.5 * squeak * grip + noiseLevel * band * (0.4 + stroke));
    }
    double peak = 0;
    for (double v : mix) peak = std::max(peak, std::fabs(v));
    std::vector<short> out(frames);
    for (std::size_t i = 0; i < frames; ++i)
        out[i] = static_cast<short>(std::lround(mix[i] / peak * 0.8 * 32767));
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_sounds RESOURCE_DIR\n");
        return 2;
    }
    for (int speed = 0; speed < 4; ++speed) {
        const std::string path =
            std::string(argv[1]) + "/sound" + std::to_string(speed + 2) + ".caf";
        const std::vector<short> samples = wipe(speed);
        SF_INFO info{};
        info.samplerate = kRate;
        info.channels = 1;
        info.format = SF_FORMAT_CAF | SF_FORMAT_PCM_16;
        SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
        if (!sf) {
            std::fprintf(stderr, "make_sounds: %s: %s\n", path.c_str(), sf_strerror(nullptr));
            return 1;
        }
        sf_write_short(sf, samples.data(), static_cast<sf_count_t>(samples.size()));
        sf_close(sf);
    }
    return 0;
}
