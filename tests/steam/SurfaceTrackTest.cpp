#include <gtest/gtest.h>

#include <cmath>

#include "SteamTestSupport.h"
#include "app/TenzoAppDelegate.h"
#include "physics/Knode.h"
#include "steam/Droplet.h"
#include "steam/SurfaceTrack.h"

namespace {

class SurfaceTrackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        brumelo::seedRandom(99);
        viewport_ = steamtest::screenViewport();
        screen_ = steamtest::emptyScreen(viewport_.get());
        SurfaceTrack::setClock([this] { return clock_; });
    }
    void TearDown() override { SurfaceTrack::setClock({}); }

    std::shared_ptr<Viewport> viewport_;
    std::shared_ptr<DropletsScreen> screen_;
    double clock_ = 1000.0;
};

TEST_F(SurfaceTrackTest, FirstPositionMakesOneMarkThenStepsAreFilledEvenly) {
    SurfaceTrack track(screen_.get(), false, {0, 0, 0});
    EXPECT_EQ(track.lastPoint().z, SurfaceTrack::kNoPoint);
    track.addPointWithRadius({5, 5, 0}, 25.0);
    ASSERT_EQ(track.points().size(), 1u);
    const auto& first = track.points()[0];
    EXPECT_EQ(first->data[3], 5.0f);
    EXPECT_EQ(first->data[7], 5.0f);
    EXPECT_TRUE(first->anchor());
    EXPECT_EQ(first->mass(), 1.0);
    EXPECT_GE(first->radius(), 0.75 * 25.0 - 1e-6);
    EXPECT_LE(first->radius(), 1.25 * 25.0 + 1e-6);
    EXPECT_EQ(first->intraCollisionGroup(), -9999);
    EXPECT_EQ(screen_->nodes().size(), 1u);

    // 10 points to the right: 5 marks 2 apart, the last on the position, facing down the screen.
    track.addPointWithRadius({15, 5, 0}, 25.0);
    ASSERT_EQ(track.points().size(), 6u);
    for (int i = 1; i <= 5; ++i) {
        EXPECT_NEAR(track.points()[i]->data[3], 5.0f + 2.0f * i, 1e-5);
        EXPECT_EQ(track.points()[i]->data[7], 5.0f);
        EXPECT_NEAR(track.points()[i]->angularPosition(), 90.0, 1e-9);
    }
    EXPECT_EQ(track.lastPoint().x, 15.0);

    track.addPointWithRadius({15, 6, 0}, 25.0);  // 1.0 away: nothing
    EXPECT_EQ(track.points().size(), 6u);
    track.addPointWithRadius({15, 6.5, 0}, 25.0);  // 1.5 away: one mark on it, heading down
    ASSERT_EQ(track.points().size(), 7u);
    EXPECT_EQ(track.points()[6]->data[7], 6.5f);
    EXPECT_NEAR(track.points()[6]->angularPosition(), 180.0, 1e-9);

    // A long step keeps neighbouring marks within 2.2 points.
    track.addPointWithRadius({115, 6.5, 0}, 3.0);
    EXPECT_EQ(track.points().size(), 7u + 46u);

    // A new stroke does not join the old one.
    track.stopMusic();
    EXPECT_EQ(track.lastPoint().z, SurfaceTrack::kNoPoint);
    track.addPointWithRadius({-100, -100, 0}, 25.0);
    EXPECT_EQ(track.points().size(), 7u + 46u + 1u);

    track.removeDrawnNodes();
    EXPECT_TRUE(track.points().empty());
}

TEST_F(SurfaceTrackTest, WipeSoundFollowsTheStepLengthAndNeverRestartsWithinHalfASecond) {
    steamtest::loadWipeSounds();
    ASSERT_TRUE(music2 && music3 && music4 && music5);
    struct Band {
        double step;
        GBMusicTrack* expected;
    };
    for (Band band : {Band{40, music5.get()}, Band{30, music4.get()}, Band{20, music3.get()},
                      Band{12, music2.get()}, Band{8, nullptr}}) {
        SurfaceTrack track(screen_.get(), true, {0, 0, 0});
        EXPECT_EQ(track.music(), music2.get());
        track.addPointWithRadius({0, 0, 0}, 25);
        track.addPointWithRadius({band.step, 0, 0}, 25);
        EXPECT_EQ(track.music(), band.expected) << "step " << band.step;
        track.removeDrawnNodes();
    }

    SurfaceTrack quiet(screen_.get(), false, {0, 0, 0});
    EXPECT_EQ(quiet.music(), nullptr);
    quiet.addPointWithRadius({0, 0, 0}, 25);
    quiet.addPointWithRadius({30, 0, 0}, 25);
    EXPECT_EQ(quiet.music(), nullptr);

    SurfaceTrack track(screen_.get(), true, {0, 0, 0});
    track.addPointWithRadius({0, 0, 0}, 25);
    double last = track.lastPlayedSound();
    int starts = 0;
    for (int i = 1; i <= 3000; ++i) {
        clock_ += 0.1;
        track.addPointWithRadius({(i % 2) ? 30.0 : 0.0, 0, 0}, 1);
        if (track.lastPlayedSound() != last) {
            EXPECT_GT(track.lastPlayedSound() - last, 0.5);
            EXPECT_EQ(track.lastPlayedSound(), clock_);
            EXPECT_EQ(track.music(), music4.get());
            last = track.lastPlayedSound();
            ++starts;
        }
        track.removeDrawnNodes();
    }
    // After each start six positions wait out the half second; then one in twenty starts.
    EXPECT_GT(starts, 70);
    EXPECT_LT(starts, 170);
}

TEST_F(SurfaceTrackTest, LongStrokesSpawnDropletsFarFromTheLastSpawn) {
    TenzoAppDelegate app;
    app.setDropletScreen(screen_);
    SurfaceTrack track(screen_.get(), true, {0, -200, 0});
    track.addPointWithRadius({0, -200, 0}, 1);
    // Never within 220 of the last spawn point.
    for (int i = 0; i < 300; ++i) {
        track.addPointWithRadius({(i % 2) ? 0.0 : 219.0, -200, 0}, 1);
        track.removeDrawnNodes();
    }
    EXPECT_TRUE(screen_->droplets().empty());
    EXPECT_EQ(track.lastTapDownPosition().x, 0.0);

    // Always beyond 370.
    for (int i = 1; i <= 3; ++i) {
        double y = -200 + 371.0 * (i % 2);
        track.addPointWithRadius({0, y, 0}, 1);
        track.removeDrawnNodes();
        EXPECT_EQ(screen_->droplets().size(), static_cast<std::size_t>(i));
        EXPECT_EQ(track.lastTapDownPosition().y, y);
        EXPECT_EQ(screen_->droplets().back()->data[7], static_cast<float>(y));
    }

    // Droplet trails never spawn.
    SurfaceTrack trail(screen_.get(), false, {0, -200, 0});
    trail.addPointWithRadius({0, -200, 0}, 1);
    trail.addPointWithRadius({0, 200, 0}, 1);
    EXPECT_EQ(screen_->droplets().size(), 3u);
    app.setDropletScreen(nullptr);
}

}  // namespace
