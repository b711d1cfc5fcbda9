#include <gtest/gtest.h>

#include "physics/Knode.h"
#include "physics/Krobot.h"
#include "physics/Kspring.h"
#include "physics/Kworld.h"

namespace {

std::shared_ptr<Knode> makeNode(Kworld& world, float x, float y) {
    return Knode::initWithParams(x, y, 0, 1, 1, 0, nullptr, 0.0, &world);
}

}  // namespace

TEST(Kspring, PullsAndPushesTowardsItsRestLength) {
    Kworld world(nullptr);
    auto a = makeNode(world, 0, 0);
    auto b = makeNode(world, 3, 4);
    auto spring = Kspring::initWithNodes(a, b, 2.0, 0.5);
    EXPECT_DOUBLE_EQ(spring->restingDistance(), 5.0);
    EXPECT_DOUBLE_EQ(spring->initialRestingDistance(), 5.0);
    spring->update();  // at rest at creation
    EXPECT_EQ(a->data[0], 0.0f);
    EXPECT_EQ(b->data[4], 0.0f);

    spring->setRestingDistance(4.0);
    spring->update();
    EXPECT_FLOAT_EQ(a->data[0], 1.2f);
    EXPECT_FLOAT_EQ(a->data[4], 1.6f);
    EXPECT_FLOAT_EQ(b->data[0], -1.2f);
    EXPECT_FLOAT_EQ(b->data[4], -1.6f);
    EXPECT_DOUBLE_EQ(spring->initialRestingDistance(), 5.0);
}

TEST(Kspring, CoincidentNodesGetNoForceAndDampIsClamped) {
    Kworld world(nullptr);
    auto a = makeNode(world, 1, 1);
    auto b = makeNode(world, 1, 1);
    auto spring = Kspring::initWithNodes(a, b, 10.0, 1.5);
    EXPECT_EQ(spring->kDamp(), 1.0);
    spring->setKDamp(-0.2);
    EXPECT_EQ(spring->kDamp(), 0.0);
    spring->setRestingDistance(3.0);
    spring->update();
    EXPECT_EQ(a->data[0], 0.0f);
    EXPECT_EQ(a->data[4], 0.0f);
}

TEST(Kspring, KeepsItsNodesAliveAfterTheWorldDropsThem) {
    Kworld world(nullptr);
    auto spring = Kspring::initWithNodes(makeNode(world, 0, 0), makeNode(world, 0, 10), 1, 0);
    for (const auto& n : world.nodes()) world.removeNode(n.get());
    world.checkRemoveNodes(nullptr);
    EXPECT_TRUE(world.nodes().empty());
    EXPECT_DOUBLE_EQ(spring->currentDistance(), 10.0);
}

TEST(Krobot, PositionIsTheMeanAndTheFactorReachesEveryNode) {
    Kworld world(nullptr);
    auto robot = Krobot::initializeRobot();
    _Vector3f p = robot->position();
    EXPECT_EQ(p.x, 0.0);
    EXPECT_EQ(p.y, 0.0);
    robot->addNode(makeNode(world, 0, 0));
    robot->addNode(makeNode(world, 2, 0));
    robot->addNode(makeNode(world, 4, 6));
    p = robot->position();
    EXPECT_DOUBLE_EQ(p.x, 2.0);
    EXPECT_DOUBLE_EQ(p.y, 2.0);
    EXPECT_EQ(p.z, 0.0);
    robot->setGravityFactor(0.5);
    for (const auto& n : robot->nodes()) EXPECT_EQ(n->gravityFactor(), 0.5);
    EXPECT_EQ(robot->gravityFactor(), 0.0);
}

TEST(Krobot, AddingToItsOwnWorldListsEachNodeOnce) {
    Kworld world(nullptr);
    Kworld other(nullptr);
    auto robot = Krobot::initializeRobot();
    auto a = makeNode(world, 0, 0);
    auto b = makeNode(world, 0, 10);
    auto stranger = makeNode(other, 5, 5);
    robot->addNode(a);
    robot->addNode(b);
    robot->addNode(stranger);
    robot->addSpring(Kspring::initWithNodes(a, b, 4.0, 0.0));
    world.addRobot(robot);
    ASSERT_EQ(world.nodes().size(), 3u);
    EXPECT_EQ(world.nodes()[0], a);
    EXPECT_EQ(world.nodes()[1], b);
    EXPECT_EQ(world.nodes()[2], stranger);
    EXPECT_EQ(world.springs().size(), 1u);
    EXPECT_EQ(world.robots().size(), 1u);
    // omega = sqrt(4 / 1) = 2, bound min(0.1, 1) = 0.1, then / 2.7.
    EXPECT_DOUBLE_EQ(world.maxStepSize(), 0.1 / 2.7);
}
