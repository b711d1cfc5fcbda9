// Renders whole frames from the shipped pictures, as the frame loop does, and writes them as PNG
// files into the folder named by BRUMELO_STEAM_PICTURES (skipped without it): a way to look at
// the steamed window without a display.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "../render/GLTestContext.h"
#include "SteamTestSupport.h"
#include "platform/Image.h"
#include "render/Texture2D.h"
#include "render/TextureFramebuffer.h"
#include "render/Touch.h"
#include "steam/Droplet.h"

namespace {

class SteamPicturesTest : public brumelo::test::GLTest {
  protected:
    void SetUp() override {
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
        ASSERT_TRUE(brumelo::writeFile(dir_ + "/" + name, png, &error)) << error;
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

TEST_F(SteamPicturesTest, StrokesAcrossTheFog) {
    frame();
    save("steam-start.png");
    wipe(1, -60, 30, 25);
    wipe(2, 60, 50, 40);
    wipe(3, 64, 50, 40);
    frame();
    save("steam-stroke.png");
}

TEST_F(SteamPicturesTest, DropletsRunningDown) {
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

}  // namespace
