#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "platform/BitmapContext.h"
#include "platform/Image.h"
#include "platform/TextRenderer.h"

using brumelo::AffineTransform;
using brumelo::BitmapContext;

namespace {

// 2 x 2: top row red, green; bottom row blue, white.
Image corners() {
    return Image(2, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255},
                 ImageAlpha::Last);
}

std::array<int, 4> at(const std::vector<std::uint8_t>& bytes, int width, int x, int y) {
    const std::uint8_t* p = &bytes[(static_cast<std::size_t>(y) * width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

}  // namespace

TEST(BitmapContext, PicturesAreDrawnUprightFromTheBottomLeft) {
    BitmapContext context(4, 4, BitmapContext::Format::RGBA);
    context.drawImage(corners(), 0, 0, 2, 2);  // the bottom-left quarter
    const auto bytes = context.bytes();
    EXPECT_EQ(at(bytes, 4, 0, 2), (std::array<int, 4>{255, 0, 0, 255}));
    EXPECT_EQ(at(bytes, 4, 1, 2), (std::array<int, 4>{0, 255, 0, 255}));
    EXPECT_EQ(at(bytes, 4, 0, 3), (std::array<int, 4>{0, 0, 255, 255}));
    EXPECT_EQ(at(bytes, 4, 0, 0), (std::array<int, 4>{0, 0, 0, 0}));
}

TEST(BitmapContext, TransformsMoveTurnAndMirror) {
    // A quarter turn about the origin, then moved back into view: the top row becomes the left
    // column, read downward from the top.
    BitmapContext turned(2, 2, BitmapContext::Format::RGBA);
    turned.translate(2, 0);
    turned.rotate(std::numbers::pi / 2);
    turned.drawImage(corners(), 0, 0, 2, 2);
    auto b = turned.bytes();
    EXPECT_EQ(at(b, 2, 0, 0), (std::array<int, 4>{0, 255, 0, 255}));
    EXPECT_EQ(at(b, 2, 0, 1), (std::array<int, 4>{255, 0, 0, 255}));
    EXPECT_EQ(at(b, 2, 1, 1), (std::array<int, 4>{0, 0, 255, 255}));

    BitmapContext mirrored(2, 2, BitmapContext::Format::RGBA);
    mirrored.translate(0, 2);
    mirrored.scale(1, -1);
    mirrored.drawImage(corners(), 0, 0, 2, 2);
    b = mirrored.bytes();
    EXPECT_EQ(at(b, 2, 0, 0), (std::array<int, 4>{0, 0, 255, 255}));
    EXPECT_EQ(at(b, 2, 1, 1), (std::array<int, 4>{0, 255, 0, 255}));

    mirrored.saveState();
    mirrored.scale(5, 5);
    mirrored.restoreState();
    EXPECT_DOUBLE_EQ(mirrored.transform().d, -1);
}

TEST(BitmapContext, FormatsAndTheirPictures) {
    const Image half = Image::filled(1, 1, 200, 100, 50, 128, ImageAlpha::Last);
    BitmapContext rgba(1, 1, BitmapContext::Format::RGBA);
    rgba.drawImage(half, 0, 0, 1, 1);
    const auto premultiplied = rgba.bytes();
    EXPECT_NEAR(premultiplied[0], 100, 1);
    EXPECT_EQ(premultiplied[3], 128);
    const Image back = rgba.makeImage();
    EXPECT_EQ(back.alphaInfo(), ImageAlpha::Last);
    EXPECT_NEAR(back.pixels()[0], 200, 2);
    EXPECT_NEAR(back.pixels()[1], 100, 2);

    BitmapContext rgbx(1, 1, BitmapContext::Format::RGBX);
    rgbx.drawImage(half, 0, 0, 1, 1);
    EXPECT_NEAR(rgbx.bytes()[0], 100, 1);  // over black
    EXPECT_EQ(rgbx.bytes()[3], 255);
    EXPECT_EQ(rgbx.makeImage().alphaInfo(), ImageAlpha::NoneSkipLast);

    BitmapContext alpha(3, 1, BitmapContext::Format::Alpha);
    alpha.drawImage(half, 1, 0, 1, 1);
    EXPECT_EQ(alpha.bytes(), (std::vector<std::uint8_t>{0, 128, 0}));
    EXPECT_EQ(alpha.makeImage().alphaInfo(), ImageAlpha::Only);

    BitmapContext fill(2, 1, BitmapContext::Format::Gray);
    fill.fillRect(0, 0, 1, 1, 1, 1, 1, 1);
    EXPECT_EQ(fill.bytes(), (std::vector<std::uint8_t>{255, 0}));
    fill.clearRect(0, 0, 2, 1);
    EXPECT_EQ(fill.bytes(), (std::vector<std::uint8_t>{0, 0}));

    EXPECT_THROW(BitmapContext(0, 5, BitmapContext::Format::RGBA), std::invalid_argument);
    EXPECT_THROW(BitmapContext(40000, 5, BitmapContext::Format::RGBA), std::invalid_argument);
}

TEST(TextRenderer, CoverageStaysInTheBoxAndFollowsAlignment) {
    const int w = 128, h = 64;
    auto centreOfMass = [&](const std::vector<std::uint8_t>& c) {
        double sum = 0, weighted = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                sum += c[static_cast<std::size_t>(y) * w + x];
                weighted += x * c[static_cast<std::size_t>(y) * w + x];
            }
        }
        return sum > 0 ? weighted / sum : -1.0;
    };
    const auto left = brumelo::renderTextCoverage("Hi", w, h, 100, 40, 0, "Arial", 20);
    const auto right = brumelo::renderTextCoverage("Hi", w, h, 100, 40, 2, "Arial", 20);
    ASSERT_EQ(left.size(), static_cast<std::size_t>(w * h));
    EXPECT_EQ(*std::max_element(left.begin(), left.end()), 255);
    EXPECT_LT(centreOfMass(left), 30);
    EXPECT_GT(centreOfMass(right), 70);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (x >= 100 || y >= 40) {
                ASSERT_EQ(right[static_cast<std::size_t>(y) * w + x], 0) << x << "," << y;
            }
        }
    }
    // A long text wraps at words onto further lines.
    const auto wrapped =
        brumelo::renderTextCoverage("one two three four", w, h, 60, 64, 0, "Arial", 14);
    int lowest = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (wrapped[static_cast<std::size_t>(y) * w + x] > 0) lowest = y;
        }
    }
    EXPECT_GT(lowest, 30);
}
