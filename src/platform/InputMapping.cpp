#include "platform/InputMapping.h"

#include <algorithm>
#include <cmath>

namespace brumelo {

Letterbox Letterbox::fit(int windowWidth, int windowHeight, int forcedScale) {
    Letterbox box;
    if (windowWidth <= 0 || windowHeight <= 0) {
        box.width = box.height = 0;
        return box;
    }
    int whole = std::min(windowWidth / kScreenWidth, windowHeight / kScreenHeight);
    if (forcedScale > 0) whole = std::min(whole, forcedScale);
    if (whole < 1) return fill(windowWidth, windowHeight);
    box.width = kScreenWidth * whole;
    box.height = kScreenHeight * whole;
    box.x = (windowWidth - box.width) / 2;
    box.y = (windowHeight - box.height) / 2;
    return box;
}

Letterbox Letterbox::fill(int windowWidth, int windowHeight) {
    Letterbox box;
    if (windowWidth <= 0 || windowHeight <= 0) {
        box.width = box.height = 0;
        return box;
    }
    double s = std::min(static_cast<double>(windowWidth) / kScreenWidth,
                        static_cast<double>(windowHeight) / kScreenHeight);
    box.width = std::max(1, static_cast<int>(std::lround(kScreenWidth * s)));
    box.height = std::max(1, static_cast<int>(std::lround(kScreenHeight * s)));
    box.width = std::min(box.width, windowWidth);
    box.height = std::min(box.height, windowHeight);
    box.x = (windowWidth - box.width) / 2;
    box.y = (windowHeight - box.height) / 2;
    return box;
}

bool Letterbox::toPoints(double windowX, double windowY, double& pointX, double& pointY) const {
    if (width <= 0 || height <= 0) return false;
    double u = (windowX - x) / width;
    double v = (windowY - y) / height;
    if (u < 0 || v < 0 || u >= 1 || v >= 1) return false;
    pointX = u * kScreenWidth;
    pointY = v * kScreenHeight;
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
