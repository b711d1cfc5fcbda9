// Renders whole frames from the shipped pictures, as the frame loop does, and writes them as PNG
// files into the folder named by BRUMELO_STEAM_PICTURES (skipped without it): a way to look at
// the steamed window without a display. Every picture is made in each look, named after it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>

#include "../render/GLTestContext.h"
#include "SteamTestSupport.h"
#include "app/Settings.h"
#include "platform/Image.h"
#include "render/Texture2D.h"
#include "render/TextureFramebuffer.h"
#include "render/Touch.h"
#include "steam/Droplet.h"

namespace {

class SteamPicturesTest : public brumelo::test::GLTest,
                          public ::testing::WithParamInterface<brumelo::Look> {
  protected:
    void SetUp() override {
        brumelo::settings().look = GetParam();
        const char* dir = std::getenv("BRUMELO_STEAM_PICTURES");
        if (!dir) GTEST_SKIP() << "set BRUMELO_STEAM_PICTURES to a folder to write pictures";
        dir_ = dir;
        GLTest::SetUp();
        if (HasFatalFailure()) return;
        const char* names[] = {"Foggy1-HQ.png", "back1.png", "Droplet1.png", "Droplet2.png"};
        for (int i = 0; i < 4; ++i) {
            auto picture =
                brumelo::decodeImageFile(std::string(BRUMELO_SOURCE_DIR "/resources/") + names[i]);
            ASSERT_TRUE(picture) << picture.error;
            _textures[i] = Texture2D::initWithImage(picture.image);
        }
        ASSERT_TRUE(createFramebufferObjectForTexture(_textures[0], false));
        brumelo::seedRandom(11);
        viewport_ = steamtest::screenViewport();
        window_ = steamtest::emptyScreen(viewport_.get());
        window_->resetBackgroundTextureRandom();
    }
    void TearDown() override {
        brumelo::settings().look = brumelo::Look::Glass;
        window_.reset();
        for (auto& t : _textures) t.reset();
        if (!dir_.empty()) GLTest::TearDown();
    }
    // One pass of the frame loop.
    void frame(double level = 0.0) {
        viewport_->setupView();
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, _textures[0]->fbo());
        window_->drawOnTexture1(viewport_.get(), level);
        screen_->bind();
        window_->updatePhysics(0.02, viewport_.get());
        window_->drawOnViewport(viewport_.get(), true);
        window_->updateSoundLevel(level);
        screen_->bind();
    }
    void save(const std::string& name) {
        auto shot = window_->getScreenshot();
        std::string error;
        auto png = brumelo::encodePNG(*shot, &error);
        ASSERT_FALSE(png.empty()) << error;
        const char* look = GetParam() == brumelo::Look::Glass ? "glass-" : "classic-";
        ASSERT_TRUE(brumelo::writeFile(dir_ + "/" + look + name, png, &error)) << error;
    }
    // A finger drawing a wave across the glass in the given number of frames.
    void wipe(std::int64_t id, double y, double amplitude, int frames) {
        Touch finger{id, 1, 0, 0};
        for (int i = 0; i <= frames; ++i) {
            double x = -150 + 300.0 * i / frames;
            window_->addTrackPoint(finger, {x, y + amplitude * std::sin(x / 40.0), 0});
            frame();
        }
        window_->stopMusic(finger);
    }

    std::string dir_;
    std::shared_ptr<Viewport> viewport_;
    std::shared_ptr<DropletsScreen> window_;
};

TEST_P(SteamPicturesTest, StrokesAcrossTheFog) {
    frame();
    save("steam-start.png");
    wipe(1, -60, 30, 25);
    wipe(2, 60, 50, 40);
    wipe(3, 64, 50, 40);
    frame();
    save("steam-stroke.png");
}

TEST_P(SteamPicturesTest, DropletsRunningDown) {
    window_->setGravityVector({0, 1, 0});
    wipe(1, 0, 80, 30);
    for (double x : {-120.0, -60.0, 0.0, 40.0, 100.0, 104.0, 130.0}) {
        window_->addDroplet({x, -200 + std::fmod(x * 7, 40.0), 0});
    }
    for (int i = 0; i < 60; ++i) frame();
    save("steam-drops-1.png");
    for (int i = 0; i < 120; ++i) frame();
    save("steam-drops-2.png");
}

TEST_P(SteamPicturesTest, DropletsOnATiltedPaneMerge) {
    wipe(1, -120, 20, 30);
    window_->setGravityVector({0.45, 0.9, 0});
    // A heavy drop above a light one on its path (heavier drops run faster), and three more.
    window_->addDroplet({-100, -200, 0});
    window_->droplets().back()->setMass(0.003);
    window_->addDroplet({-85, -170, 0});
    window_->droplets().back()->setMass(0.0005);
    for (double x : {-20.0, 30.0, 80.0}) window_->addDroplet({x, -60, 0});
    // The frames either side of the first merge, then the pane a little later.
    std::shared_ptr<Image> before;
    for (int i = 0; i < 200; ++i) {
        std::map<const Droplet*, double> masses;
        for (const auto& d : window_->droplets()) masses[d.get()] = d->mass();
        before = window_->getScreenshot();
        frame();
        // A merge: one drop gains another's water at once.
        const bool merged =
            std::any_of(window_->droplets().begin(), window_->droplets().end(), [&](const auto& d) {
                return masses.count(d.get()) && d->mass() > masses[d.get()] * 1.2;
            });
        if (merged) {
            std::string error;
            const char* look = GetParam() == brumelo::Look::Glass ? "glass-" : "classic-";
            brumelo::writeFile(dir_ + "/" + look + "merge-before.png",
                               brumelo::encodePNG(*before, &error), &error);
            save("merge-after.png");
            break;
        }
    }
    for (int i = 0; i < 40; ++i) frame();
    save("tilted.png");
}

TEST_P(SteamPicturesTest, BigDropsCloseUp) {
    // Heavy drops resting on a level pane, over a wiped band and over thick steam.
    window_->setGravityVector({0, 0, 1});
    wipe(1, 0, 10, 30);
    const double spots[][2] = {{-90, 0}, {0, 8}, {90, -6}, {-60, -150}, {40, 150}};
    for (const auto& p : spots) window_->addDroplet({p[0], p[1], 0});
    double mass = 0.004;
    for (const auto& d : window_->droplets()) d->setMass(mass += 0.004);
    frame();
    frame();
    save("closeup.png");
}

INSTANTIATE_TEST_SUITE_P(Looks, SteamPicturesTest,
                         ::testing::Values(brumelo::Look::Classic, brumelo::Look::Glass),
                         [](const auto& info) {
                             return info.param == brumelo::Look::Glass ? "Glass" : "Classic";
                         });

}  // namespace
