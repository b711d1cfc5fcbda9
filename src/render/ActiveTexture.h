#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "render/Helper.h"

class Texture2D;

// A textured button: a texture centred at a point, with an identifier, that can be shown,
// hidden, tinted and hit-tested. Its hit area is the texture's full power-of-two size.
class ActiveTexture {
  public:
    ActiveTexture() { initTexture(); }

    // Takes over a text texture (clearOnRelease) as it is; any other texture is copied so that
    // the button's tint is its own. Visible. nullptr without a texture.
    static std::shared_ptr<ActiveTexture> withTexturePositionIdentifier(
        const std::shared_ptr<Texture2D>& texture, brumelo::PointF position, int identifier);
    // The string as white "Arial" text in a width x height box, centred at (x, y).
    static std::shared_ptr<ActiveTexture> fromString(const std::string& string, int width,
                                                     int height, int alignment, int fontSize, int x,
                                                     int y, int identifier);

    void initTexture() { visible_ = true; }
    void draw() const;
    bool checkTouch(brumelo::PointF point) const;
    void setTint(double r, double g, double b, double a);

    bool visible() const { return visible_; }
    void setVisible(bool visible) { visible_ = visible; }
    int identifier() const { return identifier_; }
    void setIdentifier(int identifier) { identifier_ = identifier; }
    const std::shared_ptr<Texture2D>& texture() const { return texture_; }
    void setTexture(std::shared_ptr<Texture2D> texture) { texture_ = std::move(texture); }
    brumelo::RectF rect() const { return rect_; }
    void setRect(brumelo::RectF rect) { rect_ = rect; }
    double vx() const { return vx_; }
    void setVx(double v) { vx_ = v; }
    double vy() const { return vy_; }
    void setVy(double v) { vy_ = v; }

  private:
    std::shared_ptr<Texture2D> texture_;
    brumelo::RectF rect_{};
    std::int32_t identifier_ = 0;
    bool visible_ = true;
    double vx_ = 0.0;
    double vy_ = 0.0;
};
