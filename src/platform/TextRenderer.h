#pragma once

// Text drawn as coverage: one byte a pixel, 255 where the glyphs are solid. Portable header;
// Pango and Cairo stay in the .cpp.

#include <cstdint>
#include <string>
#include <vector>

namespace brumelo {

// A width x height buffer (rows top first) with the text laid out from its top-left corner inside
// a box of boxWidth x boxHeight, wrapped at words, aligned 0 left, 1 centre, 2 right. The font is
// found by family name (fontconfig substitutes close matches); fontSize in pixels.
std::vector<std::uint8_t> renderTextCoverage(const std::string& text, int width, int height,
                                             double boxWidth, double boxHeight, int alignment,
                                             const std::string& fontName, double fontSize);

}  // namespace brumelo
