#pragma once

#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace audiotest {

// The environment variables a test changes, put back as they were.
class EnvGuard {
  public:
    void set(const char* name, const std::string& value) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        setenv(name, value.c_str(), 1);
    }
    ~EnvGuard() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// A folder of its own for each test process.
inline std::filesystem::path scratchDir() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() /
                 ("brumelo-audio-" +
                  std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

inline void writeSound(const std::filesystem::path& path, int format, int rate,
                       const std::vector<short>& samples, int channels = 1) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!sf) throw std::runtime_error(sf_strerror(nullptr));
    sf_write_short(sf, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(sf);
}

struct Sound {
    int rate = 0;
    int channels = 0;
    int format = 0;
    std::vector<float> samples;  // interleaved
};

inline Sound readSound(const std::filesystem::path& path) {
    Sound s;
    SF_INFO info{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    if (!sf) return s;
    s.rate = info.samplerate;
    s.channels = info.channels;
    s.format = info.format;
    s.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(sf, s.samples.data(), info.frames);
    sf_close(sf);
    return s;
}

// A square wave of the given amplitude (0..1) and frequency.
inline std::vector<short> square(int rate, double seconds, double amplitude, double hz) {
    std::vector<short> v(static_cast<std::size_t>(rate * seconds));
    const auto period = static_cast<std::size_t>(rate / hz);
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<short>(((i % period) < period / 2 ? 1 : -1) * amplitude * 32767);
    return v;
}

inline bool waitFor(const std::function<bool()>& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

// Runs of frames whose first channel is above the threshold, as [start, end) pairs, with gaps
// shorter than minGap frames joined.
inline std::vector<std::pair<std::size_t, std::size_t>> bursts(const Sound& s, float threshold,
                                                               std::size_t minGap) {
    std::vector<std::pair<std::size_t, std::size_t>> out;
    const std::size_t frames = s.channels ? s.samples.size() / s.channels : 0;
    for (std::size_t f = 0; f < frames; ++f) {
        if (std::fabs(s.samples[f * s.channels]) <= threshold) continue;
        if (!out.empty() && f - out.back().second < minGap)
            out.back().second = f + 1;
        else
            out.push_back({f, f + 1});
    }
    return out;
}

}  // namespace audiotest
