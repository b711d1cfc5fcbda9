#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "AudioTestSupport.h"

namespace {

// OpenAL Soft reads its driver and configuration once, at its first use in the process: point it
// at the wave writer before any test opens a device.
struct WaveOutputSetup {
    WaveOutputSetup() {
        const auto conf = audiotest::scratchDir() / "alsoft.conf";
        std::ofstream(conf) << "[general]\nfrequency = 44100\nchannels = stereo\n"
                            << "[wave]\nfile = " << audiotest::waveOutput().string() << "\n";
        setenv("ALSOFT_DRIVERS", "wave", 1);
        setenv("ALSOFT_CONF", conf.c_str(), 1);
    }
    ~WaveOutputSetup() {
        std::error_code ec;
        std::filesystem::remove_all(audiotest::scratchDir(), ec);
    }
};

const WaveOutputSetup setup;

}  // namespace
