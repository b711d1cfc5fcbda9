#include "physics/Kworld.h"

#include <GLES/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "physics/Knode.h"
#include "physics/Krobot.h"
#include "physics/Kspring.h"
#include "physics/UpdateTimer.h"
#include "render/Viewport.h"

namespace {

void logLine(const char* text) { std::fprintf(stderr, "%s\n", text); }

void eraseNode(Kworld::NodeList& list, const Knode* node) {
    std::erase_if(list, [node](const std::shared_ptr<Knode>& n) { return n.get() == node; });
}

}  // namespace

Kworld::Kworld(Viewport* viewport) : mainViewport_(viewport) {}

std::shared_ptr<Kworld> Kworld::initializeWorld(Viewport* viewport) {
    return std::make_shared<Kworld>(viewport);
}

Kworld::~Kworld() {
    if (updateTimer_) updateTimer_->invalidate();
    // Nodes kept alive elsewhere (a spring, a subclass's list) must not reach back into a world
    // that is gone.
    for (const auto& node : nodes_) {
        if (node->world_ == this) node->world_ = nullptr;
    }
    for (const auto& node : objectsToRemove_) {
        if (node->world_ == this) node->world_ = nullptr;
    }
}

void Kworld::addExistingNode(std::shared_ptr<Knode> node) { nodes_.push_back(std::move(node)); }

void Kworld::addSpring(std::shared_ptr<Kspring> spring) { springs_.push_back(std::move(spring)); }

void Kworld::addRobot(std::shared_ptr<Krobot> robot) {
    // A robot's nodes usually joined this world when they were made; listing them twice would
    // step them twice per sub-step.
    for (const auto& node : robot->nodes()) {
        if (std::find(nodes_.begin(), nodes_.end(), node) == nodes_.end()) addExistingNode(node);
    }
    for (const auto& spring : robot->springs()) addSpring(spring);
    robots_.push_back(std::move(robot));
    recalculateMaxStepSize();
}

void Kworld::removeNode(Knode* node) {
    if (node) node->setRemoveFromWorld(true);
}

void Kworld::moveNode(_Vector3f /*position*/, bool /*flag*/) {}

void Kworld::releaseNode(_Vector3f /*position*/) {}

std::string Kworld::toString() const { return {}; }

_Vector3f Kworld::getGravityVector() { return gravity_; }

void Kworld::setGravityVector(_Vector3f v) {
    realGravity_ = v;
    setV3(&gravity_, v.x, v.y, 0.0);
}

void Kworld::clearTilt() { tilt_ = -std::numbers::pi / 4.0; }

void Kworld::recalculateMaxStepSize() {
    for (const auto& spring : springs_) {
        const double m = std::min(spring->node1()->mass(), spring->node2()->mass());
        const double omega = std::sqrt(spring->kHooke() / m);
        maxStepSize_ = std::min(maxStepSize_, 2.0 / omega);
    }
    maxStepSize_ /= 2.7;
}

void Kworld::updatePhysics(double interval, Viewport* viewport) {
    const double steps = std::trunc(interval / maxStepSize_ + 1.0);
    const double bestStepSize = interval / steps;
    if (!(bestStepSize <= maxStepSize_)) {
        std::fprintf(stderr,
                     "*** Assertion failure in -[Kworld updatePhysics::], Classes/Kworld:258: "
                     "bestStepSize <= maxStepSize\n");
        std::abort();
    }
    for (double i = 0; i < steps; i += 1.0) _updatePhysics(bestStepSize, viewport);
    t_ += interval;
    ++loops_;
}

void Kworld::_updatePhysics(double stepSize, Viewport* viewport) {
    if (!springs_.empty()) {
        updatePhysicsMidpoint(stepSize, viewport);
    } else {
        updatePhysicsNoSprings(stepSize, viewport);
    }
}

void Kworld::updatePhysicsNoSprings(double stepSize, Viewport* viewport) {
    checkRemoveNodes(viewport);
    for (const auto& node : nodes_) {
        node->updateSimpleEulerStepVFP_matrixWithGravity(stepSize, getGravityVector());
    }
    checkCollisions();
}

void Kworld::updatePhysicsMidpoint(double stepSize, Viewport* viewport) {
    checkRemoveNodes(viewport);
    for (const auto& node : nodes_) node->pushState();
    for (const auto& spring : springs_) spring->update();
    for (const auto& node : nodes_) {
        node->updateSimpleEulerStepVFP_matrixWithGravity(stepSize * 0.5, gravity_);
    }
    for (const auto& spring : springs_) spring->update();
    for (const auto& node : nodes_) node->popState();
    for (const auto& node : nodes_) {
        node->updateSimpleEulerStepVFP_matrixWithGravity(stepSize, gravity_);
    }
    checkCollisions();
}

void Kworld::setUpdateInterval(double seconds) {
    updateInterval_ = seconds;
    if (updateTimerRunning()) {
        stopUpdateTimer();
        startUpdateTimer();
    }
}

void Kworld::startUpdateTimer() {
    if (updateTimer_) updateTimer_->invalidate();
    updateTimer_ =
        brumelo::UpdateTimer::scheduledTimer(updateInterval_, [this] { internalUpdatePhysics(); });
}

void Kworld::stopUpdateTimer() {
    if (updateTimer_) updateTimer_->invalidate();
    updateTimer_.reset();
}

bool Kworld::updateTimerRunning() const { return updateTimer_ && updateTimer_->isValid(); }

void Kworld::internalUpdatePhysics() {
    const double now = brumelo::UpdateTimer::now();
    if (lastUpdateTime_ == 0.0) {
        lastUpdateTime_ = now;
        return;
    }
    updatePhysics(now - lastUpdateTime_, mainViewport_);
    lastUpdateTime_ = brumelo::UpdateTimer::now();
}

void Kworld::checkAddObjectToRemove(Knode* node) {
    if (node == nullptr) return;
    for (const auto& queued : objectsToRemove_) {
        if (queued.get() == node) return;
    }
    objectsToRemove_.push_back(node->shared_from_this());
}

void Kworld::checkRemoveNodes(Viewport* viewport) {
    // Index loop: a subclass's checkAddObjectToRemove must not be able to invalidate it.
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
        Knode* node = nodes_[i].get();
        if (viewport != nullptr && node->removeOffScreen() && !viewport->canSeeNode(node)) {
            node->setRemoveFromWorld(true);
        }
        if (node->removeFromWorld()) checkAddObjectToRemove(node);
    }
    if (objectsToRemove_.empty()) return;

    // Keep the queued nodes alive until they have left every list. The lists used here keep
    // their storage from one sub-step to the next.
    NodeList& queue = removing_;
    queue.swap(objectsToRemove_);
    if (queue.size() == 1) {
        eraseNode(nodes_, queue.front().get());
    } else {
        leaving_.clear();
        for (const auto& node : queue) leaving_.push_back(node.get());
        std::sort(leaving_.begin(), leaving_.end());
        std::erase_if(nodes_, [this](const std::shared_ptr<Knode>& n) {
            return std::binary_search(leaving_.begin(), leaving_.end(), n.get());
        });
    }
    for (const auto& node : queue) {
        removeNodeFromInterCollisionGroup(node.get());
        removeNodeFromIntraCollisionGroup(node.get());
    }
    queue.clear();
}

void Kworld::drawOnViewportTextured(Viewport* viewport, bool textured) {
    if (viewport == nullptr) return;
    viewport->setupView();
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    if (textured) {
        glEnable(GL_TEXTURE_2D);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glEnableClientState(GL_VERTEX_ARRAY);
    }
    const double scale = viewport->cameraPosition().z;
    for (const auto& node : nodes_) {
        if (node->removeFromWorld() || !viewport->canSeeNode(node.get())) continue;
        if (textured) {
            node->drawTextured();
        } else {
            node->draw(scale);
        }
    }
}

void Kworld::nodeInterCollisionGroupWillChange(Knode* node, std::int32_t group) {
    removeNodeFromInterCollisionGroup(node);
    if (group == kNoCollisionGroup) return;
    if (group < 0 || group > groupMax_) {
        logLine("setInterCollisionGroup group out of range");
        return;
    }
    while (interNodeCollisionGroups_.size() <= static_cast<std::size_t>(group)) {
        interNodeCollisionGroups_.emplace_back();
    }
    interNodeCollisionGroups_[static_cast<std::size_t>(group)].push_back(node->shared_from_this());
}

void Kworld::nodeIntraCollisionGroupWillChange(Knode* node, std::int32_t group) {
    removeNodeFromIntraCollisionGroup(node);
    addNodeToIntraCollisionGroup(node, group);
}

void Kworld::addNodeToIntraCollisionGroup(Knode* node, std::int32_t group) {
    if (group < 0) {
        logLine("setIntraCollisionGroup group < 0");
        return;
    }
    if (group > groupMax_) {
        logLine("setIntraCollisionGroup group > _GROUP_MAX");
        return;
    }
    while (intraNodeCollisionGroups_.size() <= static_cast<std::size_t>(group)) {
        if (spareGroups_.empty()) {
            intraNodeCollisionGroups_.emplace_back();
        } else {
            intraNodeCollisionGroups_.push_back(std::move(spareGroups_.back()));
            spareGroups_.pop_back();
        }
    }
    intraNodeCollisionGroups_[static_cast<std::size_t>(group)].push_back(node->shared_from_this());
}

void Kworld::removeNodeFromInterCollisionGroup(Knode* node) {
    const std::int32_t group = node->interCollisionGroup();
    if (group < 0 || static_cast<std::size_t>(group) >= interNodeCollisionGroups_.size()) return;
    eraseNode(interNodeCollisionGroups_[static_cast<std::size_t>(group)], node);
}

void Kworld::removeNodeFromIntraCollisionGroup(Knode* node) {
    const std::int32_t group = node->intraCollisionGroup();
    if (group < 0 || static_cast<std::size_t>(group) >= intraNodeCollisionGroups_.size()) return;
    eraseNode(intraNodeCollisionGroups_[static_cast<std::size_t>(group)], node);
}

void Kworld::clearAllIntraCollisionGroups() {
    // The lists are made again every frame: their storage waits for that.
    for (auto& group : intraNodeCollisionGroups_) {
        group.clear();
        spareGroups_.push_back(std::move(group));
    }
    intraNodeCollisionGroups_.clear();
}

void Kworld::checkCollisions() {
    for (const auto& node : nodes_) node->checkBounce();

    const std::size_t interCount = interNodeCollisionGroups_.size();
    for (std::size_t i = 0; i < interCount; ++i) {
        const NodeList& first = interNodeCollisionGroups_[i];
        if (first.empty()) continue;
        for (std::size_t j = i + 1; j < interCount; ++j) {
            const NodeList& second = interNodeCollisionGroups_[j];
            for (const auto& a : first) {
                for (const auto& b : second) a->collideWithNode(b.get());
            }
        }
    }

    for (const NodeList& group : intraNodeCollisionGroups_) {
        const std::size_t n = group.size();
        for (std::size_t p = 0; p + 1 < n; ++p) {
            Knode* a = group[p].get();
            for (std::size_t q = p + 1; q < n; ++q) a->collideWithNode(group[q].get());
        }
    }
}

std::shared_ptr<Knode> Kworld::getNearestNode(_Vector3f position, bool anchorsOnly) const {
    std::shared_ptr<Knode> nearest;
    double best = 999.0;
    for (const auto& node : nodes_) {
        if (node->invisible() || node->removeFromWorld()) continue;
        if (anchorsOnly && !node->anchor()) continue;
        const double dx = node->data[3] - position.x;
        const double dy = node->data[7] - position.y;
        const double distance = std::sqrt(dx * dx + dy * dy);
        if (distance < best) {
            best = distance;
            nearest = node;
        }
    }
    return nearest;
}
