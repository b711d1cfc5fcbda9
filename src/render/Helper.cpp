#include "render/Helper.h"

int pointInRect(float x, float y, float centerX, float centerY, float width, float height) {
    const double hw = static_cast<double>(width) * 0.5;
    const double hh = static_cast<double>(height) * 0.5;
    const double px = x, py = y, cx = centerX, cy = centerY;
    if (px > cx + hw) return 2;
    if (px < cx - hw) return 1;
    if (py > cy + hh) return 3;
    if (py < cy - hh) return 4;
    return 0;
}
