#include "steam/Droplet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "physics/Random.h"
#include "render/Globals.h"
#include "render/Texture2D.h"
#include "steam/DropletsScreen.h"
#include "steam/SurfaceTrack.h"

namespace {

int percentDraw() { return static_cast<int>(brumelo::randomFraction() * 100.0f); }

}  // namespace

double Droplet::radiusForMass(double m) {
    return static_cast<double>(std::sqrt(static_cast<float>(m))) * 3000.0 / 31.0;
}

Droplet::Droplet(float x, float y, float mass, float radius, std::int32_t color,
                 const std::shared_ptr<Texture2D>& texture, double airFriction,
                 DropletsScreen* world, std::shared_ptr<SurfaceTrack> track)
    : Knode(x, y, 0.0f, mass, radius, color, texture, airFriction, world),
      track_(std::move(track)) {}

std::shared_ptr<Droplet> Droplet::initWithParams(float x, float y, float mass, std::int32_t color,
                                                 double airFriction, DropletsScreen* world) {
    float r = static_cast<float>(radiusForMass(mass));
    const std::shared_ptr<Texture2D>& picture =
        (brumelo::random() & 1) ? _textures[2] : _textures[3];
    if (picture) picture->setTint(255, 255, 255, 110);
    auto track = SurfaceTrack::initTrackWithSoundFromPoint(world, false, {x, y, 0.0});
    std::shared_ptr<Droplet> droplet(
        new Droplet(x, y, mass, r, color, picture, airFriction, world, std::move(track)));
    addToWorld(droplet);
    return droplet;
}

void Droplet::setMass(double m) {
    Knode::setMass(m);
    setRadius(radiusForMass(m));
    int k = static_cast<int>(brumelo::randomFraction() * 600.0f);
    setGravityFactor((m / 0.0015) * (400 + k));
}

void Droplet::makeTrack() {
    track_->addPointWithRadius({static_cast<double>(data[3]), static_cast<double>(data[7]), 0.0},
                               radius());
}

void Droplet::drawTrack() { track_->draw(); }

void Droplet::updateSimpleEulerStepVFP_matrixWithGravity(double dt, _Vector3f g) {
    Knode::updateSimpleEulerStepVFP_matrixWithGravity(dt, g);
    double gravityLength2 = g.x * g.x + g.y * g.y;
    float speed = std::sqrt(data[2] * data[2] + data[6] * data[6]);
    setMass(mass() + speed * 2e-07);
    if (!anchor()) {
        double vx = data[2], vy = data[6];
        double v = std::sqrt(vx * vx + vy * vy);
        if (v > 3.0) setAngularPosition(std::atan2(vy, vx) * 180.0 / std::numbers::pi);
        setTextureSizeFactorX((v * 0.0014 + 1.0) * 2.75);
    }
    if (gravityLength2 > 0) {
        int a = percentDraw();
        if (a <= 88) return;
        int b = percentDraw();
        if (b <= 92) {
            data[2] *= 0.55f;
            data[6] *= 0.55f;
        } else {
            data[2] += brumelo::randomFraction() * 50.0f - 25.0f;
            data[6] += brumelo::randomFraction() * 50.0f - 25.0f;
        }
    }
}

bool Droplet::collideWithNode(Knode* other) {
    if (other == this) {
        std::fprintf(stderr, "WARNING: collide with self\n");
        return false;
    }
    if (!other || removeFromWorld() || other->removeFromWorld()) return false;

    float dx = data[3] - other->data[3];
    float dy = data[7] - other->data[7];
    double dist = std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy);

    Knode* big = other->mass() > mass() ? other : this;
    Knode* small = big == this ? other : this;
    double total = big->mass() + small->mass();
    double fBig = big->mass() / total;
    double fSmall = small->mass() / total;
    double reach = radius() + other->radius();

    if (dist < reach) {
        big->setMass(total);
        big->data[2] = static_cast<float>(fBig * big->data[2] + fSmall * small->data[2]);
        big->data[6] = static_cast<float>(fBig * big->data[6] + fSmall * small->data[6]);
        if (DropletsScreen* screen = track_->dscreen()) screen->removeNode(small);
        return true;
    }
    double gap = dist - reach;
    if (gap < 0.002) {
        double k = std::max(0.0, std::min(5.0, 0.002 / (gap * gap)));
        other->accumulatePushXY(dx * (total * k), dy * (total * k));
        accumulatePushXY(dx * (-total * k), dy * (-total * k));
    }
    return false;
}
