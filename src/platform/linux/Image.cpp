#include "platform/Image.h"

#include <libexif/exif-data.h>
#include <png.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace brumelo {

namespace {

ImageResult failure(std::string reason) { return {nullptr, std::move(reason)}; }

std::string sizeRefusal(std::uint64_t width, std::uint64_t height) {
    return "picture too large: " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels (at most " + std::to_string(kMaxImagePixels / 1'000'000) + " megapixels)";
}

bool sizeAllowed(std::uint64_t width, std::uint64_t height) {
    // Sides beyond what an int holds are absurd whatever their product.
    return width > 0 && height > 0 && width <= 0x7fffffff && height <= 0x7fffffff &&
           width * height <= kMaxImagePixels;
}

ImageResult decodePNG(const std::uint8_t* data, std::size_t size) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, data, size)) {
        std::string reason = std::string("not a readable PNG picture: ") + png.message;
        png_image_free(&png);
        return failure(reason);
    }
    if (!sizeAllowed(png.width, png.height)) {
        png_image_free(&png);
        return failure(sizeRefusal(png.width, png.height));
    }
    const bool alpha = (png.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    png.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) {
        std::string reason = std::string("damaged PNG picture: ") + png.message;
        png_image_free(&png);
        return failure(reason);
    }
    const int width = static_cast<int>(png.width);
    const int height = static_cast<int>(png.height);
    png_image_free(&png);
    return {std::make_shared<Image>(width, height, std::move(pixels),
                                    alpha ? ImageAlpha::Last : ImageAlpha::None),
            {}};
}

int exifOrientation(const std::uint8_t* data, std::size_t size) {
    ExifData* exif = exif_data_new_from_data(data, static_cast<unsigned int>(size));
    if (exif == nullptr) return ImageOrientationUp;
    int code = ImageOrientationUp;
    if (ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION)) {
        if (entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 && entry->data) {
            code = orientationFromExif(exif_get_short(entry->data, exif_data_get_byte_order(exif)));
        }
    }
    exif_data_unref(exif);
    return code;
}

ImageResult decodeJPEG(const std::uint8_t* data, std::size_t size) {
    tjhandle handle = tjInitDecompress();
    if (handle == nullptr) return failure("cannot start the JPEG decoder");
    auto* bytes = const_cast<unsigned char*>(data);
    const auto length = static_cast<unsigned long>(size);
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(handle, bytes, length, &width, &height, &subsampling, &colorspace) !=
        0) {
        std::string reason = std::string("not a readable JPEG picture: ") + tjGetErrorStr2(handle);
        tjDestroy(handle);
        return failure(reason);
    }
    if (width <= 0 || height <= 0 ||
        !sizeAllowed(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height))) {
        tjDestroy(handle);
        return failure(sizeRefusal(static_cast<std::uint64_t>(std::max(width, 0)),
                                   static_cast<std::uint64_t>(std::max(height, 0))));
    }
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) *
                                     static_cast<std::size_t>(height) * 4);
    // A warning (a truncated file, for one) is a failure too: never show half a picture.
    if (tjDecompress2(handle, bytes, length, pixels.data(), width, 0, height, TJPF_RGBA,
                      TJFLAG_STOPONWARNING) != 0) {
        std::string reason = std::string("damaged JPEG picture: ") + tjGetErrorStr2(handle);
        tjDestroy(handle);
        return failure(reason);
    }
    tjDestroy(handle);
    return {std::make_shared<Image>(width, height, std::move(pixels), ImageAlpha::None,
                                    exifOrientation(data, size)),
            {}};
}

}  // namespace

ImageResult decodeImage(const std::uint8_t* data, std::size_t size) {
    static const std::uint8_t pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (data == nullptr || size == 0) return failure("empty picture file");
    if (size >= 8 && std::equal(pngSignature, pngSignature + 8, data)) return decodePNG(data, size);
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
        return decodeJPEG(data, size);
    }
    return failure("not a PNG or JPEG picture");
}

std::vector<std::uint8_t> encodePNG(const Image& image, std::string* error) {
    if (image.empty()) {
        if (error) *error = "empty picture";
        return {};
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width());
    png.height = static_cast<png_uint_32>(image.height());
    png.format = image.hasAlpha() ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    std::vector<std::uint8_t> rgb;
    const void* source = image.pixels().data();
    if (!image.hasAlpha()) {
        rgb.reserve(image.pixels().size() / 4 * 3);
        for (std::size_t i = 0; i < image.pixels().size(); i += 4) {
            rgb.insert(rgb.end(), image.pixels().begin() + static_cast<std::ptrdiff_t>(i),
                       image.pixels().begin() + static_cast<std::ptrdiff_t>(i + 3));
        }
        source = rgb.data();
    }
    png_alloc_size_t length = 0;
    if (!png_image_write_get_memory_size(png, length, 0, source, 0, nullptr)) {
        if (error) *error = std::string("PNG encoding failed: ") + png.message;
        png_image_free(&png);
        return {};
    }
    std::vector<std::uint8_t> out(length);
    if (!png_image_write_to_memory(&png, out.data(), &length, 0, source, 0, nullptr)) {
        if (error) *error = std::string("PNG encoding failed: ") + png.message;
        png_image_free(&png);
        return {};
    }
    png_image_free(&png);
    out.resize(length);
    return out;
}

std::vector<std::uint8_t> encodeJPEG(const Image& image, double quality, std::string* error) {
    if (image.empty()) {
        if (error) *error = "empty picture";
        return {};
    }
    tjhandle handle = tjInitCompress();
    if (handle == nullptr) {
        if (error) *error = "cannot start the JPEG encoder";
        return {};
    }
    const int q = static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100.0));
    unsigned char* jpeg = nullptr;
    unsigned long length = 0;
    const int status = tjCompress2(handle, image.pixels().data(), image.width(), 0, image.height(),
                                   TJPF_RGBA, &jpeg, &length, TJSAMP_420, std::max(q, 1), 0);
    std::vector<std::uint8_t> out;
    if (status == 0) {
        out.assign(jpeg, jpeg + length);
    } else if (error) {
        *error = std::string("JPEG encoding failed: ") + tjGetErrorStr2(handle);
    }
    tjFree(jpeg);
    tjDestroy(handle);
    return out;
}

}  // namespace brumelo
