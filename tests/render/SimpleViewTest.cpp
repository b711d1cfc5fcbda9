#include <gtest/gtest.h>

#include "platform/Image.h"
#include "render/ActiveTexture.h"
#include "render/GLTestContext.h"
#include "render/Helper.h"
#include "render/SimpleView.h"
#include "render/Texture2D.h"
#include "render/Viewport.h"

using brumelo::test::near;
using brumelo::test::readScreenPixel;

TEST(PointInRect, EdgesAreInside) {
    EXPECT_EQ(pointInRect(10, 0, 0, 0, 20, 20), 0);
    EXPECT_EQ(pointInRect(10.5f, 0, 0, 0, 20, 20), 2);
    EXPECT_EQ(pointInRect(-10.5f, 0, 0, 0, 20, 20), 1);
    EXPECT_EQ(pointInRect(0, 11, 0, 0, 20, 20), 3);
    EXPECT_EQ(pointInRect(0, -11, 0, 0, 20, 20), 4);
    EXPECT_EQ(pointInRect(50, 50, 0, 0, 20, 20), 2);  // x is tested first
}

class SimpleViewGL : public brumelo::test::GLTest {
  protected:
    std::shared_ptr<Texture2D> picture() {
        const Image white = Image::filled(16, 16, 255, 255, 255, 255, ImageAlpha::Last);
        return Texture2D::initWithImage(&white);
    }
};

TEST_F(SimpleViewGL, PictureButtonsTintTheirOwnCopy) {
    auto shared = picture();
    auto button = ActiveTexture::withTexturePositionIdentifier(shared, {5, 6}, 7);
    ASSERT_TRUE(button);
    EXPECT_NE(button->texture(), shared);
    EXPECT_EQ(button->texture()->name(), shared->name());
    button->setTint(255, 0, 0, 255);
    EXPECT_EQ(shared->colors()[1], 1.0f);
    EXPECT_EQ(button->texture()->colors()[1], 0.0f);
    EXPECT_TRUE(button->visible());
    EXPECT_EQ(button->rect().width, 16.0f);

    auto text = ActiveTexture::fromString("Play", 220, 64, 1, 58, 0, -184, 1);
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->texture()->clearOnRelease());
    // The hit area is the whole power-of-two texture.
    EXPECT_EQ(text->rect().width, 256.0f);
    EXPECT_EQ(text->rect().height, 64.0f);
    EXPECT_TRUE(text->checkTouch({127, -184}));
    EXPECT_FALSE(text->checkTouch({129, -184}));
}

TEST_F(SimpleViewGL, HitsAndDrawing) {
    auto view = SimpleView::getSimpleViewGame();
    EXPECT_TRUE(view->staticView());
    EXPECT_TRUE(view->activeTextures().empty());
    EXPECT_EQ(view->checkTouch({0, 0}), 0);

    auto menu = SimpleView::initSimpleView(false, 42);
    auto shared = picture();
    menu->addActiveTexture(ActiveTexture::withTexturePositionIdentifier(shared, {0, 0}, 0));
    menu->addActiveTexture(ActiveTexture::withTexturePositionIdentifier(shared, {4, 0}, 5));
    menu->addActiveTexture(ActiveTexture::withTexturePositionIdentifier(shared, {4, 0}, 6));
    menu->addActiveTexture(ActiveTexture::withTexturePositionIdentifier(shared, {-60, 0}, 8));
    EXPECT_EQ(menu->checkTouch({0, 0}), 5);  // identifier 0 is no button; the first hit wins
    EXPECT_EQ(menu->checkTouch({-5, 0}), 42);
    EXPECT_EQ(menu->checkTouch({-60, 0}), 8);
    menu->setTextureVisibility(8, false);
    EXPECT_EQ(menu->checkTouch({-60, 0}), 42);
    EXPECT_EQ(menu->getActiveTexture(6)->identifier(), 6);
    EXPECT_EQ(menu->getActiveTexture(9), nullptr);

    auto v = Viewport::initViewportWithCameraWidthPixelsHeightPixelsCenterXCenterY({0, 0, 1}, 320,
                                                                                   480, 0, 0);
    menu->drawOnViewport(*v);
    EXPECT_TRUE(near(readScreenPixel(164, 240), {255, 255, 255, 255}));
    EXPECT_TRUE(near(readScreenPixel(100, 240), {0, 0, 0, 255}));  // the hidden one
}
