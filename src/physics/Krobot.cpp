#include "physics/Krobot.h"

#include "physics/Knode.h"
#include "physics/Kspring.h"

std::shared_ptr<Krobot> Krobot::initializeRobot() { return std::make_shared<Krobot>(); }

void Krobot::addNode(std::shared_ptr<Knode> node) { nodes_.push_back(std::move(node)); }

void Krobot::addSpring(std::shared_ptr<Kspring> spring) { springs_.push_back(std::move(spring)); }

void Krobot::setGravityFactor(double factor) {
    for (const auto& node : nodes_) node->setGravityFactor(factor);
}

_Vector3f Krobot::position() const {
    _Vector3f p;
    clearV3(&p);
    if (nodes_.empty()) return p;
    for (const auto& node : nodes_) {
        p.x += static_cast<double>(node->data[3]);
        p.y += static_cast<double>(node->data[7]);
    }
    divideSelfV3(&p, static_cast<double>(nodes_.size()));
    return p;
}
