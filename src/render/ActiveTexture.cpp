#include "render/ActiveTexture.h"

#include "render/Texture2D.h"

std::shared_ptr<ActiveTexture> ActiveTexture::withTexturePositionIdentifier(
    const std::shared_ptr<Texture2D>& texture, brumelo::PointF position, int identifier) {
    if (!texture) return nullptr;
    auto button = std::make_shared<ActiveTexture>();
    button->texture_ = texture->clearOnRelease() ? texture : texture->makeCopy();
    button->rect_ = {position.x, position.y, static_cast<float>(texture->pixelsWide()),
                     static_cast<float>(texture->pixelsHigh())};
    button->identifier_ = identifier;
    button->visible_ = true;
    return button;
}

std::shared_ptr<ActiveTexture> ActiveTexture::fromString(const std::string& string, int width,
                                                         int height, int alignment, int fontSize,
                                                         int x, int y, int identifier) {
    auto texture = Texture2D::initWithStringDimensionsAlignmentFontNameFontSize(
        string, {static_cast<float>(width), static_cast<float>(height)}, alignment, "Arial",
        static_cast<float>(fontSize));
    return withTexturePositionIdentifier(texture, {static_cast<float>(x), static_cast<float>(y)},
                                         identifier);
}

void ActiveTexture::draw() const {
    if (visible_ && texture_) texture_->drawAtPoint(rect_.x, rect_.y);
}

bool ActiveTexture::checkTouch(brumelo::PointF point) const {
    if (!visible_) return false;
    return pointInRect(point.x, point.y, rect_.x, rect_.y, rect_.width, rect_.height) == 0;
}

void ActiveTexture::setTint(double r, double g, double b, double a) {
    if (texture_) texture_->setTint(r, g, b, a);
}
