#include "platform/InputMapping.h"

#include <algorithm>
#include <cmath>

namespace brumelo {

PaneSize paneForScreen(int screenWidth, int screenHeight) {
    if (screenWidth <= 0 || screenHeight <= 0) return {};
    const double shape = static_cast<double>(screenHeight) / screenWidth;
    auto even = [](double points) { return 2 * static_cast<int>(std::lround(points / 2)); };
    // A screen a million times longer than wide is no screen; the pane stays drawable.
    constexpr int kLongest = 4 * kScreenHeight;
    PaneSize pane;
    if (shape * kScreenWidth >= kScreenHeight)
        pane.height = std::clamp(even(kScreenWidth * shape), kScreenHeight, kLongest);
    else if (shape >= 1.0)
        pane.width = std::clamp(even(kScreenHeight / shape), kScreenWidth, kLongest);
    // A screen held sideways keeps the phone's pane upright, bars beside it.
    return pane;
}

Letterbox Letterbox::fit(int windowWidth, int windowHeight, int forcedScale, PaneSize pane) {
    Letterbox box;
    box.pane = pane;
    if (windowWidth <= 0 || windowHeight <= 0) {
        box.width = box.height = 0;
        return box;
    }
    int whole = std::min(windowWidth / pane.width, windowHeight / pane.height);
    if (forcedScale > 0) whole = std::min(whole, forcedScale);
    if (whole < 1) return fill(windowWidth, windowHeight, pane);
    box.width = pane.width * whole;
    box.height = pane.height * whole;
    box.x = (windowWidth - box.width) / 2;
    box.y = (windowHeight - box.height) / 2;
    return box;
}

Letterbox Letterbox::fill(int windowWidth, int windowHeight, PaneSize pane) {
    Letterbox box;
    box.pane = pane;
    if (windowWidth <= 0 || windowHeight <= 0) {
        box.width = box.height = 0;
        return box;
    }
    double s = std::min(static_cast<double>(windowWidth) / pane.width,
                        static_cast<double>(windowHeight) / pane.height);
    box.width = std::max(1, static_cast<int>(std::lround(pane.width * s)));
    box.height = std::max(1, static_cast<int>(std::lround(pane.height * s)));
    box.width = std::min(box.width, windowWidth);
    box.height = std::min(box.height, windowHeight);
    // A pane made for this window misses its shape by less than a point (its sides are whole
    // points): the picture stretches that little rather than leave a line of black.
    if (windowWidth - box.width < s) box.width = windowWidth;
    if (windowHeight - box.height < s) box.height = windowHeight;
    box.x = (windowWidth - box.width) / 2;
    box.y = (windowHeight - box.height) / 2;
    return box;
}

bool Letterbox::toPoints(double windowX, double windowY, double& pointX, double& pointY) const {
    if (width <= 0 || height <= 0) return false;
    double u = (windowX - x) / width;
    double v = (windowY - y) / height;
    if (u < 0 || v < 0 || u >= 1 || v >= 1) return false;
    pointX = u * pane.width;
    pointY = v * pane.height;
    return true;
}

int TapCounter::touchBegan(double t, double x, double y) {
    if (haveLast_ && t - lastTime_ <= kInterval && t >= lastTime_ &&
        std::hypot(x - lastX_, y - lastY_) <= kDistance) {
        return lastCount_ + 1;
    }
    return 1;
}

void TapCounter::touchEnded(double t, double x, double y, int tapCount, double startX,
                            double startY) {
    if (std::hypot(x - startX, y - startY) > kDistance) {
        haveLast_ = false;
        return;
    }
    haveLast_ = true;
    lastTime_ = t;
    lastX_ = x;
    lastY_ = y;
    lastCount_ = tapCount;
}

}  // namespace brumelo
