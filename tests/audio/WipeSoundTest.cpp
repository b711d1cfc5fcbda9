#include <gtest/gtest.h>

#include "AudioTestSupport.h"
#include "LoopbackOutput.h"
#include "audio/GBMusicTrack.h"
#include "physics/Random.h"
#include "render/Globals.h"
#include "render/Viewport.h"
#include "steam/DropletsScreen.h"
#include "steam/SurfaceTrack.h"

using namespace audiotest;

namespace {

const std::string kResources = BRUMELO_SOURCE_DIR "/resources/";

// Least-squares scale of `sound` found in the first channel of `out` starting at or a little before
// `from`, and how well it fits (1 for an exact scaled copy).
std::pair<double, double> matchAt(const Sound& out, std::size_t from, const Sound& sound) {
    double best = -1, bestScale = 0;
    const std::size_t n = sound.samples.size();
    // The sounds fade in, so a quiet copy crosses the threshold a little later.
    for (std::size_t lag = from > 600 ? from - 600 : 0; lag < from + 50; ++lag) {
        double xy = 0, xx = 0, yy = 0;
        for (std::size_t i = 0; i < n && (lag + i) * out.channels < out.samples.size(); ++i) {
            const double x = sound.samples[i], y = out.samples[(lag + i) * out.channels];
            xy += x * y;
            xx += x * x;
            yy += y * y;
        }
        if (xx == 0 || yy == 0) continue;
        const double fit = xy / std::sqrt(xx * yy);
        if (fit > best) {
            best = fit;
            bestScale = xy / xx;
        }
    }
    return {bestScale, best};
}

// Strokes of one step length until a wipe sound starts; the sound started.
GBMusicTrack* strokeUntilSound(SurfaceTrack& track, double step, double& clock) {
    double x = 10;
    track.stopMusic();
    track.addPointWithRadius({x, 200, 0}, 8);
    for (int i = 0; i < 2000; ++i) {
        clock += 0.6;  // past the half second between two sounds
        x += step;
        if (x > 300) {
            x = 10;
            track.stopMusic();
            track.addPointWithRadius({x, 200, 0}, 8);
            continue;
        }
        track.addPointWithRadius({x, 200, 0}, 8);
        if (track.music() && track.music()->isPlaying()) return track.music();
        track.removeDrawnNodes();
    }
    return nullptr;
}

}  // namespace

// A slow stroke (steps of 12 points) sounds music2 and a fast one (40 points) music5, both at
// gain 0.2: the output holds each file's audio at a fifth of its full-gain level.
TEST(WipeSound, StrokeSpeedChoosesTheSoundAtGainOneFifth) {
    LoopbackOutput out;
    ASSERT_TRUE(out.ok());
    music2 = GBMusicTrack::initWithPath(kResources + "sound2.caf");
    music3 = GBMusicTrack::initWithPath(kResources + "sound3.caf");
    music4 = GBMusicTrack::initWithPath(kResources + "sound4.caf");
    music5 = GBMusicTrack::initWithPath(kResources + "sound5.caf");
    ASSERT_TRUE(music2 && music3 && music4 && music5);
    const std::vector<std::shared_ptr<GBMusicTrack>> all{music2, music3, music4, music5};
    auto playOut = [&](GBMusicTrack& track, int count) {
        const bool ended =
            out.render(10, all, [&] { return track.finishedNotifications() == count; });
        out.render(0.2, all);  // keeps the three sounds apart in the output
        return ended;
    };

    // Reference: music2 at full gain, for the output's own level of a centred sound.
    music2->play();
    ASSERT_TRUE(playOut(*music2, 1));

    brumelo::seedRandom(7);
    double clock = 1000;
    SurfaceTrack::setClock([&clock] { return clock; });
    auto viewport = std::make_shared<Viewport>(_Vector3f{0, 0, 1}, 320, 480, 0, 0);
    auto screen = std::make_shared<DropletsScreen>(viewport.get());
    SurfaceTrack track(screen.get(), true, {0, 0, 0});
    EXPECT_EQ(strokeUntilSound(track, 12, clock), music2.get());
    ASSERT_TRUE(playOut(*music2, 2));
    EXPECT_EQ(strokeUntilSound(track, 40, clock), music5.get());
    ASSERT_TRUE(playOut(*music5, 1));
    SurfaceTrack::setClock({});
    track.removeDrawnNodes();
    for (auto* m : {&music2, &music3, &music4, &music5}) m->reset();

    const Sound& sound = out.sound();
    const Sound s2 = readSound(kResources + "sound2.caf");
    const Sound s5 = readSound(kResources + "sound5.caf");
    const auto found = bursts(sound, 1e-4f, 4000);
    ASSERT_EQ(found.size(), 3u);
    const auto [full, fullFit] = matchAt(sound, found[0].first, s2);
    EXPECT_GT(fullFit, 0.99);
    const auto [slow, slowFit] = matchAt(sound, found[1].first, s2);
    EXPECT_GT(slowFit, 0.99);
    EXPECT_NEAR(slow / full, 0.2, 0.01);
    const auto [fast, fastFit] = matchAt(sound, found[2].first, s5);
    EXPECT_GT(fastFit, 0.99);
    EXPECT_NEAR(fast / full, 0.2, 0.01);
    // The other sound does not fit: the two are told apart.
    EXPECT_LT(matchAt(sound, found[2].first, s2).second, 0.5);
}
