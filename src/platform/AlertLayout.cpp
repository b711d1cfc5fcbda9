// Where an alert's parts go. Portable: only the text measurement comes from the back end.

#include <algorithm>
#include <cmath>

#include "platform/AlertRenderer.h"

namespace brumelo {

using namespace alert_metrics;

AlertLayout layoutAlert(const AlertContent& content) {
    const double textWidth = kBoxWidth - 2 * kPadding;
    double height = kPadding;
    if (!content.title.empty())
        height += alertTextHeight(content.title, 18, true, textWidth) + kTextGap;
    if (!content.message.empty())
        height += alertTextHeight(content.message, 15, false, textWidth) + kTextGap;
    height += kTextGap;

    AlertLayout layout;
    const int n = static_cast<int>(content.buttons.size());
    layout.buttons.resize(static_cast<std::size_t>(n));
    const double left = (kScreenWidth - kBoxWidth) / 2 + kPadding;
    std::vector<AlertRect> rects;
    if (n == 2) {
        // Side by side, the cancel button on the left as a phone shows it.
        const int first = content.cancelButtonIndex == 1 ? 1 : 0;
        const double w = (textWidth - kButtonGap) / 2;
        layout.visualOrder = {first, 1 - first};
        layout.buttons[static_cast<std::size_t>(first)] = {left, height, w, kButtonHeight};
        layout.buttons[static_cast<std::size_t>(1 - first)] = {left + w + kButtonGap, height, w,
                                                               kButtonHeight};
        height += kButtonHeight;
    } else if (n > 0) {
        // Stacked, the cancel button last and set apart.
        for (int i = 0; i < n; ++i)
            if (i != content.cancelButtonIndex) layout.visualOrder.push_back(i);
        if (content.cancelButtonIndex >= 0 && content.cancelButtonIndex < n)
            layout.visualOrder.push_back(content.cancelButtonIndex);
        for (std::size_t k = 0; k < layout.visualOrder.size(); ++k) {
            const int i = layout.visualOrder[k];
            if (k > 0) height += kButtonGap + (i == content.cancelButtonIndex ? kCancelGap : 0);
            layout.buttons[static_cast<std::size_t>(i)] = {left, height, textWidth, kButtonHeight};
            height += kButtonHeight;
        }
    }
    height += kPadding;

    const double boxX = (kScreenWidth - kBoxWidth) / 2;
    const double boxY = std::max(4.0, std::round((kScreenHeight - height) / 2));
    layout.box = {boxX, boxY, kBoxWidth, height};
    for (auto& b : layout.buttons) b.y += boxY;
    return layout;
}

}  // namespace brumelo
