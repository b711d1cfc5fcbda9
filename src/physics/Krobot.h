#pragma once

#include <memory>
#include <vector>

#include "physics/Vector3f.h"

class Knode;
class Kspring;

// A body made of nodes and the springs between them, added to a world in one call.
class Krobot {
  public:
    Krobot() = default;
    static std::shared_ptr<Krobot> initializeRobot();

    void addNode(std::shared_ptr<Knode> node);
    void addSpring(std::shared_ptr<Kspring> spring);
    // Sets the factor on every node; the robot's own field stays as it was.
    void setGravityFactor(double factor);
    double gravityFactor() const { return gravityFactor_; }
    // The mean position of the nodes, (0, 0, 0) without nodes.
    _Vector3f position() const;

    const std::vector<std::shared_ptr<Knode>>& nodes() const { return nodes_; }
    const std::vector<std::shared_ptr<Kspring>>& springs() const { return springs_; }

  private:
    double gravityFactor_ = 0.0;
    std::vector<std::shared_ptr<Knode>> nodes_;
    std::vector<std::shared_ptr<Kspring>> springs_;
};
