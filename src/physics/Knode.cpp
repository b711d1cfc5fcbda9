#include "physics/Knode.h"

#include <GLES/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <stdexcept>

#include "physics/Kworld.h"
#include "physics/matrix_impl.h"
#include "render/Globals.h"
#include "render/Texture2D.h"

namespace {

constexpr float kOrigin[3] = {0.0f, 0.0f, 0.0f};
constexpr GLubyte kSmokeColors[4] = {205, 122, 122, 60};

void logLine(const char* text) { std::fprintf(stderr, "%s\n", text); }

// Rows 2 and 3 of the step matrix carry velocity into position; rows 0 and 1 add force and
// gravity to both.
void setStepCoefficients(float* m, double dt, double mass, double gravityFactor) {
    const float a = static_cast<float>(dt / mass);
    const float b = static_cast<float>(dt * gravityFactor);
    m[2] = a;
    m[6] = b;
    m[3] = static_cast<float>((dt * 0.5) * a);
    m[7] = static_cast<float>((dt * 0.5) * b);
    m[11] = static_cast<float>(dt);
}

}  // namespace

Knode::Knode(float x, float y, float /*z*/, float mass, float radius, std::int32_t color,
             const std::shared_ptr<Texture2D>& texture, double airFriction, Kworld* world) {
    if (world == nullptr)
        throw std::invalid_argument("Initialization of Knode with nil Kworld reference");
    world_ = world;
    std::fill(std::begin(data), std::end(data), 0.0f);
    data[3] = x;
    data[7] = y;
    mass_ = mass;
    radius_ = radius;
    color_ = color;
    if (texture) texture_ = texture->makeCopy();
    setV3(&airFriction_, airFriction, airFriction, airFriction);
}

Knode::~Knode() = default;

std::shared_ptr<Knode> Knode::initWithParams(float x, float y, float z, float mass, float radius,
                                             std::int32_t color,
                                             const std::shared_ptr<Texture2D>& texture,
                                             double airFriction, Kworld* world) {
    return create<Knode>(x, y, z, mass, radius, color, texture, airFriction, world);
}

void Knode::addToWorld(const std::shared_ptr<Knode>& node) {
    if (node && node->world_) node->world_->addExistingNode(node);
}

void Knode::updateSimpleEulerStepVFP_matrixWithGravity(double dt, _Vector3f gravity) {
    if (gravityFactor_ == 0.0) {
        updateSimpleEulerStepVFP_matrix(dt);
        return;
    }
    if (anchor_) return;
    alignas(16) float m[16] = {0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    setStepCoefficients(m, dt, mass_, gravityFactor_);
    data[1] = static_cast<float>(gravity.x);
    data[5] = static_cast<float>(gravity.y);
    Matrix4Mul(data, m, data);
}

void Knode::updateSimpleEulerStepVFP_matrix(double dt) {
    if (anchor_) return;
    alignas(16) float m[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const float a = static_cast<float>(dt / mass_);
    m[2] = a;
    m[3] = static_cast<float>((dt * 0.5) * a);
    m[11] = static_cast<float>(dt);
    Matrix4Mul(data, m, data);
}

void Knode::updateSimpleEulerStepVFP_matrix_OLD(double dt, _Vector3f gravity) {
    if (anchor_) return;
    // Columns 0 and 1 of the product are the new velocity and position.
    alignas(16) float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 1, 0, 1, 0, 0, 1, 0, 1};
    const float a = static_cast<float>(dt / mass_);
    const float b = static_cast<float>(dt * gravityFactor_);
    m[0] = a;
    m[1] = static_cast<float>((dt * 0.5) * a);
    m[4] = b;
    m[5] = static_cast<float>((dt * 0.5) * b);
    m[9] = static_cast<float>(dt);
    data[1] = static_cast<float>(gravity.x);
    data[5] = static_cast<float>(gravity.y);
    alignas(16) float t[16];
    Matrix4Mul(data, m, t);
    data[2] = t[0];
    data[6] = t[4];
    data[3] = t[1];
    data[7] = t[5];
    data[0] = 0.0f;
    data[4] = 0.0f;
    checkBounce();
}

void Knode::doubleUpdateSimpleEulerStepVFP(double dt, _Vector3f gravity, Knode* a, Knode* b) {
    const float gx = static_cast<float>(gravity.x), gy = static_cast<float>(gravity.y);
    alignas(16) float s[16] = {
        a->data[0], gx, a->data[2], a->data[3], a->data[4], gy, a->data[6], a->data[7],
        b->data[0], gx, b->data[2], b->data[3], b->data[4], gy, b->data[6], b->data[7],
    };
    alignas(16) float m[16] = {1, 0, 1, 0, 0, 1, 0, 1, 1, 0, 1, 0, 0, 1, 0, 1};
    const double massA = a->mass(), massB = b->mass();
    const float aa = static_cast<float>(dt / massA);
    const float ba = static_cast<float>(dt * a->gravityFactor());
    const float ab = static_cast<float>(dt / massB);
    const float bb = static_cast<float>(dt * b->gravityFactor());
    const float fdt = static_cast<float>(dt);
    m[0] = aa;
    m[1] = static_cast<float>((dt * 0.5) * aa);
    m[4] = ba;
    m[5] = static_cast<float>((dt * 0.5) * ba);
    m[9] = fdt;
    m[2] = ab;
    m[3] = static_cast<float>((dt * 0.5) * ab);
    m[6] = bb;
    m[7] = static_cast<float>((dt * 0.5) * bb);
    m[11] = fdt;
    alignas(16) float t[16];
    Matrix4Mul(s, m, t);
    a->data[2] = t[0];
    a->data[6] = t[4];
    a->data[3] = t[1];
    a->data[7] = t[5];
    b->data[2] = t[10];
    b->data[6] = t[14];
    b->data[3] = t[11];
    b->data[7] = t[15];
    a->clearForces();
    b->clearForces();
}

void Knode::clearForces() {
    data[0] = 0.0f;
    data[4] = 0.0f;
}

void Knode::setVelocity(double vx, double vy) {
    data[2] = static_cast<float>(vx);
    data[6] = static_cast<float>(vy);
}

void Knode::checkBounce() {
    const double r = radius_;
    const double y = data[7];
    if (bounceBottom_ && y - r < bounceBottomLimit_) {
        data[7] = static_cast<float>(bounceBottomLimit_ + r);
        bounceVertically();
    } else if (bounceTop_ && y + r > bounceTopLimit_) {
        data[7] = static_cast<float>(bounceTopLimit_ - r);
        bounceVertically();
    }
    const double x = data[3];
    if (bounceLeft_ && x - r < bounceLeftLimit_) {
        data[3] = static_cast<float>(bounceLeftLimit_ + r);
        bounceHorizontally();
    } else if (bounceRight_ && x + r > bounceRightLimit_) {
        data[3] = static_cast<float>(bounceRightLimit_ - r);
        bounceHorizontally();
    }
}

void Knode::bounceVertically() {
    data[6] = static_cast<float>(data[6] * -elasticity_);
    data[2] = static_cast<float>(data[2] * (1.0 - collisionFriction_));
}

void Knode::bounceHorizontally() {
    data[2] = static_cast<float>(data[2] * -elasticity_);
    data[6] = static_cast<float>(data[6] * (1.0 - collisionFriction_));
}

void Knode::checkRemove() {
    const double r = radius_;
    const double x = data[3], y = data[7];
    if (removeBottom_ && y - r < removeBottomLimit_) {
        removeFromWorld_ = true;
    } else if (removeTop_ && y + r > removeTopLimit_) {
        removeFromWorld_ = true;
    }
    if (removeLeft_ && x - r < removeLeftLimit_) {
        removeFromWorld_ = true;
    } else if (removeRight_ && x + r > removeRightLimit_) {
        removeFromWorld_ = true;
    }
}

void Knode::setBounceOnRect(bool on) {
    bounceTop_ = bounceBottom_ = bounceLeft_ = bounceRight_ = on;
}

void Knode::setRemoveOnExitRect(bool on) {
    removeTop_ = removeBottom_ = removeLeft_ = removeRight_ = on;
}

bool Knode::collideWithNode(Knode* other) {
    if (other == nullptr) return false;
    if (invisible_ || other->invisible_) return false;
    if (anchor_ || other->anchor_) return false;
    if (other == this) return false;

    _Vector3f d{static_cast<double>(data[3] - other->data[3]),
                static_cast<double>(data[7] - other->data[7]), 0.0};
    const double dist = lengthV3(&d);
    const double reach = radius_ + other->radius_;
    if (!(dist < reach)) return false;

    const double theta = getAngleXYrads(&d);
    const double overlap = reach - dist;
    const double pushX = std::cos(theta) * overlap;
    const double pushY = std::sin(theta) * overlap;
    const double total = mass_ + other->mass_;
    const double wA = mass_ / total;
    const double wB = other->mass_ / total;

    data[3] = static_cast<float>(data[3] + wB * (pushX * 1.1));
    data[7] = static_cast<float>(data[7] + wB * (pushY * 1.1));
    other->data[3] = static_cast<float>(other->data[3] - wA * (pushX * 1.1));
    other->data[7] = static_cast<float>(other->data[7] - wA * (pushY * 1.1));

    // Coincident centres have no normal: they are pushed apart along +x above and keep their
    // velocities rather than turning them into not-a-number.
    if (dist == 0.0) return true;

    _Vector3f n = d;
    divideSelfV3(&n, dist);
    _Vector3f rv{static_cast<double>(data[2] - other->data[2]),
                 static_cast<double>(data[6] - other->data[6]), 0.0};
    const double k = std::fabs(dotV3(&rv, &n));
    const double jx = n.x * k, jy = n.y * k;
    data[2] = static_cast<float>(data[2] + wB * jx);
    data[6] = static_cast<float>(data[6] + wB * jy);
    other->data[2] = static_cast<float>(other->data[2] - wA * jx);
    other->data[6] = static_cast<float>(other->data[6] - wA * jy);
    return true;
}

void Knode::pushState() {
    pushedPosition_.x = data[3];
    pushedPosition_.y = data[7];
    pushedVelocity_.x = data[2];
    pushedVelocity_.y = data[6];
}

void Knode::popState() {
    data[3] = static_cast<float>(pushedPosition_.x);
    data[7] = static_cast<float>(pushedPosition_.y);
    data[2] = static_cast<float>(pushedVelocity_.x);
    data[6] = static_cast<float>(pushedVelocity_.y);
}

void Knode::accumulatePushXY(double fx, double fy) {
    data[0] = static_cast<float>(data[0] + fx);
    data[4] = static_cast<float>(data[4] + fy);
}

void Knode::setIntraCollisionGroup(std::int32_t group) {
    if (group == intraCollisionGroup_) return;
    if (group < 0) {
        logLine("setIntraCollisionGroup group < 0");
        group = kNoCollisionGroup;
    } else if (group > (world_ ? world_->groupMax() : _GROUP_MAX)) {
        logLine("setIntraCollisionGroup group > _GROUP_MAX");
        group = kNoCollisionGroup;
    }
    if (world_) world_->nodeIntraCollisionGroupWillChange(this, group);
    intraCollisionGroup_ = group;
}

void Knode::setInterCollisionGroup(std::int32_t group) {
    if (group == interCollisionGroup_) return;
    if (group < 0) {
        logLine("setInterCollisionGroup group < 0");
        group = kNoCollisionGroup;
    } else if (group > (world_ ? world_->groupMax() : _GROUP_MAX)) {
        logLine("setInterCollisionGroup group > _GROUP_MAX");
        group = kNoCollisionGroup;
    }
    if (world_) world_->nodeInterCollisionGroupWillChange(this, group);
    interCollisionGroup_ = group;
}

void Knode::draw(double cameraScale) {
    if (invisible_) return;
    GLubyte rgba[4] = {255, 255, 255, 255};
    switch (color_) {
        case 0:
            rgba[1] = rgba[2] = 0;
            break;
        case 1:
            rgba[0] = rgba[2] = 0;
            break;
        case 2:
            rgba[0] = rgba[1] = 0;
            break;
        default:
            break;  // any other index draws white
    }
    glPointSize(static_cast<GLfloat>(std::max(2.0 * radius_ / cameraScale, 2.0)) *
                contentScaleFactor);
    glVertexPointer(3, GL_FLOAT, 0, kOrigin);
    glColorPointer(4, GL_UNSIGNED_BYTE, 0, rgba);
    glPushMatrix();
    glTranslatef(data[3], data[7], 0.0f);
    glDrawArrays(GL_POINTS, 0, 1);
    glPopMatrix();
}

namespace {

void drawNodeTexture(const Knode& node, bool rotateBack) {
    const Texture2D* tex = node.texture().get();
    if (tex == nullptr) return;
    const double s =
        node.radius() / (0.5 * static_cast<double>(tex->pixelsWide() + tex->pixelsHigh()));
    const auto angle = static_cast<GLfloat>(node.angularPosition());
    glPushMatrix();
    glTranslatef(node.data[3], node.data[7], 0.0f);
    glRotatef(angle, 0.0f, 0.0f, 1.0f);
    glScalef(static_cast<GLfloat>(s * node.textureSizeFactorX()),
             static_cast<GLfloat>(s * node.textureSizeFactorY()), 0.0f);
    if (rotateBack) glRotatef(-angle, 0.0f, 0.0f, 1.0f);
    tex->drawAtPoint(0.0f, 0.0f);
    glPopMatrix();
}

}  // namespace

void Knode::drawTextured() {
    if (invisible_) return;
    drawNodeTexture(*this, true);
}

std::optional<Knode::Bounds> Knode::texturedBounds() const {
    const Texture2D* tex = texture_.get();
    if (invisible_ || tex == nullptr) return std::nullopt;
    // The transform drawNodeTexture hands GL: rotate, scale, rotate back.
    const double s = radius_ / (0.5 * static_cast<double>(tex->pixelsWide() + tex->pixelsHigh()));
    const double sx = s * textureSizeFactorX_, sy = s * textureSizeFactorY_;
    const double a = angularPosition_ * std::numbers::pi / 180.0;
    const double c = std::cos(a), n = std::sin(a);
    const double m00 = c * c * sx + n * n * sy, m01 = c * n * (sx - sy);
    const double m11 = n * n * sx + c * c * sy;
    const double hw = 0.5 * tex->drawnSize().width, hh = 0.5 * tex->drawnSize().height;
    const double ex = std::abs(m00) * hw + std::abs(m01) * hh;
    const double ey = std::abs(m01) * hw + std::abs(m11) * hh;
    return Bounds{static_cast<float>(data[3] - ex), static_cast<float>(data[7] - ey),
                  static_cast<float>(data[3] + ex), static_cast<float>(data[7] + ey)};
}

void Knode::drawTextured_ROTATE() {
    if (invisible_) return;
    drawNodeTexture(*this, false);
}

void Knode::drawTransparent() {
    glPointSize(static_cast<GLfloat>(2.0 * radius_ * 6300.0));
    glVertexPointer(3, GL_FLOAT, 0, kOrigin);
    glColorPointer(4, GL_UNSIGNED_BYTE, 0, kSmokeColors);
    glPushMatrix();
    glTranslatef(data[3], data[7], 0.0f);
    glDrawArrays(GL_POINTS, 0, 1);
    glPopMatrix();
}

void Knode::setTint(double r, double g, double b, double a) {
    if (texture_) texture_->setTint(r, g, b, a);
}
