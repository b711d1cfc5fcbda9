#include "render/Viewport.h"

#include <GLES/gl.h>

#include <cstdlib>

#include "physics/Knode.h"
#include "render/Globals.h"

namespace {

// The screen's centre in points; every conversion is relative to it.
int screenCenterX() { return paneSize().width / 2; }
int screenCenterY() { return paneSize().height / 2; }

}  // namespace

Viewport::Viewport(_Vector3f camera, int widthPixels, int heightPixels, int centerX, int centerY)
    : cameraPosition_(camera),
      width_(widthPixels),
      height_(heightPixels),
      screenLocationX_(centerX),
      screenLocationY_(centerY) {
    canManipulateWorld_ = true;
    canManipulateCamera_ = true;
    canManipulateViewport_ = true;
    setCameraPosition(camera);
    state_ = Inactive;
}

void Viewport::setCameraPosition(_Vector3f camera) {
    if (!canManipulateCamera_) return;
    cameraPosition_ = camera;
    const double x = camera.x, y = camera.y, z = camera.z;
    worldMaxY_ = height_ * z * 0.5 + y;
    worldMinY_ = (-z) * height_ * 0.5 + y;
    worldMaxX_ = width_ * z * 0.5 + x;
    worldMinX_ = (-z) * width_ * 0.5 + x;
}

void Viewport::setScreenPlacement(float centerX, float centerY, float width, float height) {
    if (!canManipulateViewport_) return;
    screenLocationX_ = static_cast<std::int32_t>(centerX);
    screenLocationY_ = static_cast<std::int32_t>(centerY);
    width_ = static_cast<std::int32_t>(width);
    height_ = static_cast<std::int32_t>(height);
    setCameraPosition(cameraPosition_);
}

void Viewport::setupView() const {
    const int hw = width_ / 2;
    const int hh = height_ / 2;
    const int l = (-width_) / 2;
    const int b = (-height_) / 2;
    glViewport(screenPixels(screenLocationX_ - hw + screenCenterX()),
               screenPixels(screenLocationY_ - hh + screenCenterY()), screenPixels(width_),
               screenPixels(height_));
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // Bottom and top swapped: world y grows down the screen.
    glOrthof(static_cast<GLfloat>(l), static_cast<GLfloat>(hw), static_cast<GLfloat>(hh),
             static_cast<GLfloat>(b), -1.0f, 1.0f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_POINT_SMOOTH);
    glDisable(GL_LINE_SMOOTH);
    glEnable(GL_BLEND);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glLineWidth(contentScaleFactor);
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glMatrixMode(GL_PROJECTION);
    const auto inverseZoom = static_cast<GLfloat>(1.0 / cameraPosition_.z);
    glScalef(inverseZoom, inverseZoom, 1.0f);
    glTranslatef(static_cast<GLfloat>(-cameraPosition_.x), static_cast<GLfloat>(-cameraPosition_.y),
                 0.5f);
    glMatrixMode(GL_MODELVIEW);
}

bool Viewport::canSeeNode(const Knode& node) const {
    const double x = static_cast<double>(node.data[3]);
    const double y = static_cast<double>(node.data[7]);
    const double r = node.radius();
    if (y - r > worldMaxY_) return false;
    if (y + r < worldMinY_) return false;
    if (x - r > worldMaxX_) return false;
    if (x + r < worldMinX_) return false;
    return true;
}

_Vector3f Viewport::screenToWorldCoordinates(int screenX, int screenY) const {
    const double z = cameraPosition_.z;
    const double x =
        static_cast<double>(screenX - screenCenterX() - screenLocationX_) * z + cameraPosition_.x;
    const double y =
        static_cast<double>(screenCenterY() - screenY - screenLocationY_) * z + cameraPosition_.y;
    if (x > worldMaxX_ || x < worldMinX_ || y > worldMaxY_ || y < worldMinY_) {
        return _Vector3f{0.0, 0.0, 0.0};
    }
    return _Vector3f{x, y, 0.0};
}

bool Viewport::insideViewport(int screenX, int screenY) const {
    const int dx = std::abs(screenX - screenCenterX() - screenLocationX_);
    const int dy = std::abs((screenCenterY() - screenY) - screenLocationY_);
    return dx <= width_ / 2 && dy <= height_ / 2;
}

void Viewport::rotateManipulationState() {
    state_ = (state_ + 1) & 3;
    if (state_ == Camera && !canManipulateCamera_) rotateManipulationState();
    if (state_ == World && !canManipulateWorld_) rotateManipulationState();
    if (state_ == ViewportPlacement && !canManipulateViewport_) rotateManipulationState();
}
