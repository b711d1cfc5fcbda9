#include <gtest/gtest.h>

#include <cmath>

#include "../render/GLTestContext.h"
#include "SteamTestSupport.h"
#include "app/Settings.h"
#include "physics/Knode.h"
#include "platform/Image.h"
#include "render/Texture2D.h"
#include "render/TextureFramebuffer.h"
#include "render/Touch.h"
#include "steam/Droplet.h"
#include "steam/SteamRegrowth.h"
#include "steam/SurfaceTrack.h"

namespace {

using brumelo::test::near;
using brumelo::test::Rgba;

std::shared_ptr<Texture2D> textureOf(const Image& image) {
    return Texture2D::initWithImage(&image);
}

class SteamDrawingTest : public brumelo::test::GLTest {
  protected:
    void SetUp() override {
        GLTest::SetUp();
        if (HasFatalFailure()) return;
        brumelo::settings().look = brumelo::Look::Classic;  // the original pictures' pixels
        brumelo::seedRandom(5);
        viewport_ = steamtest::screenViewport();
        useSteam(0, 0, 255);
        _textures[1] = textureOf(Image::filled(320, 480, 255, 0, 0, 255));
        auto white = Image::filled(64, 64, 255, 255, 255, 255);
        _textures[2] = textureOf(white);
        _textures[3] = textureOf(white);
        window_ = steamtest::emptyScreen(viewport_.get());
        window_->resetBackgroundTextureRandom();
        screen_->bind();
    }
    void TearDown() override {
        window_.reset();
        for (auto& t : _textures) t.reset();
        fingerDown = false;
        brumelo::settings().look = brumelo::Look::Glass;
        GLTest::TearDown();
    }
    // A fully steamed layer of one fog colour.
    void useSteam(int r, int g, int b) {
        _textures[0] = textureOf(Image::filled(320, 480, static_cast<std::uint8_t>(r),
                                               static_cast<std::uint8_t>(g),
                                               static_cast<std::uint8_t>(b), 255));
        ASSERT_TRUE(createFramebufferObjectForTexture(_textures[0], false));
        screen_->bind();
    }
    // Steam alpha (0..255) under a world point.
    int steamAlpha(double x, double y) {
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, _textures[0]->fbo());
        int a = brumelo::test::readGLPixel(static_cast<int>(x + 160), static_cast<int>(240 - y)).a;
        screen_->bind();
        return a;
    }
    Rgba screenAt(double x, double y) {
        screen_->bind();
        return brumelo::test::readScreenPixel(static_cast<int>(x + 160), static_cast<int>(y + 240));
    }
    void composite() {
        screen_->bind();
        window_->drawOnViewport(viewport_.get(), true);
    }
    // The frame loop's first step: this frame's wipes into the steam.
    void burnWipes() {
        viewport_->setupView();
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, _textures[0]->fbo());
        window_->drawOnTexture1(viewport_.get(), 0.0);
        screen_->bind();
    }

    std::shared_ptr<Viewport> viewport_;
    std::shared_ptr<DropletsScreen> window_;
};

TEST_F(SteamDrawingTest, OnlyTheFirstFrameThinsTheSteam) {
    EXPECT_EQ(steamAlpha(0, 0), 255);
    composite();
    EXPECT_NEAR(steamAlpha(0, 0), 0.975 * 255, 1.0);
    EXPECT_NEAR(steamAlpha(150, -230), 0.975 * 255, 1.0);
    composite();
    EXPECT_NEAR(steamAlpha(0, 0), 0.975 * 255, 1.0);
    EXPECT_EQ(window_->frames(), 2);
    double a = 0.975;
    Rgba p = screenAt(0, 0);
    EXPECT_NEAR(p.r, 255 * (1 - a * a), 4);
    EXPECT_NEAR(p.b, 255 * a * a * a, 4);
}

TEST_F(SteamDrawingTest, CompositingWeighsFogAndBackgroundByTheSteam) {
    composite();  // past the first frame
    window_->makeMoreSteamy();
    window_->makeMoreSteamy();
    EXPECT_EQ(steamAlpha(0, 0), 255);  // saturates
    composite();
    EXPECT_TRUE(near(screenAt(0, 0), {0, 0, 255, 255}));
    EXPECT_TRUE(near(screenAt(-150, 220), {0, 0, 255, 255}));

    window_->makeLessSteamy(0.5);
    EXPECT_NEAR(steamAlpha(0, 0), 127.5, 1.0);
    composite();
    Rgba p = screenAt(0, 0);
    EXPECT_NEAR(p.r, 0.75 * 255, 3);
    EXPECT_NEAR(p.b, 0.125 * 255, 3);
    EXPECT_EQ(p.g, 0);
}

TEST_F(SteamDrawingTest, AStrokeClearsSteamAlongItsPathAndNowhereElse) {
    Touch finger{7, 1, 0, 0};
    burnWipes();  // nothing to burn yet
    EXPECT_EQ(steamAlpha(0, -100), 255);

    window_->addTrackPoint(finger, {-100, -100, 0});
    window_->addTrackPoint(finger, {100, -100, 0});
    auto marks = window_->fingerTracks().at(7)->points();
    ASSERT_FALSE(marks.empty());
    burnWipes();
    EXPECT_LT(steamAlpha(0, -100), 200);
    EXPECT_LT(steamAlpha(-100, -100), 240);
    EXPECT_EQ(steamAlpha(0, 0), 255);
    EXPECT_EQ(steamAlpha(0, -200), 255);
    EXPECT_EQ(steamAlpha(150, -100), 255);
    // Drawn once, then dropped.
    EXPECT_TRUE(window_->fingerTracks().at(7)->points().empty());
    for (const auto& m : marks) EXPECT_TRUE(m->removeFromWorld());
    int after = steamAlpha(0, -100);
    burnWipes();
    EXPECT_EQ(steamAlpha(0, -100), after);

    // Where the steam thinned, the background shows through.
    composite();
    EXPECT_GT(screenAt(0, -100).r, screenAt(0, 100).r + 50);

    // Lifting burns the last marks and forgets the finger; a stray lift changes nothing.
    window_->addTrackPoint(finger, {100, 100, 0});
    window_->stopMusic(finger);
    screen_->bind();
    EXPECT_TRUE(window_->fingerTracks().empty());
    EXPECT_LT(steamAlpha(100, 100), 240);
    // With every finger lifted, the next one makes sound again.
    window_->addTrackPoint(Touch{8, 1, 0, 0}, {0, 200, 0});
    EXPECT_TRUE(window_->fingerTracks().at(8)->soundEnabled());
    window_->stopMusic(Touch{8, 1, 0, 0});
    screen_->bind();
    int before = steamAlpha(0, 150);
    window_->stopMusic(Touch{99, 1, 0, 0});
    screen_->bind();
    EXPECT_TRUE(window_->fingerTracks().empty());
    EXPECT_EQ(steamAlpha(0, 150), before);
}

TEST_F(SteamDrawingTest, DropletTrailsAreBurntToo) {
    window_->addDroplet({50, 50, 0});
    auto drop = window_->droplets().back();
    window_->setGravityVector({0, 0, 1});
    drop->setVelocity(0, 0);
    drop->makeTrack();
    drop->data[7] = 90;
    drop->makeTrack();
    burnWipes();
    EXPECT_LT(steamAlpha(50, 70), 250);
    EXPECT_EQ(steamAlpha(-50, 70), 255);
}

TEST_F(SteamDrawingTest, DropletsAreDrawnEvenWhenMarkedForRemoval) {
    useSteam(0, 0, 0);
    _textures[1] = textureOf(Image::filled(320, 480, 0, 0, 0, 255));
    window_->resetBackgroundTextureRandom();
    composite();
    EXPECT_TRUE(near(screenAt(0, 0), {0, 0, 0, 255}, 2) || screenAt(0, 0).r <= 2);

    window_->addDroplet({0, 0, 0});
    window_->droplets().back()->setRemoveFromWorld(true);
    // A wipe mark is a plain node: never drawn as a picture.
    window_->addTrackPoint(Touch{3, 1, 0, 0}, {60, 0, 0});
    composite();
    Rgba p = screenAt(0, 0);
    EXPECT_NEAR(p.r, 110, 12);
    EXPECT_NEAR(p.g, 110, 12);
    EXPECT_LE(screenAt(60, 0).r, 2);
    EXPECT_LE(screenAt(20, 0).r, 2);
}

TEST_F(SteamDrawingTest, AGlassDropShowsThePictureFlippedAboutItsCentreThroughThickSteam) {
    brumelo::settings().look = brumelo::Look::Glass;
    useSteam(255, 255, 255);
    // Quarters of the picture, as seen on the screen: red, blue above; yellow, green below.
    Image quarters = Image::filled(320, 480, 0, 0, 0, 255);
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 320; ++x) {
            auto* p = const_cast<std::uint8_t*>(quarters.pixel(x, y));
            const bool right = x >= 160, below = y >= 240;
            p[0] = right ? 0 : 255;
            p[1] = below ? 255 : 0;
            p[2] = (right && !below) ? 255 : 0;
        }
    }
    _textures[1] = textureOf(quarters);
    window_->resetBackgroundTextureRandom();
    window_->addDroplet({0, 0, 0});
    window_->droplets().back()->setMass(0.02);  // about 20 points across
    composite();
    composite();

    auto dominant = [](Rgba p) {
        if (p.r > 150 && p.g > 150 && p.b < 100) return 'y';
        if (p.r > 150 && p.g < 100 && p.b < 100) return 'r';
        if (p.g > 150 && p.r < 100 && p.b < 100) return 'g';
        if (p.b > 150 && p.r < 100 && p.g < 100) return 'b';
        return p.r > 200 && p.g > 200 && p.b > 200 ? 'w' : '?';
    };
    // Each point inside the drop shows the quarter diagonally across from it.
    EXPECT_EQ(dominant(screenAt(8, -8)), 'y');
    EXPECT_EQ(dominant(screenAt(-8, 8)), 'b');
    EXPECT_EQ(dominant(screenAt(8, 8)), 'r');
    EXPECT_EQ(dominant(screenAt(40, 0)), '?');  // beside it, the picture frosted
}

TEST_F(SteamDrawingTest, GlassFogHidesFineDetailShowsCoarseAndWipingShowsItSharp) {
    brumelo::settings().look = brumelo::Look::Glass;
    // Left a checkerboard of single pixels, right one of 40-pixel squares.
    Image boards = Image::filled(320, 480, 0, 0, 0, 255);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 320; ++x) {
            const bool white = x < 160 ? (x + y) % 2 == 0 : (x / 40 + y / 40) % 2 == 0;
            auto* p = const_cast<std::uint8_t*>(boards.pixel(x, y));
            p[0] = p[1] = p[2] = white ? 255 : 0;
        }
    _textures[1] = textureOf(boards);
    window_->resetBackgroundTextureRandom();
    composite();
    window_->makeMoreSteamy();
    window_->makeMoreSteamy();
    composite();
    // How much neighbouring pixels differ along a row of the fine board, on average.
    auto fineContrast = [&](double y) {
        double sum = 0;
        for (int x = -140; x < -80; ++x) sum += std::abs(screenAt(x, y).g - screenAt(x + 1, y).g);
        return sum / 60;
    };
    EXPECT_LT(fineContrast(100), 20);
    // Through the middle of a row of coarse squares, light and dark still alternate.
    int lightest = 0, darkest = 255;
    for (int x = 0; x < 150; ++x) {
        lightest = std::max(lightest, screenAt(x, -20).g);
        darkest = std::min(darkest, screenAt(x, -20).g);
    }
    EXPECT_GT(lightest, darkest + 70);

    Touch finger{7, 1, 0, 0};
    window_->addTrackPoint(finger, {-150, 100, 0});
    window_->addTrackPoint(finger, {-60, 100, 0});
    burnWipes();
    window_->makeLessSteamy(0.0);  // a full redraw
    composite();
    EXPECT_GT(fineContrast(100), 150);
}

TEST_F(SteamDrawingTest, AGlassWipeHasASmoothEdge) {
    brumelo::settings().look = brumelo::Look::Glass;
    Touch finger{7, 1, 0, 0};
    window_->addTrackPoint(finger, {-140, 0, 0});
    window_->addTrackPoint(finger, {140, 0, 0});
    burnWipes();
    // Along the stroke, at every height through its edge, the steam changes slowly: no ripple
    // from the marks it was made of.
    int across = 0;
    for (int y = 6; y <= 16; ++y) {
        std::vector<int> alpha;
        for (int x = -100; x <= 100; ++x) alpha.push_back(steamAlpha(x, y));
        double ripple = 0;
        for (std::size_t i = 1; i + 1 < alpha.size(); ++i)
            ripple += std::abs(alpha[i + 1] - 2 * alpha[i] + alpha[i - 1]);
        EXPECT_LT(ripple / static_cast<double>(alpha.size()), 3.0) << "at height " << y;
        across += alpha[100] < 250 && alpha[100] > 80;
    }
    EXPECT_GE(across, 1);  // the edge was among the rows looked at
}

TEST_F(SteamDrawingTest, OldWritingShowsInRegrowingFogInTheGlassLookOnly) {
    for (const brumelo::Look look : {brumelo::Look::Glass, brumelo::Look::Classic}) {
        brumelo::settings().look = look;
        window_ = steamtest::emptyScreen(viewport_.get());
        window_->resetBackgroundTextureRandom();
        composite();
        Touch finger{7, 1, 0, 0};
        window_->addTrackPoint(finger, {-100, -100, 0});
        window_->addTrackPoint(finger, {100, -100, 0});
        burnWipes();
        window_->stopMusic(finger);
        window_->makeLessSteamy(1.0);  // all clear: the stroke no longer shows
        screen_->bind();
        ASSERT_EQ(steamAlpha(0, -100), 0);
        for (int i = 0; i < 20; ++i) window_->makeMoreSteamy();
        screen_->bind();
        const int written = steamAlpha(0, -100), blank = steamAlpha(0, 100);
        if (look == brumelo::Look::Glass) {
            EXPECT_GT(blank, written + 25);
            // Regrowing steam leaves it behind too.
            for (int i = 0; i < 4 * kRegrowthPeriod; ++i) {
                composite();
                regrowSteam(*window_);
            }
            EXPECT_GT(steamAlpha(0, 100) - blank, steamAlpha(0, -100) - written);
        } else {
            EXPECT_NEAR(blank, written, 1);
        }
    }
}

TEST_F(SteamDrawingTest, RegrowingSteamFogsClearGlassAgainStepByStep) {
    composite();
    window_->makeLessSteamy(1.0);
    screen_->bind();
    ASSERT_EQ(steamAlpha(0, 0), 0);
    // Steps of one 8-bit level: smaller ones would round away and the glass would stay clear.
    for (int i = 0; i < 10 * kRegrowthPeriod; ++i) {
        composite();
        regrowSteam(*window_);
    }
    EXPECT_NEAR(steamAlpha(0, 0), 10, 1);
    EXPECT_NEAR(steamAlpha(-150, 230), 10, 1);
}

TEST_F(SteamDrawingTest, ScreenshotIsUprightAndOpaque) {
    glClearColor(0, 1, 0, 0.5f);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 470, 320, 10);  // the top ten rows of the screen
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    auto shot = window_->getScreenshot();
    ASSERT_TRUE(shot);
    ASSERT_EQ(shot->width(), 320);
    ASSERT_EQ(shot->height(), 480);
    const std::uint8_t* top = shot->pixel(5, 0);
    const std::uint8_t* bottom = shot->pixel(5, 479);
    EXPECT_EQ(top[0], 255);
    EXPECT_EQ(top[1], 0);
    EXPECT_EQ(bottom[0], 0);
    EXPECT_EQ(bottom[1], 255);
    EXPECT_EQ(bottom[3], 255);
    EXPECT_FALSE(shot->hasAlpha());

    Image rows(1, 3, {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3});
    auto flipped = flipImage(rows);
    EXPECT_EQ(flipped->pixel(0, 0)[0], 3);
    EXPECT_EQ(flipped->pixel(0, 2)[0], 1);
    EXPECT_EQ(rows.pixel(0, 0)[0], 1);
}

TEST_F(SteamDrawingTest, BlowingAddsSteamAndPushesDropletsAboveTheThreshold) {
    composite();
    window_->makeLessSteamy(0.5);
    screen_->bind();
    window_->setGravityVector({0, 0, 1});
    window_->addDroplet({130, 140, 0});
    auto drop = window_->droplets().back();
    int start = steamAlpha(0, 0);

    window_->updateSoundLevel(0.7);
    screen_->bind();
    EXPECT_EQ(drop->data[4], 0.0f);
    EXPECT_NEAR(steamAlpha(0, 0), start, 1);

    window_->updateSoundLevel(0.7000001);
    screen_->bind();
    EXPECT_NEAR(drop->data[4], -45000 * 0.7000001 / 10000, 1e-4);
    EXPECT_NEAR(steamAlpha(0, 0), start + 0.02 * 255, 1.5);
}

TEST_F(SteamDrawingTest, ShakingThinsTheSteamOrOnAnIPodWithAFingerAddsIt) {
    composite();
    window_->makeMoreSteamy();
    window_->makeMoreSteamy();
    screen_->bind();
    ASSERT_EQ(steamAlpha(0, 0), 255);
    window_->setGravityVector({0, 1.2, 0});  // not a shake
    window_->updateSoundLevel(0.0);
    EXPECT_GE(steamAlpha(0, 0), 254);

    window_->setGravityVector({0.9, 1.0, 0});  // |g| > 1.3
    window_->updateSoundLevel(0.0);
    EXPECT_NEAR(steamAlpha(0, 0), 0.99 * 255, 1.5);

    window_->makeLessSteamy(0.5);
    int half = steamAlpha(0, 0);
    window_->setIsIpodTouchVariable(true);
    fingerDown = true;
    window_->updateSoundLevel(0.0);
    EXPECT_NEAR(steamAlpha(0, 0), half + 0.02 * 255, 1.5);
    fingerDown = false;
    window_->updateSoundLevel(0.0);
    EXPECT_NEAR(steamAlpha(0, 0), (half + 0.02 * 255) * 0.99, 1.5);
}

TEST_F(SteamDrawingTest, ResetDropsEveryDropletAndKeepsTheSteam) {
    window_->addDroplet({0, 0, 0});
    window_->addDroplet({50, 0, 0});
    composite();
    int alpha = steamAlpha(0, 0);
    GLuint oldFbo = _textures[0]->fbo();
    window_->reset();
    screen_->bind();
    EXPECT_TRUE(window_->droplets().empty());
    for (const auto& n : window_->nodes()) EXPECT_TRUE(n->removeFromWorld());
    EXPECT_NE(_textures[0]->fbo(), oldFbo);
    EXPECT_EQ(steamAlpha(0, 0), alpha);
}

}  // namespace
