#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "physics/Knode.h"
#include "physics/Vector3f.h"

class Knode;
class Kspring;
class Krobot;
class Viewport;

namespace brumelo {
class UpdateTimer;
}

// The container and integrator: owns nodes, springs, robots and collision groups, advances them
// in bounded sub-steps, resolves contacts through the groups, removes nodes that asked to leave
// (always deferred to the start of the next sub-step) and draws them.
//
// Node arguments are plain pointers; the world takes its own reference (shared_from_this)
// wherever it keeps a node.
class Kworld {
  public:
    using NodeList = std::vector<std::shared_ptr<Knode>>;

    // `viewport` is referred to, not owned; it may be null (then nothing counts as off screen).
    explicit Kworld(Viewport* viewport);
    static std::shared_ptr<Kworld> initializeWorld(Viewport* viewport);
    virtual ~Kworld();

    Kworld(const Kworld&) = delete;
    Kworld& operator=(const Kworld&) = delete;

    // Contents.
    void addExistingNode(std::shared_ptr<Knode> node);
    void addSpring(std::shared_ptr<Kspring> spring);
    // Adds the robot's nodes that are not in the world yet, its springs, and lowers the bound.
    void addRobot(std::shared_ptr<Krobot> robot);
    // Marks the node; it leaves at the start of the next sub-step.
    virtual void removeNode(Knode* node);
    void moveNode(_Vector3f position, bool flag);
    void releaseNode(_Vector3f position);
    // No string form: always empty (the world has none).
    std::string toString() const;

    // Gravity and tilt.
    virtual _Vector3f getGravityVector();
    _Vector3f getRealGravityVector() const { return realGravity_; }
    void setGravityVector(_Vector3f v);
    void clearTilt();

    // Time stepping.
    virtual void updatePhysics(double interval, Viewport* viewport);
    void _updatePhysics(double stepSize, Viewport* viewport);
    void updatePhysicsMidpoint(double stepSize, Viewport* viewport);
    void updatePhysicsNoSprings(double stepSize, Viewport* viewport);
    void recalculateMaxStepSize();

    // The world's own timer (nothing starts it in the program; the frame loop steps the world).
    void setUpdateInterval(double seconds);
    void startUpdateTimer();
    void stopUpdateTimer();
    void internalUpdatePhysics();

    // Removal and drawing.
    virtual void checkAddObjectToRemove(Knode* node);
    void checkRemoveNodes(Viewport* viewport);
    virtual void drawOnViewportTextured(Viewport* viewport, bool textured);

    // Collision groups, told by the node setters before the node stores its new number.
    void nodeInterCollisionGroupWillChange(Knode* node, std::int32_t group);
    void nodeIntraCollisionGroupWillChange(Knode* node, std::int32_t group);
    // Adds to an intra group without changing the node's own number (a spatial grid cell).
    void addNodeToIntraCollisionGroup(Knode* node, std::int32_t group);
    void clearAllIntraCollisionGroups();
    void checkCollisions();
    // The closest visible node (anchored ones only, if asked) within 999 units, or null.
    std::shared_ptr<Knode> getNearestNode(_Vector3f position, bool anchorsOnly) const;

    // State.
    const NodeList& nodes() const { return nodes_; }
    const std::vector<std::shared_ptr<Kspring>>& springs() const { return springs_; }
    const std::vector<std::shared_ptr<Krobot>>& robots() const { return robots_; }
    const std::vector<NodeList>& interNodeCollisionGroups() const {
        return interNodeCollisionGroups_;
    }
    const std::vector<NodeList>& intraNodeCollisionGroups() const {
        return intraNodeCollisionGroups_;
    }
    const NodeList& objectsToRemove() const { return objectsToRemove_; }
    _Vector3f gravity() const { return gravity_; }
    double timescale() const { return timescale_; }
    void setTimescale(double v) { timescale_ = v; }
    std::int32_t collisions() const { return collisions_; }
    // The largest collision-group number this world takes: _GROUP_MAX unless a taller screen's
    // grid needs more rows of numbers.
    std::int32_t groupMax() const { return groupMax_; }
    void setGroupMax(std::int32_t v) { groupMax_ = std::max(v, _GROUP_MAX); }
    double maxStepSize() const { return maxStepSize_; }
    void setMaxStepSize(double v) { maxStepSize_ = v; }
    std::int32_t loops() const { return loops_; }
    double t() const { return t_; }
    double tilt() const { return tilt_; }
    Viewport* mainViewport() const { return mainViewport_; }
    double lastUpdateTime() const { return lastUpdateTime_; }
    double updateInterval() const { return updateInterval_; }
    bool updateTimerRunning() const;

  protected:
    void removeNodeFromInterCollisionGroup(Knode* node);
    void removeNodeFromIntraCollisionGroup(Knode* node);

    _Vector3f gravity_{0.0, 1.0, 0.0};
    _Vector3f realGravity_{0.0, 1.0, 0.0};
    NodeList nodes_;
    std::vector<std::shared_ptr<Kspring>> springs_;
    std::vector<std::shared_ptr<Krobot>> robots_;
    std::vector<NodeList> interNodeCollisionGroups_;
    std::vector<NodeList> intraNodeCollisionGroups_;
    NodeList objectsToRemove_;
    NodeList removing_;                  // the queue being emptied
    std::vector<const Knode*> leaving_;  // its nodes, sorted
    std::vector<NodeList> spareGroups_;  // emptied group lists, storage kept
    double timescale_ = 1.0;
    std::int32_t collisions_ = 0;
    double maxStepSize_ = 0.1;
    std::int32_t groupMax_ = _GROUP_MAX;
    std::int32_t loops_ = 0;
    double t_ = 0.0;
    double tilt_ = 0.0;
    Viewport* mainViewport_ = nullptr;
    double lastUpdateTime_ = 0.0;
    std::shared_ptr<brumelo::UpdateTimer> updateTimer_;
    double updateInterval_ = 0.0;
};
