// Pictures through the browser: it decodes every PNG and JPEG before the program reads it (the
// shipped pictures as they load, a picked photo before the picker answers, the stored background
// before start-up) and encodes through a canvas.

#include "platform/Image.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "platform/web/Browser.h"

namespace brumelo {

namespace {

ImageResult failure(std::string reason) { return {nullptr, std::move(reason)}; }

std::vector<std::uint8_t> encode(const Image& image, bool jpeg, double quality,
                                 std::string* error) {
    if (image.empty()) {
        if (error) *error = "empty picture";
        return {};
    }
    int size = 0;
    std::uint8_t* bytes =
        brumelo_encode_image(image.pixels().data(), image.width(), image.height(),
                             image.hasAlpha() ? 0 : 1, jpeg ? 1 : 0, quality, &size);
    if (!bytes) {
        if (error) *error = jpeg ? "JPEG encoding failed" : "PNG encoding failed";
        return {};
    }
    std::vector<std::uint8_t> out(bytes, bytes + size);
    std::free(bytes);
    return out;
}

}  // namespace

ImageResult decodeImage(const std::uint8_t* data, std::size_t size) {
    static const std::uint8_t pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (data == nullptr || size == 0) return failure("empty picture file");
    const bool png = size >= 8 && std::equal(pngSignature, pngSignature + 8, data);
    const bool jpeg = size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
    if (!png && !jpeg) return failure("not a PNG or JPEG picture");
    int width = 0, height = 0, alpha = 0;
    char why[256] = {0};
    std::uint8_t* pixels = brumelo_decoded_take(data, static_cast<int>(size), &width, &height,
                                                &alpha, why, sizeof why);
    if (!pixels) return failure(why[0] ? why : "the browser was not asked to decode this picture");
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    std::vector<std::uint8_t> rgba(pixels, pixels + n);
    std::free(pixels);
    // The browser has turned the picture upright already.
    return {std::make_shared<Image>(width, height, std::move(rgba),
                                    alpha ? ImageAlpha::Last : ImageAlpha::None),
            {}};
}

// The browser decodes at full size.
ImageResult decodeImageReduced(const std::uint8_t* data, std::size_t size, int) {
    return decodeImage(data, size);
}

std::vector<std::uint8_t> encodePNG(const Image& image, std::string* error) {
    return encode(image, false, 1.0, error);
}

std::vector<std::uint8_t> encodeJPEG(const Image& image, double quality, std::string* error) {
    return encode(image, true, std::clamp(quality, 0.0, 1.0), error);
}

}  // namespace brumelo
