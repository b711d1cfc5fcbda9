#include <gtest/gtest.h>

#include "platform/Image.h"
#include "render/GLTestContext.h"
#include "render/Texture2D.h"
#include "render/TextureFramebuffer.h"
#include "render/Viewport.h"

using brumelo::test::near;
using brumelo::test::readGLPixel;
using brumelo::test::readScreenPixel;

namespace {

// Top half one colour, bottom half another.
Image halves(int w, int h, std::array<std::uint8_t, 4> top, std::array<std::uint8_t, 4> bottom,
             ImageAlpha alpha) {
    std::vector<std::uint8_t> p(static_cast<std::size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const auto& c = y < h / 2 ? top : bottom;
            std::copy(c.begin(), c.end(), p.begin() + (static_cast<std::ptrdiff_t>(y) * w + x) * 4);
        }
    }
    return Image(w, h, std::move(p), alpha);
}

class PictureTexture : public brumelo::test::GLTest {};

}  // namespace

TEST_F(PictureTexture, SidesBecomePowersOfTwoAtMost1024) {
    struct Case {
        int w, h;
        unsigned tw, th;
        float cw, ch;
    };
    const Case cases[] = {
        {1, 1, 1, 1, 1, 1},
        {513, 512, 1024, 512, 513, 512},
        {2048, 2048, 1024, 1024, 1024, 1024},
        {4096, 256, 1024, 64, 1024, 64},
        {1500, 900, 1024, 512, 750, 450},
        {3, 5, 4, 8, 3, 5},
        {4096, 1, 1024, 1, 1024, 0.25f},  // a side never shrinks to nothing
    };
    for (const Case& c : cases) {
        const Image picture = Image::filled(c.w, c.h, 0, 0, 0, 255, ImageAlpha::None);
        auto t = Texture2D::initWithImage(&picture);
        ASSERT_TRUE(t) << c.w << "x" << c.h;
        EXPECT_EQ(t->pixelsWide(), c.tw) << c.w << "x" << c.h;
        EXPECT_EQ(t->pixelsHigh(), c.th) << c.w << "x" << c.h;
        EXPECT_FLOAT_EQ(t->contentSize().width, c.cw) << c.w << "x" << c.h;
        EXPECT_FLOAT_EQ(t->contentSize().height, c.ch) << c.w << "x" << c.h;
        EXPECT_FLOAT_EQ(t->maxS(), c.cw / static_cast<float>(c.tw));
        EXPECT_FLOAT_EQ(t->maxT(), c.ch / static_cast<float>(c.th));
        EXPECT_FALSE(t->clearOnRelease());
    }
}

TEST_F(PictureTexture, FormatFollowsTheAlphaKind) {
    const std::pair<ImageAlpha, TexturePixelFormat> cases[] = {
        {ImageAlpha::None, TexturePixelFormat::RGB565},
        {ImageAlpha::NoneSkipLast, TexturePixelFormat::RGB565},
        {ImageAlpha::PremultipliedFirst, TexturePixelFormat::RGBA8888},
        {ImageAlpha::Last, TexturePixelFormat::RGBA8888},
        {ImageAlpha::Only, TexturePixelFormat::A8},
    };
    for (const auto& [alpha, format] : cases) {
        const Image picture = Image::filled(2, 2, 9, 9, 9, 200, alpha);
        auto t = Texture2D::initWithImage(&picture);
        ASSERT_TRUE(t);
        EXPECT_EQ(t->pixelFormat(), format) << static_cast<int>(alpha);
    }
    EXPECT_EQ(Texture2D::initWithImage(static_cast<const Image*>(nullptr)), nullptr);
    const Image empty;
    EXPECT_EQ(Texture2D::initWithImage(&empty), nullptr);
}

// Read back through a frame buffer on the texture: row r of the texture is GL row r.
TEST_F(PictureTexture, PictureFillsTheFirstRowsPremultiplied) {
    const Image picture = halves(3, 6, {255, 0, 0, 128}, {0, 0, 255, 255}, ImageAlpha::Last);
    auto t = Texture2D::initWithImage(&picture);
    ASSERT_TRUE(t);
    ASSERT_EQ(t->pixelsHigh(), 8u);
    ASSERT_TRUE(createFramebufferObjectForTexture(t, false));
    EXPECT_TRUE(near(readGLPixel(0, 0), {128, 0, 0, 128}, 1));  // the picture's top row
    EXPECT_TRUE(near(readGLPixel(2, 2), {128, 0, 0, 128}, 1));
    EXPECT_TRUE(near(readGLPixel(1, 5), {0, 0, 255, 255}, 1));
    EXPECT_TRUE(near(readGLPixel(3, 0), {0, 0, 0, 0}, 0));  // cleared beyond the content
    EXPECT_TRUE(near(readGLPixel(0, 7), {0, 0, 0, 0}, 0));
    screen_->bind();
}

TEST_F(PictureTexture, LargePicturesAreShrunkWhole) {
    const Image picture =
        halves(2048, 1024, {0, 255, 0, 255}, {255, 0, 255, 255}, ImageAlpha::Last);
    auto t = Texture2D::initWithImage(&picture);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->pixelsWide(), 1024u);
    EXPECT_EQ(t->pixelsHigh(), 512u);
    ASSERT_TRUE(createFramebufferObjectForTexture(t, false));
    EXPECT_TRUE(near(readGLPixel(0, 0), {0, 255, 0, 255}, 1));
    EXPECT_TRUE(near(readGLPixel(1023, 250), {0, 255, 0, 255}, 1));
    EXPECT_TRUE(near(readGLPixel(1023, 260), {255, 0, 255, 255}, 1));
    EXPECT_TRUE(near(readGLPixel(0, 511), {255, 0, 255, 255}, 1));
    screen_->bind();
}

TEST_F(PictureTexture, OpaquePicturesKeepTheirColourIn16Bits) {
    const Image picture = halves(4, 4, {255, 0, 0, 255}, {0, 128, 255, 255}, ImageAlpha::None);
    auto t = Texture2D::initWithImage(&picture);
    ASSERT_TRUE(t);
    ASSERT_EQ(t->pixelFormat(), TexturePixelFormat::RGB565);
    Viewport({0, 0, 1}, 320, 480, 0, 0).setupView();
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    t->drawInRect({-40, -40, 80, 80});
    EXPECT_TRUE(near(readScreenPixel(160, 260), {255, 0, 0, 255}, 4));    // top rows, high y
    EXPECT_TRUE(near(readScreenPixel(160, 220), {0, 130, 255, 255}, 4));  // 128 >> 2 << 2 widened
}

TEST_F(PictureTexture, MaskBecomesCoverage) {
    const Image mask = halves(4, 4, {0, 0, 0, 255}, {0, 0, 0, 0}, ImageAlpha::Only);
    auto t = Texture2D::initWithImage(&mask);
    ASSERT_TRUE(t);
    ASSERT_EQ(t->pixelFormat(), TexturePixelFormat::A8);
    Viewport({0, 0, 1}, 320, 480, 0, 0).setupView();
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    t->drawInRect({-40, -40, 80, 80});
    EXPECT_TRUE(near(readScreenPixel(160, 260), {255, 255, 255, 255}, 4));
    EXPECT_TRUE(near(readScreenPixel(160, 220), {0, 0, 0, 255}, 4));
}

TEST_F(PictureTexture, TextCoverageLandsInTheAlphaChannel) {
    auto t = Texture2D::initWithStringDimensionsAlignmentFontNameFontSize("Play", {100, 100}, 0,
                                                                          "Arial", 24);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->pixelFormat(), TexturePixelFormat::A8);
    EXPECT_EQ(t->pixelsWide(), 128u);
    EXPECT_EQ(t->pixelsHigh(), 128u);
    EXPECT_FLOAT_EQ(t->maxS(), 100.0f / 128);
    EXPECT_TRUE(t->clearOnRelease());

    // Drawn without blending into a transparent frame buffer: colour white, alpha the glyphs.
    auto target = Texture2D::initWithDataPixelFormatPixelsWidePixelsHighContentSize(
        std::vector<std::uint8_t>(128 * 128 * 4, 0).data(), TexturePixelFormat::RGBA8888, 128, 128,
        {128, 128});
    ASSERT_TRUE(createFramebufferObjectForTexture(target, false));
    glViewport(0, 0, 128, 128);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrthof(0, 128, 0, 128, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    t->drawInRect({0, 0, 100, 100});  // the content, one pixel a texel
    const auto pixels = brumelo::test::readGLPixels(128, 128);
    int covered = 0, lowRows = 0, outside = 0;
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 128; ++x) {
            const std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * 128 + x) * 4];
            if (x >= 100 || y >= 100) {
                if (p[3] != 0) ++outside;
                continue;
            }
            EXPECT_EQ(p[0], 255);
            EXPECT_EQ(p[2], 255);
            if (p[3] > 128) {
                ++covered;
                // The text's first line is at the top of the box, the texture's first rows,
                // which land on the high-y edge.
                if (y < 60) ++lowRows;
            }
        }
    }
    EXPECT_GT(covered, 60);
    EXPECT_EQ(lowRows, 0);
    EXPECT_EQ(outside, 0);
    screen_->bind();
}

// A picture's texture (or a copy) answers its first read without the GPU: exactly what GL reads
// back, opaque pictures widened from 16 bits as GL widens them. One drawn into keeps nothing.
TEST_F(PictureTexture, KeptPixelsAreWhatGLReadsBack) {
    for (const ImageAlpha alpha : {ImageAlpha::None, ImageAlpha::Last}) {
        std::vector<std::uint8_t> p(64 * 4 * 4);
        for (int i = 0; i < 64 * 4; ++i) {
            const auto v = static_cast<std::uint8_t>(i);
            p[i * 4] = v;
            p[i * 4 + 1] = static_cast<std::uint8_t>(255 - v);
            p[i * 4 + 2] = static_cast<std::uint8_t>(v * 7);
            p[i * 4 + 3] = static_cast<std::uint8_t>(255 - (v & 127));
        }
        const Image picture(64, 4, std::move(p), alpha);
        auto t = Texture2D::initWithImage(&picture);
        ASSERT_TRUE(t);
        // Droplets draw copies of the picture's texture: the first read may come through one.
        const std::vector<std::uint8_t> kept = t->makeCopy()->takePixels();
        ASSERT_EQ(kept.size(), 64u * 4 * 4) << static_cast<int>(alpha);
        EXPECT_TRUE(t->takePixels().empty());
        ASSERT_TRUE(createFramebufferObjectForTexture(t, false));
        std::vector<std::uint8_t> read(kept.size());
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, 64, 4, GL_RGBA, GL_UNSIGNED_BYTE, read.data());
        EXPECT_EQ(read, kept) << static_cast<int>(alpha);
        screen_->bind();

        auto drawn = Texture2D::initWithImage(&picture);
        ASSERT_TRUE(createFramebufferObjectForTexture(drawn, true));
        EXPECT_TRUE(drawn->takePixels().empty());
        screen_->bind();
    }
}
