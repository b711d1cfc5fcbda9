#include <gtest/gtest.h>

#include "physics/Knode.h"
#include "physics/Kworld.h"
#include "platform/Image.h"
#include "render/GLTestContext.h"
#include "render/Texture2D.h"
#include "render/Viewport.h"

using brumelo::test::near;
using brumelo::test::readScreenPixel;

namespace {

class NodeDrawing : public brumelo::test::GLTest {};

constexpr brumelo::test::Rgba kBlack{0, 0, 0, 255};

}  // namespace

// A node is a disc of its diameter in pixels, where the viewport maps its position.
TEST_F(NodeDrawing, PointsLandWhereTheViewportMapsThem) {
    Viewport screen({0, 0, 1}, 320, 480, 0, 0);
    auto world = Kworld::initializeWorld(&screen);
    Knode::initWithParams(40, -100, 0, 1, 10, 0, nullptr, 0, world.get());
    Knode::initWithParams(-300, 0, 0, 1, 10, 1, nullptr, 0, world.get());  // off screen
    world->drawOnViewportTextured(&screen, false);
    EXPECT_TRUE(near(readScreenPixel(200, 140), {255, 0, 0, 255}));
    EXPECT_TRUE(near(readScreenPixel(207, 140), {255, 0, 0, 255}));
    EXPECT_TRUE(near(readScreenPixel(200, 133), {255, 0, 0, 255}));
    EXPECT_TRUE(near(readScreenPixel(212, 140), kBlack));
    EXPECT_TRUE(near(readScreenPixel(200, 128), kBlack));

    // Zoomed out twice: half the distance from the centre, half the size.
    glClear(GL_COLOR_BUFFER_BIT);
    Viewport zoomed({0, 0, 2}, 320, 480, 0, 0);
    auto far = Kworld::initializeWorld(&zoomed);
    Knode::initWithParams(40, -100, 0, 1, 10, 2, nullptr, 0, far.get());
    far->drawOnViewportTextured(&zoomed, false);
    EXPECT_TRUE(near(readScreenPixel(180, 190), {0, 0, 255, 255}));
    EXPECT_TRUE(near(readScreenPixel(183, 190), {0, 0, 255, 255}));
    EXPECT_TRUE(near(readScreenPixel(187, 190), kBlack));
}

TEST_F(NodeDrawing, TexturedNodesAreTheirPictureScaledToTheRadius) {
    const Image white = Image::filled(16, 16, 255, 255, 255, 255, ImageAlpha::Last);
    auto picture = Texture2D::initWithImage(&white);
    ASSERT_TRUE(picture);
    Viewport screen({0, 0, 1}, 320, 480, 0, 0);
    auto world = Kworld::initializeWorld(&screen);
    auto node = Knode::initWithParams(-50, 60, 0, 1, 8, 0, picture, 0, world.get());
    node->setTint(255, 255, 0, 255);
    EXPECT_EQ(picture->colors()[2], 1.0f);  // the node tints its own copy
    world->drawOnViewportTextured(&screen, true);
    // 8 / 16 x 2.75 x 16 = 22 pixels wide, centred on (110, 300).
    EXPECT_TRUE(near(readScreenPixel(110, 300), {255, 255, 0, 255}));
    EXPECT_TRUE(near(readScreenPixel(100, 290), {255, 255, 0, 255}));
    EXPECT_TRUE(near(readScreenPixel(120, 310), {255, 255, 0, 255}));
    EXPECT_TRUE(near(readScreenPixel(97, 300), kBlack));
    EXPECT_TRUE(near(readScreenPixel(110, 313), kBlack));
}
