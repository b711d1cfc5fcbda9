#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/GLContext.h"
#include "platform/Image.h"
#include "render/GLTestContext.h"
#include "render/Texture2D.h"
#include "render/TextureFramebuffer.h"
#include "render/Viewport.h"

using brumelo::test::near;
using brumelo::test::readGLPixel;
using brumelo::test::readScreenPixel;
using brumelo::test::Rgba;

namespace {

// Quadrants of a 16 x 16 RGBA picture: first rows red | green, last rows blue | white.
std::vector<std::uint8_t> quadrants() {
    std::vector<std::uint8_t> p(16 * 16 * 4);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            std::uint8_t* q = &p[(y * 16 + x) * 4];
            const bool top = y < 8, left = x < 8;
            q[0] = ((top && left) || (!top && !left)) ? 255 : 0;
            q[1] = (top && !left) || (!top && !left) ? 255 : 0;
            q[2] = !top ? 255 : 0;
            q[3] = 255;
        }
    }
    return p;
}

std::shared_ptr<Texture2D> solid(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a,
                                 unsigned w = 32, unsigned h = 32) {
    std::vector<std::uint8_t> p(static_cast<std::size_t>(w) * h * 4);
    for (std::size_t i = 0; i < p.size(); i += 4) {
        p[i] = r;
        p[i + 1] = g;
        p[i + 2] = b;
        p[i + 3] = a;
    }
    return Texture2D::initWithDataPixelFormatPixelsWidePixelsHighContentSize(
        p.data(), TexturePixelFormat::RGBA8888, w, h,
        {static_cast<float>(w), static_cast<float>(h)});
}

class TextureGL : public brumelo::test::GLTest {
  protected:
    void beginDrawing() {
        Viewport v({0, 0, 1}, 320, 480, 0, 0);
        v.setupView();
        glEnable(GL_TEXTURE_2D);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    }
};

}  // namespace

TEST_F(TextureGL, FirstRowLandsOnTheHighYEdge) {
    const auto pixels = quadrants();
    auto t = Texture2D::initWithDataPixelFormatPixelsWidePixelsHighContentSize(
        pixels.data(), TexturePixelFormat::RGBA8888, 16, 16, {16, 16});
    ASSERT_TRUE(t);
    beginDrawing();
    t->drawInRect({-100, -100, 200, 200});
    // World y grows down the screen, so the high-y edge is the lower half.
    EXPECT_TRUE(near(readScreenPixel(110, 290), {255, 0, 0, 255}));
    EXPECT_TRUE(near(readScreenPixel(210, 290), {0, 255, 0, 255}));
    EXPECT_TRUE(near(readScreenPixel(110, 190), {0, 0, 255, 255}));
    EXPECT_TRUE(near(readScreenPixel(210, 190), {255, 255, 255, 255}));
    EXPECT_TRUE(near(readScreenPixel(50, 190), {0, 0, 0, 255}));
}

TEST_F(TextureGL, TintsColourTheirCorners) {
    auto t = solid(255, 255, 255, 255);
    ASSERT_TRUE(t);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(t->colors()[i], 1.0f);
    EXPECT_EQ(t->getAlpha(), 1);

    t->setTint(255, 0, 0, 128);
    for (int corner = 0; corner < 4; ++corner) {
        EXPECT_EQ(t->colors()[4 * corner], 1.0f);
        EXPECT_EQ(t->colors()[4 * corner + 1], 0.0f);
        EXPECT_NEAR(t->colors()[4 * corner + 3], 0.50196f, 1e-5);
    }
    EXPECT_EQ(t->getAlpha(), 0);
    t->setTint(300, -5, 128, 255);  // clamped
    EXPECT_EQ(t->colors()[0], 1.0f);
    EXPECT_EQ(t->colors()[1], 0.0f);

    t->setTint(255, 255, 255, 255);
    t->setTintTop(255, 0, 0, 255);
    beginDrawing();
    t->drawInRect({-100, -100, 200, 200});
    const Rgba high = readScreenPixel(160, 338);  // world y 98
    const Rgba low = readScreenPixel(160, 142);   // world y -98
    EXPECT_TRUE(near(high, {255, 0, 0, 255}, 8));
    EXPECT_TRUE(near(low, {255, 255, 255, 255}, 8));
}

TEST_F(TextureGL, DrawAtPointCentresTheContent) {
    std::vector<std::uint8_t> p(32 * 32 * 4, 255);
    auto t = Texture2D::initWithDataPixelFormatPixelsWidePixelsHighContentSize(
        p.data(), TexturePixelFormat::RGBA8888, 32, 32, {20, 10});
    ASSERT_TRUE(t);
    EXPECT_FLOAT_EQ(t->maxS(), 20.0f / 32);
    EXPECT_FLOAT_EQ(t->maxT(), 10.0f / 32);
    beginDrawing();
    t->drawAtPoint(10, 20);  // covers world x 0..20, y 15..25
    EXPECT_TRUE(near(readScreenPixel(160, 255), {255, 255, 255, 255}));
    EXPECT_TRUE(near(readScreenPixel(179, 264), {255, 255, 255, 255}));
    EXPECT_TRUE(near(readScreenPixel(159, 260), {0, 0, 0, 255}));
    EXPECT_TRUE(near(readScreenPixel(180, 260), {0, 0, 0, 255}));
    EXPECT_TRUE(near(readScreenPixel(170, 254), {0, 0, 0, 255}));
    EXPECT_TRUE(near(readScreenPixel(170, 265), {0, 0, 0, 255}));
}

TEST_F(TextureGL, CopiesShareTheTextureButNotTheTint) {
    auto t = solid(255, 255, 255, 255);
    ASSERT_TRUE(t);
    t->setTint(10, 20, 30, 255);
    auto copy = t->makeCopy();
    EXPECT_EQ(copy->name(), t->name());
    EXPECT_EQ(copy->pixelsWide(), 32u);
    EXPECT_EQ(copy->pixelFormat(), TexturePixelFormat::RGBA8888);
    EXPECT_EQ(copy->colors()[0], t->colors()[0]);
    EXPECT_EQ(t->fbo(), Texture2D::kNoFramebuffer);
    EXPECT_EQ(copy->fbo(), 0u);
    copy->setTint(255, 255, 255, 0);
    EXPECT_NEAR(t->colors()[0], 10 / 255.0, 1e-6);
    EXPECT_EQ(t->colors()[3], 1.0f);

    const std::string text = t->description();
    const std::string tail = " | Name = " + std::to_string(t->name()) +
                             " | Dimensions = 32x32 | Coordinates = (1.00, 1.00)>";
    EXPECT_EQ(text.rfind("<Texture2D = ", 0), 0u) << text;
    ASSERT_GT(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST_F(TextureGL, UnknownFormatIsRejected) {
    const std::uint8_t pixel[4] = {};
    EXPECT_THROW(Texture2D::initWithDataPixelFormatPixelsWidePixelsHighContentSize(
                     pixel, static_cast<TexturePixelFormat>(4), 1, 1, {1, 1}),
                 std::logic_error);
}

// Narrow rows must not be read with GL's default 4-byte row padding.
TEST_F(TextureGL, NarrowRowsAreTightlyPacked) {
    const std::uint8_t alpha[3] = {255, 0, 255};  // 1 x 3, one byte a row
    auto t = Texture2D::initWithDataPixelFormatPixelsWidePixelsHighContentSize(
        alpha, TexturePixelFormat::A8, 1, 3, {1, 3});
    ASSERT_TRUE(t);
    beginDrawing();
    glDisable(GL_BLEND);
    glBindTexture(GL_TEXTURE_2D, t->name());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    t->drawInRect({-30, -30, 60, 60});
    EXPECT_EQ(readScreenPixel(160, 260).a, 255);  // first row, high y
    EXPECT_EQ(readScreenPixel(160, 240).a, 0);
    EXPECT_EQ(readScreenPixel(160, 220).a, 255);
}

TEST_F(TextureGL, FramebufferWithAlphaOnlyWritesKeepsColour) {
    auto t = solid(10, 200, 30, 255, 64, 64);
    ASSERT_TRUE(t);
    ASSERT_TRUE(createFramebufferObjectForTexture(t, false));
    EXPECT_NE(t->fbo(), Texture2D::kNoFramebuffer);
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), t->fbo());

    glViewport(0, 0, 64, 64);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    const GLfloat quad[] = {-1, -1, 0, 0, -1, 0, -1, 1, 0, 0, 1, 0};  // the left half
    const GLfloat colour[] = {1, 1, 1, 0.25f, 1, 1, 1, 0.25f, 1, 1, 1, 0.25f, 1, 1, 1, 0.25f};
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, quad);
    glColorPointer(4, GL_FLOAT, 0, colour);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    EXPECT_TRUE(near(readGLPixel(10, 10), {10, 200, 30, 64}, 1));
    EXPECT_TRUE(near(readGLPixel(50, 10), {10, 200, 30, 255}, 0));

    auto cleared = solid(10, 200, 30, 255, 16, 16);
    ASSERT_TRUE(createFramebufferObjectForTexture(*cleared, true));
    EXPECT_TRUE(near(readGLPixel(3, 3), {0, 0, 0, 255}, 0));
    screen_->bind();
}

// Picture textures own their GL texture; copies keep it alive until the last one goes.
TEST_F(TextureGL, TheGLTextureIsDeletedOnceByItsLastHolder) {
    const Image picture = Image::filled(4, 4, 1, 2, 3, 255, ImageAlpha::Last);
    auto t = Texture2D::initWithImage(&picture);
    ASSERT_TRUE(t);
    const GLuint name = t->name();
    EXPECT_TRUE(glIsTexture(name));
    auto copy = t->makeCopy();
    t.reset();
    EXPECT_TRUE(glIsTexture(name));  // the copy still draws with it
    auto other = solid(0, 0, 0, 255, 4, 4);
    copy.reset();
    EXPECT_FALSE(glIsTexture(name));
    EXPECT_TRUE(glIsTexture(other->name()));

    auto text =
        Texture2D::initWithStringDimensionsAlignmentFontNameFontSize("x", {8, 8}, 0, "Arial", 8);
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->clearOnRelease());
    const GLuint textName = text->name();
    text.reset();
    EXPECT_FALSE(glIsTexture(textName));
    EXPECT_TRUE(glIsTexture(other->name()));
}

TEST_F(TextureGL, NothingIsDeletedWithoutACurrentContext) {
    auto t = solid(0, 0, 0, 255, 4, 4);
    const GLuint name = t->name();
    brumelo::setGLContextQuery([] { return false; });
    t.reset();
    brumelo::setGLContextQuery(nullptr);
    EXPECT_TRUE(glIsTexture(name));
    glDeleteTextures(1, &name);
}

TEST_F(TextureGL, NamesAreDeletedOnlyInTheContextThatMadeThem) {
    auto t = solid(0, 0, 0, 255, 4, 4);
    const GLuint name = t->name();
    std::string why;
    auto second = brumelo::HeadlessGLContext::create(&why);
    ASSERT_TRUE(second) << why;
    // Make the same number a live texture of the second context.
    std::vector<GLuint> names;
    for (GLuint n = 0; n != name && names.size() < 100000;) {
        glGenTextures(1, &n);
        glBindTexture(GL_TEXTURE_2D, n);
        names.push_back(n);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    ASSERT_TRUE(glIsTexture(name));
    t.reset();
    EXPECT_TRUE(glIsTexture(name));
    glDeleteTextures(static_cast<GLsizei>(names.size()), names.data());
    second.reset();
    brumelo::test::sharedGLContext();
}
