// Picture files as the picker, a drop on the window and --background hand them over: decoded
// from bytes (PNG, or JPEG with its EXIF orientation), brought upright and scaled, then stored as
// PNG. A picture either comes out whole and consistent or is refused with a reason.

#include <algorithm>

#include "FuzzSupport.h"
#include "app/BackgroundPictures.h"
#include "platform/Image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const brumelo::ImageResult decoded = brumelo::decodeImage(data, size);
    if (!decoded) {
        FUZZ_CHECK(!decoded.error.empty());
        return 0;
    }
    const Image& picture = *decoded.image;
    FUZZ_CHECK(picture.width() > 0 && picture.height() > 0);
    FUZZ_CHECK(picture.pixels().size() == static_cast<std::size_t>(picture.width()) *
                                              static_cast<std::size_t>(picture.height()) * 4);
    FUZZ_CHECK(static_cast<std::uint64_t>(picture.width()) *
                   static_cast<std::uint64_t>(picture.height()) <=
               brumelo::kMaxImagePixels);
    FUZZ_CHECK(picture.orientation() >= 0 && picture.orientation() <= 7);

    // What a picked picture goes through; large ones only cost time here.
    if (picture.width() > brumelo::kMaxPictureSide || picture.height() > brumelo::kMaxPictureSide ||
        static_cast<std::uint64_t>(picture.width()) * static_cast<std::uint64_t>(picture.height()) >
            (1u << 22))
        return 0;
    const Image upright = scaleAndRotateImage(picture);
    FUZZ_CHECK(!upright.empty());
    FUZZ_CHECK(std::max(upright.width(), upright.height()) <= 480);
    std::string error;
    const std::vector<std::uint8_t> png = brumelo::encodePNG(upright, &error);
    FUZZ_CHECK(!png.empty());
    const brumelo::ImageResult again = brumelo::decodeImage(png);
    FUZZ_CHECK(again && again.image->width() == upright.width() &&
               again.image->height() == upright.height());
    return 0;
}
