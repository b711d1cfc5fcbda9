#include <gtest/gtest.h>
#include <libexif/exif-data.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/Image.h"

using brumelo::decodeImage;
using brumelo::encodeJPEG;
using brumelo::encodePNG;

namespace {

Image gradient(int w, int h, ImageAlpha alpha) {
    std::vector<std::uint8_t> p(static_cast<std::size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint8_t* q = &p[(static_cast<std::size_t>(y) * w + x) * 4];
            q[0] = static_cast<std::uint8_t>(x * 255 / std::max(w - 1, 1));
            q[1] = static_cast<std::uint8_t>(y * 255 / std::max(h - 1, 1));
            q[2] = 90;
            q[3] = alpha == ImageAlpha::None ? 255 : static_cast<std::uint8_t>(40 + x % 200);
        }
    }
    return Image(w, h, std::move(p), alpha);
}

// A JPEG with an EXIF orientation tag written by libexif into an APP1 segment after SOI.
std::vector<std::uint8_t> jpegWithOrientation(int exifValue) {
    std::vector<std::uint8_t> jpeg = encodeJPEG(gradient(16, 8, ImageAlpha::None), 0.9);
    ExifData* exif = exif_data_new();
    exif_data_set_byte_order(exif, EXIF_BYTE_ORDER_INTEL);
    ExifEntry* entry = exif_entry_new();
    exif_content_add_entry(exif->ifd[EXIF_IFD_0], entry);
    exif_entry_initialize(entry, EXIF_TAG_ORIENTATION);
    exif_set_short(entry->data, EXIF_BYTE_ORDER_INTEL, static_cast<ExifShort>(exifValue));
    exif_entry_unref(entry);
    unsigned char* block = nullptr;
    unsigned int length = 0;
    exif_data_save_data(exif, &block, &length);
    exif_data_unref(exif);
    std::vector<std::uint8_t> segment = {0xFF, 0xE1, static_cast<std::uint8_t>((length + 2) >> 8),
                                         static_cast<std::uint8_t>((length + 2) & 0xFF)};
    segment.insert(segment.end(), block, block + length);
    std::free(block);
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    return jpeg;
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t n) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= data[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

void put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
    v[at] = static_cast<std::uint8_t>(x >> 24);
    v[at + 1] = static_cast<std::uint8_t>(x >> 16);
    v[at + 2] = static_cast<std::uint8_t>(x >> 8);
    v[at + 3] = static_cast<std::uint8_t>(x);
}

// Rewrites the size in a PNG's header chunk (with a correct checksum), leaving the data alone.
std::vector<std::uint8_t> pngClaiming(std::uint32_t w, std::uint32_t h) {
    std::vector<std::uint8_t> png = encodePNG(gradient(4, 4, ImageAlpha::Last));
    put32(png, 16, w);
    put32(png, 20, h);
    put32(png, 29, crc32(&png[12], 17));
    return png;
}

std::vector<std::uint8_t> jpegClaiming(std::uint16_t w, std::uint16_t h) {
    std::vector<std::uint8_t> jpeg = encodeJPEG(gradient(8, 8, ImageAlpha::None), 0.8);
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = static_cast<std::uint8_t>(h >> 8);
            jpeg[i + 6] = static_cast<std::uint8_t>(h);
            jpeg[i + 7] = static_cast<std::uint8_t>(w >> 8);
            jpeg[i + 8] = static_cast<std::uint8_t>(w);
            break;
        }
    }
    return jpeg;
}

}  // namespace

TEST(ImageCodec, PNGKeepsPixelsAndAlpha) {
    const Image original = gradient(37, 21, ImageAlpha::Last);
    auto decoded = decodeImage(encodePNG(original));
    ASSERT_TRUE(decoded) << decoded.error;
    EXPECT_EQ(decoded.image->width(), 37);
    EXPECT_EQ(decoded.image->height(), 21);
    EXPECT_EQ(decoded.image->alphaInfo(), ImageAlpha::Last);
    EXPECT_EQ(decoded.image->pixels(), original.pixels());

    const Image opaque = gradient(5, 3, ImageAlpha::None);
    decoded = decodeImage(encodePNG(opaque));
    ASSERT_TRUE(decoded) << decoded.error;
    EXPECT_EQ(decoded.image->alphaInfo(), ImageAlpha::None);
    EXPECT_EQ(decoded.image->pixels(), opaque.pixels());
}

TEST(ImageCodec, JPEGIsCloseAndQualityMatters) {
    const Image original = gradient(64, 48, ImageAlpha::None);
    const auto good = encodeJPEG(original, 0.95);
    const auto poor = encodeJPEG(original, 0.05);
    ASSERT_FALSE(good.empty());
    EXPECT_LT(poor.size(), good.size());
    auto decoded = decodeImage(good);
    ASSERT_TRUE(decoded) << decoded.error;
    EXPECT_EQ(decoded.image->width(), 64);
    EXPECT_EQ(decoded.image->alphaInfo(), ImageAlpha::None);
    EXPECT_EQ(decoded.image->orientation(), ImageOrientationUp);
    int worst = 0;
    for (std::size_t i = 0; i < original.pixels().size(); ++i) {
        worst = std::max(worst, std::abs(original.pixels()[i] - decoded.image->pixels()[i]));
    }
    EXPECT_LT(worst, 16);
}

TEST(ImageCodec, OrientationComesFromExif) {
    const int expected[9] = {0, 0, 4, 1, 5, 6, 3, 7, 2};
    for (int exifValue = 1; exifValue <= 8; ++exifValue) {
        auto decoded = decodeImage(jpegWithOrientation(exifValue));
        ASSERT_TRUE(decoded) << decoded.error;
        EXPECT_EQ(decoded.image->orientation(), expected[exifValue]) << "EXIF " << exifValue;
        EXPECT_EQ(decoded.image->width(), 16);  // pixels stay as stored
    }
    EXPECT_EQ(brumelo::orientationFromExif(0), ImageOrientationUp);
    EXPECT_EQ(brumelo::orientationFromExif(9), ImageOrientationUp);
}

TEST(ImageCodec, DamagedFilesGiveAReasonAndNoPicture) {
    const auto png = encodePNG(gradient(64, 64, ImageAlpha::Last));
    const auto jpeg = encodeJPEG(gradient(64, 64, ImageAlpha::None), 0.9);
    std::vector<std::vector<std::uint8_t>> bad = {
        {},
        {'h', 'e', 'l', 'l', 'o'},
        std::vector<std::uint8_t>(png.begin(),
                                  png.begin() + static_cast<std::ptrdiff_t>(png.size() / 2)),
        std::vector<std::uint8_t>(png.begin(), png.begin() + 20),
        std::vector<std::uint8_t>(jpeg.begin(),
                                  jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2)),
        std::vector<std::uint8_t>(jpeg.begin(), jpeg.begin() + 4),
    };
    auto corruptPng = png;
    for (std::size_t i = 60; i < 90; ++i) corruptPng[i] ^= 0x5A;
    bad.push_back(corruptPng);
    auto corruptJpeg = jpeg;
    // A stray marker soon after the start of the coded data ends it early.
    for (std::size_t i = 2; i + 1 < corruptJpeg.size(); ++i) {
        if (corruptJpeg[i] == 0xFF && corruptJpeg[i + 1] == 0xDA) {
            corruptJpeg[i + 20] = 0xFF;
            corruptJpeg[i + 21] = 0xD5;
            break;
        }
    }
    bad.push_back(corruptJpeg);
    for (std::size_t i = 0; i < bad.size(); ++i) {
        auto result = decodeImage(bad[i]);
        EXPECT_FALSE(result) << "case " << i;
        EXPECT_EQ(result.image, nullptr);
        EXPECT_FALSE(result.error.empty()) << "case " << i;
    }
    auto missing = brumelo::decodeImageFile("/nonexistent/picture.png");
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.error.find("/nonexistent/picture.png"), std::string::npos);
}

TEST(ImageCodec, HugePicturesAreRefusedBeforeDecoding) {
    for (auto [w, h] :
         {std::pair<std::uint32_t, std::uint32_t>{20000, 20000}, {10001, 10000}, {100000, 1001}}) {
        auto result = decodeImage(pngClaiming(w, h));
        EXPECT_FALSE(result);
        EXPECT_FALSE(result.error.empty());
    }
    auto result = decodeImage(pngClaiming(20000, 20000));
    EXPECT_NE(result.error.find("too large"), std::string::npos) << result.error;
    result = decodeImage(jpegClaiming(60000, 60000));
    EXPECT_FALSE(result);
    EXPECT_NE(result.error.find("too large"), std::string::npos) << result.error;
}
