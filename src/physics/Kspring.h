#pragma once

#include <memory>

class Knode;

// A linear spring between two nodes. It has no motion of its own: update() turns the present
// stretch into equal and opposite forces on its nodes, which their next Euler step applies.
class Kspring {
  public:
    // At rest at creation, whatever the distance of its nodes; kDamp is clamped to 0..1.
    Kspring(std::shared_ptr<Knode> node1, std::shared_ptr<Knode> node2, double kHooke,
            double kDamp);
    static std::shared_ptr<Kspring> initWithNodes(std::shared_ptr<Knode> node1,
                                                  std::shared_ptr<Knode> node2, double kHooke,
                                                  double kDamp);

    void update();
    double currentDistance() const;
    void damp();
    // OpenGL ES 1.1 line from node1 to node2; the caller enables vertex and colour arrays.
    void draw(double d);

    double kHooke() const { return kHooke_; }
    void setKHooke(double v) { kHooke_ = v; }
    double kDamp() const { return kDamp_; }
    void setKDamp(double v);
    double restingDistance() const { return restingDistance_; }
    void setRestingDistance(double v) { restingDistance_ = v; }
    double initialRestingDistance() const { return initialRestingDistance_; }
    const std::shared_ptr<Knode>& node1() const { return node1_; }
    void setNode1(std::shared_ptr<Knode> n) { node1_ = std::move(n); }
    const std::shared_ptr<Knode>& node2() const { return node2_; }
    void setNode2(std::shared_ptr<Knode> n) { node2_ = std::move(n); }

  private:
    double kHooke_;
    // Held so that a spring never points at a node its world has already dropped.
    std::shared_ptr<Knode> node1_;
    std::shared_ptr<Knode> node2_;
    double kDamp_ = 0.0;
    double restingDistance_ = 0.0;
    double initialRestingDistance_ = 0.0;
};
