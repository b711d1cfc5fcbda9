#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <utility>

#include "physics/Recycler.h"
#include "physics/Vector3f.h"

class Kworld;
class Texture2D;

// Collision-group numbers run from 0 to _GROUP_MAX; this value means "no group".
constexpr std::int32_t _GROUP_MAX = 120;
constexpr std::int32_t kNoCollisionGroup = -9999;

// A disc of the physics engine. Its motion lives in the state matrix `data` (row-major, rows x
// and y; columns force, gravity, velocity, position): position at data[3], data[7], velocity at
// data[2], data[6]. Other classes read and write those elements directly.
//
// A node belongs to one world, which owns it. Creation goes through a factory that constructs
// the node and then hands it to its world; a subclass does the same:
//
//     std::shared_ptr<Droplet> Droplet::initDroplet(...) {
//         std::shared_ptr<Droplet> d(new Droplet(ctor args...));
//         addToWorld(d);                   // the world now holds it
//         d->setInterCollisionGroup(...);  // anything that needs the world comes after
//         return d;
//     }
//
// (Knode::create<T>(args...) does the first two lines when T's constructor is reachable.)
//
// Constructors must not call the group setters: the world keeps shared references to its
// nodes, which exist only once construction has finished.
class Knode : public std::enable_shared_from_this<Knode> {
  public:
    // Throws std::invalid_argument("Initialization of Knode with nil Kworld reference") without
    // touching any world when `world` is null. z is ignored. The texture is copied.
    static std::shared_ptr<Knode> initWithParams(float x, float y, float z, float mass,
                                                 float radius, std::int32_t color,
                                                 const std::shared_ptr<Texture2D>& texture,
                                                 double airFriction, Kworld* world);
    virtual ~Knode();

    Knode(const Knode&) = delete;
    Knode& operator=(const Knode&) = delete;

    // Integration. The world calls the first one for every node at every sub-step.
    virtual void updateSimpleEulerStepVFP_matrixWithGravity(double dt, _Vector3f gravity);
    void updateSimpleEulerStepVFP_matrix(double dt);
    void updateSimpleEulerStepVFP_matrix_OLD(double dt, _Vector3f gravity);
    // Advances two nodes with one product; ignores anchors and the zero-gravity shortcut.
    static void doubleUpdateSimpleEulerStepVFP(double dt, _Vector3f gravity, Knode* a, Knode* b);
    void clearForces();
    void setVelocity(double vx, double vy);

    // Bounds.
    void checkBounce();
    void checkRemove();
    void setBounceOnRect(bool on);
    void setRemoveOnExitRect(bool on);

    // Contacts, saved state and forces.
    virtual bool collideWithNode(Knode* other);
    void pushState();
    void popState();
    void accumulatePushXY(double fx, double fy);

    // Collision groups: out-of-range numbers are logged and become kNoCollisionGroup; the world
    // is told before the new number is stored.
    void setIntraCollisionGroup(std::int32_t group);
    void setInterCollisionGroup(std::int32_t group);
    std::int32_t intraCollisionGroup() const { return intraCollisionGroup_; }
    std::int32_t interCollisionGroup() const { return interCollisionGroup_; }

    // Drawing (OpenGL ES 1.1; the world prepares the client arrays). `cameraScale` is world
    // units per pixel.
    void draw(double cameraScale);
    void drawTextured();
    void drawTextured_ROTATE();
    void drawTransparent();
    // The box drawTextured covers, in world units; nullopt when it draws nothing.
    struct Bounds {
        float minX, minY, maxX, maxY;
    };
    std::optional<Bounds> texturedBounds() const;
    // 0..255 values, handed to the node's own texture copy.
    void setTint(double r, double g, double b, double a);

    // The world this node belongs to; null once that world is gone.
    Kworld* world() const { return world_; }

    double radius() const { return radius_; }
    void setRadius(double v) { radius_ = v; }
    double mass() const { return mass_; }
    virtual void setMass(double v) { mass_ = v; }
    std::int32_t color() const { return color_; }
    bool anchor() const { return anchor_; }
    void setAnchor(bool v) { anchor_ = v; }
    bool invisible() const { return invisible_; }
    void setInvisible(bool v) { invisible_ = v; }
    bool removeFromWorld() const { return removeFromWorld_; }
    void setRemoveFromWorld(bool v) { removeFromWorld_ = v; }
    _Vector3f airFriction() const { return airFriction_; }
    void setAirFriction(_Vector3f v) { airFriction_ = v; }
    double collisionFriction() const { return collisionFriction_; }
    void setCollisionFriction(double v) { collisionFriction_ = v; }
    double elasticity() const { return elasticity_; }
    void setElasticity(double v) { elasticity_ = v; }
    double speedDamp() const { return speedDamp_; }
    void setSpeedDamp(double v) { speedDamp_ = v; }
    double gravityFactor() const { return gravityFactor_; }
    void setGravityFactor(double v) { gravityFactor_ = v; }
    double maxVelocity() const { return maxVelocity_; }
    void setMaxVelocity(double v) { maxVelocity_ = v; }
    double angularVelocity() const { return angularVelocity_; }
    void setAngularVelocity(double v) { angularVelocity_ = v; }
    double angularPosition() const { return angularPosition_; }
    void setAngularPosition(double v) { angularPosition_ = v; }
    double textureSizeFactorX() const { return textureSizeFactorX_; }
    void setTextureSizeFactorX(double v) { textureSizeFactorX_ = v; }
    double textureSizeFactorY() const { return textureSizeFactorY_; }
    void setTextureSizeFactorY(double v) { textureSizeFactorY_ = v; }
    const std::shared_ptr<Texture2D>& texture() const { return texture_; }

    bool bounceTop() const { return bounceTop_; }
    void setBounceTop(bool v) { bounceTop_ = v; }
    bool bounceBottom() const { return bounceBottom_; }
    void setBounceBottom(bool v) { bounceBottom_ = v; }
    bool bounceLeft() const { return bounceLeft_; }
    void setBounceLeft(bool v) { bounceLeft_ = v; }
    bool bounceRight() const { return bounceRight_; }
    void setBounceRight(bool v) { bounceRight_ = v; }
    bool removeTop() const { return removeTop_; }
    void setRemoveTop(bool v) { removeTop_ = v; }
    bool removeBottom() const { return removeBottom_; }
    void setRemoveBottom(bool v) { removeBottom_ = v; }
    bool removeLeft() const { return removeLeft_; }
    void setRemoveLeft(bool v) { removeLeft_ = v; }
    bool removeRight() const { return removeRight_; }
    void setRemoveRight(bool v) { removeRight_ = v; }
    bool removeOffScreen() const { return removeOffScreen_; }
    void setRemoveOffScreen(bool v) { removeOffScreen_ = v; }
    bool bounceOffScreen() const { return bounceOffScreen_; }
    void setBounceOffScreen(bool v) { bounceOffScreen_ = v; }

    double bounceTopLimit() const { return bounceTopLimit_; }
    void setBounceTopLimit(double v) { bounceTopLimit_ = v; }
    double bounceBottomLimit() const { return bounceBottomLimit_; }
    void setBounceBottomLimit(double v) { bounceBottomLimit_ = v; }
    double bounceLeftLimit() const { return bounceLeftLimit_; }
    void setBounceLeftLimit(double v) { bounceLeftLimit_ = v; }
    double bounceRightLimit() const { return bounceRightLimit_; }
    void setBounceRightLimit(double v) { bounceRightLimit_ = v; }
    double removeTopLimit() const { return removeTopLimit_; }
    void setRemoveTopLimit(double v) { removeTopLimit_ = v; }
    double removeBottomLimit() const { return removeBottomLimit_; }
    void setRemoveBottomLimit(double v) { removeBottomLimit_ = v; }
    double removeLeftLimit() const { return removeLeftLimit_; }
    void setRemoveLeftLimit(double v) { removeLeftLimit_ = v; }
    double removeRightLimit() const { return removeRightLimit_; }
    void setRemoveRightLimit(double v) { removeRightLimit_ = v; }

    _Vector3f pushedPosition() const { return pushedPosition_; }
    _Vector3f pushedVelocity() const { return pushedVelocity_; }

    // The state matrix: one product with the step matrix advances both axes.
    alignas(16) float data[16];

  protected:
    // Sets every field; does not join the world (see create). Throws on a null world.
    Knode(float x, float y, float z, float mass, float radius, std::int32_t color,
          const std::shared_ptr<Texture2D>& texture, double airFriction, Kworld* world);

    // Hands a freshly made node to its world (addExistingNode), which keeps a reference.
    static void addToWorld(const std::shared_ptr<Knode>& node);

    // Constructs T (a Knode or subclass) and hands it to its world. Node and bookkeeping come
    // from recycled storage: a stroke makes and drops its marks by the thousand.
    template <class T, class... Args>
    static std::shared_ptr<T> create(Args&&... args) {
        void* block = brumelo::recycledAllocate(sizeof(T));
        T* made = nullptr;
        try {
            made = new (block) T(std::forward<Args>(args)...);
        } catch (...) {
            brumelo::recycledFree(block, sizeof(T));
            throw;
        }
        std::shared_ptr<T> node(
            made,
            [](T* gone) {
                gone->~T();
                brumelo::recycledFree(gone, sizeof(T));
            },
            brumelo::RecyclingAllocator<T>());
        addToWorld(node);
        return node;
    }

  private:
    friend class Kworld;

    void bounceVertically();
    void bounceHorizontally();

    _Vector3f pushedPosition_{};
    _Vector3f pushedVelocity_{};
    Kworld* world_ = nullptr;
    double radius_ = 0.0;
    double mass_ = 0.0;
    std::int32_t color_ = 0;
    bool anchor_ = false;
    bool invisible_ = false;
    _Vector3f airFriction_{};
    double collisionFriction_ = 0.0;
    double elasticity_ = 1.0;
    double speedDamp_ = 0.0;
    std::shared_ptr<Texture2D> texture_;
    bool removeFromWorld_ = false;
    double angularVelocity_ = 0.0;
    double angularPosition_ = 0.0;
    bool bounceTop_ = true, bounceBottom_ = true, bounceLeft_ = true, bounceRight_ = true;
    bool removeTop_ = true, removeBottom_ = true, removeLeft_ = true, removeRight_ = true;
    bool removeOffScreen_ = true;
    bool bounceOffScreen_ = true;
    double bounceTopLimit_ = 9999.0, bounceBottomLimit_ = -9999.0;
    double bounceLeftLimit_ = -9999.0, bounceRightLimit_ = 9999.0;
    double removeTopLimit_ = 9999.0, removeBottomLimit_ = -9999.0;
    double removeLeftLimit_ = -9999.0, removeRightLimit_ = 9999.0;
    double gravityFactor_ = 0.0;
    double maxVelocity_ = 0.0;
    double textureSizeFactorX_ = 2.75;
    double textureSizeFactorY_ = 2.75;
    std::int32_t interCollisionGroup_ = kNoCollisionGroup;
    std::int32_t intraCollisionGroup_ = kNoCollisionGroup;
};
