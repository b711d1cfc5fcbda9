#pragma once

#include <cstdint>
#include <memory>

#include "physics/Knode.h"

class DropletsScreen;
class SurfaceTrack;

// A water drop on the glass: its size follows its mass, it gathers water as it runs, moves in
// fits and starts under gravity, merges into heavier drops it touches and leaves a clear trail.
class Droplet : public Knode {
  public:
    static constexpr std::int32_t kNoCell = -9999;

    // The droplet, already in the screen's world. Throws like Knode for a null screen.
    static std::shared_ptr<Droplet> initWithParams(float x, float y, float mass, std::int32_t color,
                                                   double airFriction, DropletsScreen* world);

    // Radius from the mass; the gravity factor is drawn afresh.
    void setMass(double m) override;
    // Records the present position in the trail.
    void makeTrack();
    void drawTrack();

    void updateSimpleEulerStepVFP_matrixWithGravity(double dt, _Vector3f gravity) override;
    // Merges into the heavier of the two (true), or pulls nearly touching drops together.
    bool collideWithNode(Knode* other) override;

    const std::shared_ptr<SurfaceTrack>& track() const { return track_; }
    std::int32_t bspIndexX() const { return bspIndexX_; }
    void setBspIndexX(std::int32_t v) { bspIndexX_ = v; }
    std::int32_t bspIndexY() const { return bspIndexY_; }
    void setBspIndexY(std::int32_t v) { bspIndexY_ = v; }

    static double radiusForMass(double m);

  private:
    Droplet(float x, float y, float mass, float radius, std::int32_t color,
            const std::shared_ptr<Texture2D>& texture, double airFriction, DropletsScreen* world,
            std::shared_ptr<SurfaceTrack> track);

    std::shared_ptr<SurfaceTrack> track_;
    std::int32_t bspIndexX_ = kNoCell;
    std::int32_t bspIndexY_ = kNoCell;
};
