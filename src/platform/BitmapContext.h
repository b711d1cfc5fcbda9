#pragma once

// An off-screen drawing surface with the phone's bitmap-context conventions: user space has its
// origin at the bottom-left with y up until transformed, the first row in memory is the top,
// and pictures are drawn upright into rectangles. Portable header; Cairo stays in the .cpp.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/AffineTransform.h"

class Image;

namespace brumelo {

class BitmapContext {
  public:
    enum class Format {
        RGBA,   // premultiplied R, G, B, A bytes
        RGBX,   // R, G, B and a skipped byte (written 255)
        Alpha,  // one alpha byte a pixel
        Gray,   // one grey byte a pixel, no alpha
    };

    // Starts cleared to zero. Throws std::invalid_argument for a size below 1 or absurdly large.
    BitmapContext(int width, int height, Format format);
    ~BitmapContext();
    BitmapContext(const BitmapContext&) = delete;
    BitmapContext& operator=(const BitmapContext&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    Format format() const { return format_; }

    // Each changes user space, as the phone's CTM operations do (applied before the current one).
    void translate(double x, double y);
    void scale(double sx, double sy);
    void rotate(double radians);
    void concat(const AffineTransform& transform);
    AffineTransform transform() const { return ctm_; }
    void saveState();
    void restoreState();

    // Rectangles in user space.
    void clearRect(double x, double y, double width, double height);
    void fillRect(double x, double y, double width, double height, double r, double g, double b,
                  double a);
    // The picture's top row at the rectangle's high-y edge; its orientation code is ignored.
    void drawImage(const Image& image, double x, double y, double width, double height);

    // Pixels in the layout of the format, rows top first, tightly packed.
    std::vector<std::uint8_t> bytes() const;
    // The content as a picture (straight alpha). Alpha kind: Last for RGBA, NoneSkipLast for
    // RGBX and Gray, Only for Alpha.
    Image makeImage() const;

    struct Impl;

  private:
    // User space (y up from the bottom-left) to device pixels (y down from the top-left).
    AffineTransform deviceTransform() const;

    int width_;
    int height_;
    Format format_;
    AffineTransform ctm_;
    std::vector<AffineTransform> saved_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace brumelo
