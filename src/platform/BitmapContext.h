#pragma once

// An off-screen drawing surface with the phone's bitmap-context conventions: user space has its
// origin at the bottom-left with y up until transformed, the first row in memory is the top,
// and pictures are drawn upright into rectangles. Portable header; Cairo stays in the .cpp.

#include <cstdint>
#include <memory>
#include <vector>

class Image;

namespace brumelo {

// x' = a x + c y + tx, y' = b x + d y + ty.
struct AffineTransform {
    double a = 1.0, b = 0.0, c = 0.0, d = 1.0, tx = 0.0, ty = 0.0;

    static AffineTransform identity() { return {}; }
    static AffineTransform translation(double x, double y) { return {1, 0, 0, 1, x, y}; }
    static AffineTransform scaling(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    static AffineTransform rotation(double radians);
    bool isIdentity() const {
        return a == 1.0 && b == 0.0 && c == 0.0 && d == 1.0 && tx == 0.0 && ty == 0.0;
    }
    // This transform applied first, then other.
    AffineTransform concat(const AffineTransform& other) const;
    AffineTransform translated(double x, double y) const { return translation(x, y).concat(*this); }
    AffineTransform scaled(double sx, double sy) const { return scaling(sx, sy).concat(*this); }
    AffineTransform rotated(double radians) const { return rotation(radians).concat(*this); }
};

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
    int width_;
    int height_;
    Format format_;
    AffineTransform ctm_;
    std::vector<AffineTransform> saved_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace brumelo
