#pragma once

#include <cstdint>
#include <memory>

#include "physics/Vector3f.h"

class Knode;

// A rectangle of the screen (the pane, 320 x 480 on the phone) with a 2-D camera on the physics
// world. Every conversion below is relative to the screen's centre, (160, 240) on the phone.
class Viewport {
  public:
    // The four manipulation states rotateManipulationState steps through.
    enum State : std::int32_t { Inactive = 0, Camera = 1, ViewportPlacement = 2, World = 3 };

    // Camera (x, y: world point at the viewport's centre; z: world units per pixel), size in
    // pixels and the centre's offset from the screen centre (y positive upward).
    Viewport(_Vector3f camera, int widthPixels, int heightPixels, int centerX, int centerY);
    static std::shared_ptr<Viewport> initViewportWithCameraWidthPixelsHeightPixelsCenterXCenterY(
        _Vector3f camera, int widthPixels, int heightPixels, int centerX, int centerY) {
        return std::make_shared<Viewport>(camera, widthPixels, heightPixels, centerX, centerY);
    }

    // Does nothing while the camera is locked; otherwise recomputes the visible world box.
    void setCameraPosition(_Vector3f camera);
    _Vector3f cameraPosition() const { return cameraPosition_; }

    // centre x offset, centre y offset, width, height; truncated to int. Ignored while locked.
    void setScreenPlacement(float centerX, float centerY, float width, float height);

    // GL viewport, projection (world y grows down the screen) and drawing state for a world.
    void setupView() const;

    // A node touching the edge of the visible box counts as visible.
    bool canSeeNode(const Knode& node) const;
    bool canSeeNode(const Knode* node) const { return node != nullptr && canSeeNode(*node); }

    // Screen point (top-left origin, y down) to world; y of the result grows upward from the
    // viewport centre. (0, 0, 0) when outside the visible box.
    _Vector3f screenToWorldCoordinates(int screenX, int screenY) const;
    // Edges count as inside.
    bool insideViewport(int screenX, int screenY) const;

    void rotateManipulationState();
    void setInactive() { state_ = Inactive; }

    int width() const { return width_; }
    int height() const { return height_; }
    int screenLocationX() const { return screenLocationX_; }
    int screenLocationY() const { return screenLocationY_; }
    double worldMaxY() const { return worldMaxY_; }
    double worldMinY() const { return worldMinY_; }
    double worldMaxX() const { return worldMaxX_; }
    double worldMinX() const { return worldMinX_; }

    std::int32_t state() const { return state_; }
    void setState(std::int32_t state) { state_ = state; }
    bool canManipulateWorld() const { return canManipulateWorld_; }
    void setCanManipulateWorld(bool value) { canManipulateWorld_ = value; }
    bool canManipulateCamera() const { return canManipulateCamera_; }
    void setCanManipulateCamera(bool value) { canManipulateCamera_ = value; }
    bool canManipulateViewport() const { return canManipulateViewport_; }
    void setCanManipulateViewport(bool value) { canManipulateViewport_ = value; }

  private:
    _Vector3f cameraPosition_{};
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    double worldMaxY_ = 0.0;
    double worldMinY_ = 0.0;
    double worldMaxX_ = 0.0;
    double worldMinX_ = 0.0;
    std::int32_t screenLocationX_ = 0;
    std::int32_t screenLocationY_ = 0;
    std::int32_t state_ = Inactive;
    bool canManipulateWorld_ = true;
    bool canManipulateCamera_ = true;
    bool canManipulateViewport_ = true;
};
