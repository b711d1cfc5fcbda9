#pragma once

// Lays out and paints a phone-style alert box. Portable interface; the layout is shared
// (AlertLayout.cpp), the text and the painting belong to the back end (Pango and Cairo here).

#include <cstdint>
#include <string>
#include <vector>

namespace brumelo {

struct AlertContent {
    std::string title;
    std::string message;
    std::vector<std::string> buttons;  // by button index
    int cancelButtonIndex = -1;        // -1: none
};

struct AlertRect {
    double x = 0, y = 0, width = 0, height = 0;
    bool contains(double px, double py) const {
        return px >= x && px < x + width && py >= y && py < y + height;
    }
};

// In screen points (320 x 480, origin top-left). Button rectangles are by button index and
// relative to the screen, not to the box.
struct AlertLayout {
    AlertRect box;
    std::vector<AlertRect> buttons;
    // Button indexes in the order they are seen (left to right, top to bottom): keyboard order.
    std::vector<int> visualOrder;
};

// The box and its buttons, in points.
namespace alert_metrics {
constexpr double kScreenWidth = 320, kScreenHeight = 480;
constexpr double kBoxWidth = 284, kPadding = 14, kTextGap = 8;
constexpr double kButtonHeight = 43, kButtonGap = 8, kCancelGap = 8, kRadius = 10;
}  // namespace alert_metrics

AlertLayout layoutAlert(const AlertContent& content);

// Height in points of the text wrapped to width, at size points (bold or not), in the alert's
// font.
double alertTextHeight(const std::string& text, double size, bool bold, double width);

// Premultiplied RGBA, rows top first, covering layout.box at pixelsPerPoint.
struct AlertPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};

// highlighted: the button under a finger (drawn lit); selected: the keyboard's button (ringed).
AlertPicture renderAlert(const AlertContent& content, const AlertLayout& layout,
                         double pixelsPerPoint, int highlighted, int selected);

}  // namespace brumelo
