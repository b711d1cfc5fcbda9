#pragma once

#include <sndfile.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "audio/GBMusicTrack.h"
#include "physics/Random.h"
#include "render/Globals.h"
#include "render/Viewport.h"
#include "steam/DropletsScreen.h"

namespace steamtest {

// The full-screen viewport the program uses.
inline std::shared_ptr<Viewport> screenViewport() {
    return std::make_shared<Viewport>(_Vector3f{0, 0, 1}, 320, 480, 0, 0);
}

// A screen without the two starting droplets, so tests place their own.
inline std::shared_ptr<DropletsScreen> emptyScreen(Viewport* viewport) {
    return std::make_shared<DropletsScreen>(viewport);
}

// Silent but real wipe sounds in the four globals (no OpenAL context needed).
inline void loadWipeSounds() {
    if (music2) return;
    auto dir = std::filesystem::temp_directory_path() / "brumelo-steam-test";
    std::filesystem::create_directories(dir);
    std::shared_ptr<GBMusicTrack>* slots[] = {&music2, &music3, &music4, &music5};
    for (int i = 0; i < 4; ++i) {
        auto path = dir / ("sound" + std::to_string(i + 2) + ".caf");
        SF_INFO info{};
        info.samplerate = 22050;
        info.channels = 1;
        info.format = SF_FORMAT_CAF | SF_FORMAT_PCM_16;
        SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
        std::vector<short> samples(2205, 0);
        sf_write_short(sf, samples.data(), static_cast<sf_count_t>(samples.size()));
        sf_close(sf);
        *slots[i] = GBMusicTrack::initWithPath(path.string());
    }
}

}  // namespace steamtest
