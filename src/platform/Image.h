#pragma once

// The program's picture: straight (not premultiplied) RGBA, 8 bits a channel, rows top first,
// 4 x width bytes a row. Portable: decoding and encoding live behind the functions below.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// How the picture's source described its alpha. The pixels are always RGBA; this decides what a
// texture keeps (none / skip kinds lose alpha, Only is a mask whose coverage is in A).
enum class ImageAlpha : std::int32_t {
    None = 0,
    PremultipliedLast = 1,
    PremultipliedFirst = 2,
    Last = 3,
    First = 4,
    NoneSkipLast = 5,
    NoneSkipFirst = 6,
    Only = 7,
};

// Which way the stored pixels must be turned to stand upright.
enum ImageOrientation : int {
    ImageOrientationUp = 0,
    ImageOrientationDown = 1,          // 180 degrees
    ImageOrientationLeft = 2,          // 90 degrees counter-clockwise
    ImageOrientationRight = 3,         // 90 degrees clockwise
    ImageOrientationUpMirrored = 4,    // flipped left to right
    ImageOrientationDownMirrored = 5,  // flipped top to bottom
    ImageOrientationLeftMirrored = 6,
    ImageOrientationRightMirrored = 7,
};

class Image {
  public:
    Image() = default;
    // rgba must hold width x height x 4 bytes (else std::invalid_argument).
    Image(int width, int height, std::vector<std::uint8_t> rgba,
          ImageAlpha alpha = ImageAlpha::Last, int orientation = ImageOrientationUp);
    // A picture of the given size filled with one colour.
    static Image filled(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b,
                        std::uint8_t a, ImageAlpha alpha = ImageAlpha::Last);

    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return width_ <= 0 || height_ <= 0; }
    ImageAlpha alphaInfo() const { return alpha_; }
    void setAlphaInfo(ImageAlpha alpha) { alpha_ = alpha; }
    bool isMask() const { return alpha_ == ImageAlpha::Only; }
    bool hasAlpha() const;  // premultiplied or straight alpha, or a mask
    int orientation() const { return orientation_; }
    void setOrientation(int orientation) { orientation_ = orientation; }

    const std::vector<std::uint8_t>& pixels() const { return pixels_; }
    std::vector<std::uint8_t>& pixels() { return pixels_; }
    // The colours over width x height pixels from (left, top), as an opaque surface keeps the
    // picture drawn unscaled: every alpha 255, black past the picture's edges.
    std::vector<std::uint8_t> opaqueArea(int left, int top, int width, int height) const;
    const std::uint8_t* pixel(int x, int y) const {
        return pixels_.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                                 static_cast<std::size_t>(x)) *
                                    4;
    }

  private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> pixels_;
    ImageAlpha alpha_ = ImageAlpha::Last;
    int orientation_ = ImageOrientationUp;
};

namespace brumelo {

// A picture or the reason there is none (a message to show the user or log).
struct ImageResult {
    std::shared_ptr<Image> image;
    std::string error;
    explicit operator bool() const { return image != nullptr; }
};

// Pictures larger than this many pixels are refused before their pixels are decoded.
constexpr std::uint64_t kMaxImagePixels = 100'000'000;

// PNG or JPEG, told apart by content. JPEG orientation comes from EXIF (0..7 as above); the
// pixels are kept as stored.
ImageResult decodeImage(const std::uint8_t* data, std::size_t size);
ImageResult decodeImage(const std::vector<std::uint8_t>& data);
ImageResult decodeImageFile(const std::string& path);
// The same, but a JPEG of more than kReduceFromPixels comes out scaled down by the decoder as far
// as it can while its shorter side keeps at least keepShorterSide pixels: a large photo never
// needs its full size in memory.
constexpr std::uint64_t kReduceFromPixels = 24'000'000;
ImageResult decodeImageReduced(const std::uint8_t* data, std::size_t size, int keepShorterSide);

// Empty on failure (with the reason in *error when given). Orientation is not written.
std::vector<std::uint8_t> encodePNG(const Image& image, std::string* error = nullptr);
// quality 0..1; alpha is dropped (composited on nothing: colour as stored).
std::vector<std::uint8_t> encodeJPEG(const Image& image, double quality,
                                     std::string* error = nullptr);
// Replaces a file whole or not at all (the old one stays on failure); the folder must exist. A
// link is written through, a device or pipe in place.
bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes,
               std::string* error = nullptr);

// The EXIF orientation tag value (1..8) as our orientation code; anything else is Up.
int orientationFromExif(int exifValue);

}  // namespace brumelo
