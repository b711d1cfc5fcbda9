// Alerts painted with Canvas 2D in the desktop's look: the same layout, colours and fonts.

#include "platform/AlertRenderer.h"

#include <algorithm>
#include <cmath>

#include "platform/web/Browser.h"

namespace brumelo {

namespace {
constexpr const char* kFamily = "'Liberation Sans', Arial, Helvetica, sans-serif";
}  // namespace

double alertTextHeight(const std::string& text, double size, bool bold, double width) {
    return brumelo_text_height(text.c_str(), kFamily, size, bold ? 1 : 0, width);
}

AlertPicture renderAlert(const AlertContent& content, const AlertLayout& layout,
                         double pixelsPerPoint, int highlighted, int selected) {
    AlertPicture picture;
    pixelsPerPoint = std::clamp(pixelsPerPoint, 0.25, 8.0);
    picture.width = std::max(1, static_cast<int>(std::ceil(layout.box.width * pixelsPerPoint)));
    picture.height = std::max(1, static_cast<int>(std::ceil(layout.box.height * pixelsPerPoint)));
    picture.rgba.resize(static_cast<std::size_t>(picture.width) *
                        static_cast<std::size_t>(picture.height) * 4);

    std::vector<double> geometry = {layout.box.x, layout.box.y, layout.box.width,
                                    layout.box.height};
    std::string labels;
    const std::size_t count = std::min(layout.buttons.size(), content.buttons.size());
    for (std::size_t i = 0; i < count; ++i) {
        const AlertRect& r = layout.buttons[i];
        geometry.insert(geometry.end(), {r.x, r.y, r.width, r.height});
        if (i > 0) labels += '\x1f';
        labels += content.buttons[i];
    }
    brumelo_alert_paint(content.title.c_str(), content.message.c_str(), labels.c_str(),
                        content.cancelButtonIndex, geometry.data(), static_cast<int>(count),
                        pixelsPerPoint, highlighted, selected, kFamily, alert_metrics::kPadding,
                        picture.width, picture.height, picture.rgba.data());
    return picture;
}

}  // namespace brumelo
