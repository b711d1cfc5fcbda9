// The parts of BitmapContext that every drawing back end shares: the transform stack and the
// pixels as a picture. Each back end keeps its device in step through concat().

#include <algorithm>
#include <cstring>

#include "platform/BitmapContext.h"
#include "platform/Image.h"

namespace brumelo {

AffineTransform BitmapContext::deviceTransform() const {
    return ctm_.concat({1, 0, 0, -1, 0, static_cast<double>(height_)});
}

void BitmapContext::translate(double x, double y) { concat(AffineTransform::translation(x, y)); }
void BitmapContext::scale(double sx, double sy) { concat(AffineTransform::scaling(sx, sy)); }
void BitmapContext::rotate(double radians) { concat(AffineTransform::rotation(radians)); }

void BitmapContext::saveState() { saved_.push_back(ctm_); }

void BitmapContext::restoreState() {
    if (saved_.empty()) return;
    ctm_ = saved_.back();
    saved_.pop_back();
    concat(AffineTransform::identity());
}

Image BitmapContext::makeImage() const {
    const std::vector<std::uint8_t> raw = bytes();
    const std::size_t n = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    std::vector<std::uint8_t> rgba(n * 4);
    const ImageAlpha kind = format_ == Format::RGBA    ? ImageAlpha::Last
                            : format_ == Format::Alpha ? ImageAlpha::Only
                                                       : ImageAlpha::NoneSkipLast;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t* o = rgba.data() + 4 * i;
        switch (format_) {
            case Format::RGBA: {
                const std::uint8_t a = raw[4 * i + 3];
                for (int c = 0; c < 3; ++c) {
                    o[c] = a == 0 ? 0
                                  : static_cast<std::uint8_t>(
                                        std::min(255u, (raw[4 * i + c] * 255u + a / 2u) / a));
                }
                o[3] = a;
                break;
            }
            case Format::RGBX:
                std::memcpy(o, raw.data() + 4 * i, 3);
                o[3] = 255;
                break;
            case Format::Gray:
                o[0] = o[1] = o[2] = raw[i];
                o[3] = 255;
                break;
            case Format::Alpha:
                o[0] = o[1] = o[2] = 0;
                o[3] = raw[i];
                break;
        }
    }
    return Image(width_, height_, std::move(rgba), kind);
}

}  // namespace brumelo
