// The parts of the picture type and its files that do not depend on the codecs: the picture
// itself, reading and writing whole files, EXIF orientation codes. Shared by every back end;
// the codecs (decodeImage of bytes, encodePNG, encodeJPEG) are each back end's.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "platform/Image.h"
#include "platform/PictureFiles.h"

Image::Image(int width, int height, std::vector<std::uint8_t> rgba, ImageAlpha alpha,
             int orientation)
    : width_(width),
      height_(height),
      pixels_(std::move(rgba)),
      alpha_(alpha),
      orientation_(orientation) {
    if (width < 0 || height < 0 ||
        pixels_.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4) {
        throw std::invalid_argument("picture pixels do not match its size");
    }
}

Image Image::filled(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b,
                    std::uint8_t a, ImageAlpha alpha) {
    const std::size_t n = static_cast<std::size_t>(std::max(width, 0)) *
                          static_cast<std::size_t>(std::max(height, 0));
    std::vector<std::uint8_t> rgba(n * 4);
    for (std::size_t i = 0; i < n; ++i) {
        rgba[4 * i] = r;
        rgba[4 * i + 1] = g;
        rgba[4 * i + 2] = b;
        rgba[4 * i + 3] = a;
    }
    return Image(width, height, std::move(rgba), alpha);
}

std::vector<std::uint8_t> Image::opaqueArea(int left, int top, int width, int height) const {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * height * 4, 0);
    for (std::size_t i = 3; i < out.size(); i += 4) out[i] = 255;
    const int x0 = std::max(0, -left), x1 = std::min(width, width_ - left);
    for (int y = std::max(0, -top); y < std::min(height, height_ - top); ++y) {
        const std::uint8_t* from = pixel(x0 + left, y + top);
        std::uint8_t* to = out.data() + (static_cast<std::size_t>(y) * width + x0) * 4;
        for (int x = x0; x < x1; ++x, from += 4, to += 4) {
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
        }
    }
    return out;
}

bool Image::hasAlpha() const {
    switch (alpha_) {
        case ImageAlpha::PremultipliedLast:
        case ImageAlpha::PremultipliedFirst:
        case ImageAlpha::Last:
        case ImageAlpha::First:
        case ImageAlpha::Only:
            return true;
        default:
            return false;
    }
}

namespace brumelo {

namespace {
ImageResult failure(std::string reason) { return {nullptr, std::move(reason)}; }
}  // namespace

int orientationFromExif(int exifValue) {
    switch (exifValue) {
        case 1:
            return ImageOrientationUp;
        case 2:
            return ImageOrientationUpMirrored;
        case 3:
            return ImageOrientationDown;
        case 4:
            return ImageOrientationDownMirrored;
        case 5:
            return ImageOrientationLeftMirrored;
        case 6:
            return ImageOrientationRight;
        case 7:
            return ImageOrientationRightMirrored;
        case 8:
            return ImageOrientationLeft;
        default:
            return ImageOrientationUp;
    }
}

ImageResult decodeImage(const std::vector<std::uint8_t>& data) {
    return decodeImage(data.data(), data.size());
}

ImageResult decodeImageFile(const std::string& path) {
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) return failure("cannot open " + path);
    // No picture we accept needs more bytes than its pixels uncompressed. A pipe has no length:
    // it is read to its end.
    const long length = std::fseek(in, 0, SEEK_END) == 0 ? std::ftell(in) : -1;
    if (length > static_cast<long>(kMaxImagePixels * 4)) {
        std::fclose(in);
        return failure(path + ": file too large for a picture");
    }
    std::vector<std::uint8_t> data;
    if (length >= 0) {
        std::rewind(in);
        data.reserve(static_cast<std::size_t>(length));
    }
    std::uint8_t buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
        data.insert(data.end(), buffer, buffer + n);
    const bool bad = std::ferror(in) != 0;
    std::fclose(in);
    if (bad) return failure("cannot read " + path);
    ImageResult result = decodeImage(data);
    if (!result) result.error = path + ": " + result.error;
    return result;
}

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes,
               std::string* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path target = path;
    if (fs::is_symlink(target, ec)) target = fs::weakly_canonical(target, ec);
    const fs::file_status status = fs::status(target, ec);
    std::string why;
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        // A device or a pipe is written as it is; a folder fails here.
        if (FILE* out = std::fopen(target.c_str(), "wb")) {
            const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
            if (std::fclose(out) == 0 && written) return true;
        }
        why = fs::is_directory(status) ? "a folder" : "not writable";
    } else if (!target.parent_path().empty() && !fs::is_directory(target.parent_path(), ec)) {
        // Unlike the stored background's, a missing folder is the caller's mistake: not made.
        why = "no such folder";
    } else if (writeFileAtomically(target.string(), bytes, &why)) {
        // Whole or not at all: a full disk never leaves half a picture where an old one was.
        return true;
    } else if (why.rfind(target.string() + ": ", 0) == 0) {
        why.erase(0, target.string().size() + 2);
    }
    if (error) *error = "cannot write " + path + " (" + why + ")";
    return false;
}

}  // namespace brumelo
