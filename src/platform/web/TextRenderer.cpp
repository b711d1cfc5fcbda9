#include "platform/TextRenderer.h"

#include <algorithm>

#include "platform/web/Browser.h"

namespace brumelo {

std::vector<std::uint8_t> renderTextCoverage(const std::string& text, int width, int height,
                                             double boxWidth, double boxHeight, int alignment,
                                             const std::string& fontName, double fontSize) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(std::max(width, 0)) *
                                  static_cast<std::size_t>(std::max(height, 0)));
    if (width <= 0 || height <= 0) return out;
    brumelo_text_coverage(text.c_str(), width, height, boxWidth, boxHeight, alignment,
                          fontName.c_str(), fontSize, out.data());
    return out;
}

}  // namespace brumelo
