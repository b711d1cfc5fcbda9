#include "physics/Kspring.h"

#include <GLES/gl.h>

#include <algorithm>
#include <cmath>

#include "physics/Knode.h"

namespace {
// Dark blue at node1 shading to light blue at node2.
constexpr GLubyte kLineColors[8] = {20, 20, 140, 255, 100, 100, 255, 255};
}  // namespace

Kspring::Kspring(std::shared_ptr<Knode> node1, std::shared_ptr<Knode> node2, double kHooke,
                 double kDamp)
    : kHooke_(kHooke), node1_(std::move(node1)), node2_(std::move(node2)) {
    setKDamp(kDamp);
    restingDistance_ = initialRestingDistance_ = currentDistance();
}

std::shared_ptr<Kspring> Kspring::initWithNodes(std::shared_ptr<Knode> node1,
                                                std::shared_ptr<Knode> node2, double kHooke,
                                                double kDamp) {
    return std::make_shared<Kspring>(std::move(node1), std::move(node2), kHooke, kDamp);
}

void Kspring::update() {
    const double dx = node2_->data[3] - node1_->data[3];
    const double dy = node2_->data[7] - node1_->data[7];
    const double length = std::sqrt(dx * dx + dy * dy);
    if (!(length > 0.0)) return;
    const double f = (length - restingDistance_) * kHooke_ / length;
    const double fx = dx * f, fy = dy * f;
    node1_->accumulatePushXY(fx, fy);
    node2_->accumulatePushXY(-fx, -fy);
}

double Kspring::currentDistance() const {
    const double dx = node2_->data[3] - node1_->data[3];
    const double dy = node2_->data[7] - node1_->data[7];
    return std::sqrt(dx * dx + dy * dy);
}

void Kspring::damp() {}

void Kspring::setKDamp(double v) { kDamp_ = std::max(0.0, std::min(1.0, v)); }

void Kspring::draw(double d) {
    if (node1_->invisible() || node2_->invisible()) return;
    glLineWidth(static_cast<GLfloat>(0.0006 / d));
    const GLfloat vertices[6] = {node1_->data[3], node1_->data[7], 0.0f,
                                 node2_->data[3], node2_->data[7], 0.0f};
    glVertexPointer(3, GL_FLOAT, 0, vertices);
    glColorPointer(4, GL_UNSIGNED_BYTE, 0, kLineColors);
    glDrawArrays(GL_LINES, 0, 2);
}
