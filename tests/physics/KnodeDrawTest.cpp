#include <gtest/gtest.h>

#include "physics/Knode.h"
#include "physics/Kspring.h"
#include "physics/Kworld.h"
#include "render/GLTestContext.h"
#include "render/Texture2D.h"
#include "render/Viewport.h"

namespace {

using brumelo::test::Rgba;

// Drawing needs GL; the rest of the physics does not, so without a context these tests skip.
class KnodeDraw : public ::testing::Test {
  protected:
    void SetUp() override {
        if (brumelo::test::sharedGLContext() == nullptr) GTEST_SKIP() << "no headless GL context";
        screen_ = std::make_unique<brumelo::test::ScreenFramebuffer>();
        ASSERT_TRUE(screen_->complete());
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    void TearDown() override {
        if (screen_) {
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        }
    }

    Viewport viewport_{{0, 0, 1}, 320, 480, 0, 0};
    std::unique_ptr<brumelo::test::ScreenFramebuffer> screen_;
};

}  // namespace

TEST_F(KnodeDraw, PointSizeIsTheDiameterInPixelsButAtLeastTwo) {
    Kworld world(&viewport_);
    auto small = Knode::initWithParams(0, 0, 0, 1, 1, 0, nullptr, 0, &world);
    viewport_.setupView();
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    GLfloat size = 0;
    small->draw(10.0);
    glGetFloatv(GL_POINT_SIZE, &size);
    EXPECT_EQ(size, 2.0f);
    small->setRadius(30);
    small->draw(10.0);
    glGetFloatv(GL_POINT_SIZE, &size);
    EXPECT_EQ(size, 6.0f);
}

TEST_F(KnodeDraw, WorldDrawsVisibleNodesInTheirColourWhereTheViewportMapsThem) {
    Kworld world(&viewport_);
    auto red = Knode::initWithParams(-100, -200, 0, 1, 4, 0, nullptr, 0, &world);
    auto green = Knode::initWithParams(50, 100, 0, 1, 4, 1, nullptr, 0, &world);
    auto hidden = Knode::initWithParams(0, 0, 0, 1, 4, 2, nullptr, 0, &world);
    auto leaving = Knode::initWithParams(100, 0, 0, 1, 4, 2, nullptr, 0, &world);
    hidden->setInvisible(true);
    leaving->setRemoveFromWorld(true);
    world.drawOnViewportTextured(&viewport_, false);
    // World y grows down the screen, from the screen centre.
    EXPECT_TRUE(brumelo::test::near(brumelo::test::readScreenPixel(60, 40), Rgba{255, 0, 0, 255}));
    EXPECT_TRUE(
        brumelo::test::near(brumelo::test::readScreenPixel(210, 340), Rgba{0, 255, 0, 255}));
    EXPECT_TRUE(brumelo::test::near(brumelo::test::readScreenPixel(160, 240), Rgba{0, 0, 0, 255}));
    EXPECT_TRUE(brumelo::test::near(brumelo::test::readScreenPixel(260, 240), Rgba{0, 0, 0, 255}));
}

TEST_F(KnodeDraw, SpringLineIsSkippedWhenAnEndIsInvisible) {
    Kworld world(&viewport_);
    auto a = Knode::initWithParams(-50, 0, 0, 1, 1, 0, nullptr, 0, &world);
    auto b = Knode::initWithParams(50, 0, 0, 1, 1, 0, nullptr, 0, &world);
    auto spring = Kspring::initWithNodes(a, b, 1, 0);
    viewport_.setupView();
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    b->setInvisible(true);
    spring->draw(0.0006);
    EXPECT_TRUE(brumelo::test::near(brumelo::test::readScreenPixel(160, 240), Rgba{0, 0, 0, 255}));
    b->setInvisible(false);
    spring->draw(0.0006);  // one pixel wide
    const Rgba mid = brumelo::test::readScreenPixel(160, 240);
    EXPECT_GT(mid.b, 100);
    EXPECT_LT(mid.r, mid.b);
}

TEST_F(KnodeDraw, TexturedNodeIsTwoPointSevenFiveRadiiWideAndTintsOnlyItsCopy) {
    const unsigned char white[16] = {255, 255, 255, 255, 255, 255, 255, 255,
                                     255, 255, 255, 255, 255, 255, 255, 255};
    auto texture = Texture2D::initWithDataPixelFormatPixelsWidePixelsHighContentSize(
        white, TexturePixelFormat::RGBA8888, 2, 2, brumelo::SizeF{2, 2});
    ASSERT_NE(texture, nullptr);
    Kworld world(&viewport_);
    auto node = Knode::initWithParams(0, 0, 0, 1, 20, 0, texture, 0, &world);
    node->setAngularPosition(30.0);
    node->setTint(255, 0, 0, 255);
    EXPECT_EQ(texture->colors()[1], 1.0f);  // the shared picture keeps its colour
    world.drawOnViewportTextured(&viewport_, true);
    glDisable(GL_TEXTURE_2D);
    using brumelo::test::near;
    using brumelo::test::readScreenPixel;
    // 55 pixels wide, upright: the rotation is undone before drawing.
    EXPECT_TRUE(near(readScreenPixel(160, 240), Rgba{255, 0, 0, 255}));
    EXPECT_TRUE(near(readScreenPixel(160 + 26, 240 + 26), Rgba{255, 0, 0, 255}));
    EXPECT_TRUE(near(readScreenPixel(160 + 29, 240), Rgba{0, 0, 0, 255}));
}
