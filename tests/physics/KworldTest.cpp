#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "physics/Knode.h"
#include "physics/Kspring.h"
#include "physics/Kworld.h"
#include "physics/Random.h"
#include "physics/UpdateTimer.h"
#include "render/Viewport.h"

namespace {

struct Call {
    const Knode* self;
    const Knode* other;
};

// A node subclass made the way the steam screen makes its droplets, recording what the world
// asks of it.
class Probe : public Knode {
  public:
    Probe(float x, float y, Kworld* world) : Knode(x, y, 0, 1, 1, 0, nullptr, 0.0, world) {}

    static std::shared_ptr<Probe> make(Kworld& world, float x, float y,
                                       std::vector<Call>* contacts = nullptr) {
        auto p = create<Probe>(x, y, &world);
        p->contacts = contacts;
        return p;
    }

    void updateSimpleEulerStepVFP_matrixWithGravity(double dt, _Vector3f gravity) override {
        steps.push_back(dt);
        gravities.push_back(gravity);
        Knode::updateSimpleEulerStepVFP_matrixWithGravity(dt, gravity);
    }

    bool collideWithNode(Knode* other) override {
        if (contacts) contacts->push_back({this, other});
        return false;
    }

    std::vector<double> steps;
    std::vector<_Vector3f> gravities;
    std::vector<Call>* contacts = nullptr;
};

class CountingWorld : public Kworld {
  public:
    CountingWorld() : Kworld(nullptr) {}
    _Vector3f getGravityVector() override {
        ++gravityCalls;
        return {0.5, 0.25, 0.0};
    }
    void checkAddObjectToRemove(Knode* node) override {
        ++queueCalls;
        Kworld::checkAddObjectToRemove(node);
    }
    int gravityCalls = 0;
    int queueCalls = 0;
};

}  // namespace

TEST(Kworld, IntervalsSplitIntoEqualSubStepsNoLongerThanTheBound) {
    Kworld world(nullptr);
    auto p = Probe::make(world, 0, 0);
    world.updatePhysics(0.0, nullptr);
    EXPECT_EQ(p->steps, std::vector<double>{0.0});
    EXPECT_EQ(world.t(), 0.0);
    EXPECT_EQ(world.loops(), 1);

    p->steps.clear();
    world.updatePhysics(0.02, nullptr);
    EXPECT_EQ(p->steps, std::vector<double>{0.02});

    p->steps.clear();
    world.updatePhysics(0.1, nullptr);
    EXPECT_EQ(p->steps, (std::vector<double>{0.05, 0.05}));

    p->steps.clear();
    world.updatePhysics(0.25, nullptr);
    ASSERT_EQ(p->steps.size(), 3u);
    for (double h : p->steps) EXPECT_EQ(h, 0.25 / 3);
    EXPECT_DOUBLE_EQ(world.t(), 0.37);
    EXPECT_EQ(world.loops(), 4);
}

TEST(Kworld, SpringlessSchemeAsksForGravityPerNodeMidpointUsesTheField) {
    CountingWorld world;
    auto a = Probe::make(world, 0, 0);
    auto b = Probe::make(world, 0, 5);
    world.updatePhysics(0.1, nullptr);
    EXPECT_EQ(world.gravityCalls, 4);  // two nodes, two sub-steps
    EXPECT_EQ(a->gravities.at(0).x, 0.5);

    a->steps.clear();
    a->gravities.clear();
    world.addSpring(Kspring::initWithNodes(a, b, 1.0, 0.0));
    world.setGravityVector({0.3, -0.9, 0.2});
    world.updatePhysics(0.02, nullptr);
    EXPECT_EQ(world.gravityCalls, 4);
    EXPECT_EQ(a->steps, (std::vector<double>{0.01, 0.02}));
    EXPECT_EQ(a->gravities.at(0).y, -0.9);
    EXPECT_EQ(a->gravities.at(0).z, 0.0);
    EXPECT_EQ(world.getRealGravityVector().z, 0.2);
}

TEST(Kworld, MidpointSchemeCarriesSpringForcesIntoTheFullStep) {
    // Two unit masses 1 apart, rest length 2, stiffness 1: the pair pushes apart symmetrically.
    Kworld world(nullptr);
    auto a = Knode::initWithParams(0, 0, 0, 1, 0.1f, 0, nullptr, 0, &world);
    auto b = Knode::initWithParams(1, 0, 0, 1, 0.1f, 0, nullptr, 0, &world);
    auto spring = Kspring::initWithNodes(a, b, 1.0, 0.0);
    spring->setRestingDistance(2.0);
    world.addSpring(spring);
    world.updatePhysics(0.02, nullptr);
    // Half step: force 1 each way, v = 0.01, x moves 0.00005; midpoint force 0.9999 applied over
    // the full step from the saved state.
    EXPECT_FLOAT_EQ(b->data[2], static_cast<float>(0.9999 * 0.02));
    EXPECT_FLOAT_EQ(a->data[2], -b->data[2]);
    EXPECT_FLOAT_EQ(b->data[3], 1.0f + static_cast<float>(0.9999 * 0.0002));
    EXPECT_EQ(a->data[0], 0.0f);
}

TEST(Kworld, StepBoundShrinksWithEveryRecalculation) {
    Kworld world(nullptr);
    world.recalculateMaxStepSize();
    EXPECT_EQ(world.maxStepSize(), 0.037037037037037035);
    world.recalculateMaxStepSize();
    EXPECT_EQ(world.maxStepSize(), 0.01371742112482853);

    Kworld stiff(nullptr);
    auto a = Knode::initWithParams(0, 0, 0, 4, 1, 0, nullptr, 0, &stiff);
    auto b = Knode::initWithParams(1, 0, 0, 1, 1, 0, nullptr, 0, &stiff);
    stiff.addSpring(Kspring::initWithNodes(a, b, 10000.0, 0.0));
    EXPECT_EQ(stiff.maxStepSize(), 0.1);  // addSpring alone leaves it
    stiff.recalculateMaxStepSize();
    EXPECT_DOUBLE_EQ(stiff.maxStepSize(), (2.0 / 100.0) / 2.7);  // lighter mass 1: omega 100
}

TEST(KworldDeathTest, ANotANumberIntervalStopsTheProgramWithTheCheck) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Kworld world(nullptr);
    EXPECT_DEATH(world.updatePhysics(std::nan(""), nullptr),
                 "Kworld updatePhysics::.*Classes/Kworld:258.*bestStepSize <= maxStepSize");
}

TEST(Kworld, TimerPathStartsTheClockOnItsFirstTickThenStepsUntilStopped) {
    Kworld world(nullptr);
    auto p = Probe::make(world, 0, 0);
    world.setUpdateInterval(0.0);
    EXPECT_FALSE(world.updateTimerRunning());
    world.startUpdateTimer();
    world.setUpdateInterval(0.0);  // restarts a running timer
    EXPECT_TRUE(world.updateTimerRunning());
    brumelo::UpdateTimer::fireDueTimers();
    EXPECT_NE(world.lastUpdateTime(), 0.0);
    EXPECT_TRUE(p->steps.empty());
    brumelo::UpdateTimer::fireDueTimers();
    EXPECT_EQ(world.loops(), 1);
    EXPECT_GT(world.t(), 0.0);
    world.stopUpdateTimer();
    brumelo::UpdateTimer::fireDueTimers();
    EXPECT_EQ(world.loops(), 1);
    world.startUpdateTimer();  // a world that goes away takes its timer with it
}

TEST(Kworld, RemovalIsDeferredToTheNextSubStepAndHappensOnce) {
    CountingWorld world;
    auto keep = Probe::make(world, 0, 0);
    std::weak_ptr<Knode> gone;
    {
        auto leaving = Probe::make(world, 1, 1);
        leaving->setInterCollisionGroup(2);
        leaving->setIntraCollisionGroup(3);
        gone = leaving;
        leaving->setRemoveFromWorld(true);
        world.removeNode(leaving.get());
        world.removeNode(leaving.get());
        EXPECT_EQ(world.nodes().size(), 2u);  // still there until the next sub-step
    }
    world.updatePhysics(0.02, nullptr);
    EXPECT_EQ(world.queueCalls, 1);
    ASSERT_EQ(world.nodes().size(), 1u);
    EXPECT_EQ(world.nodes()[0], keep);
    EXPECT_TRUE(world.interNodeCollisionGroups()[2].empty());
    EXPECT_TRUE(world.intraNodeCollisionGroups()[3].empty());
    EXPECT_TRUE(world.objectsToRemove().empty());
    EXPECT_TRUE(gone.expired());

    // Queued twice by hand, dropped once.
    world.checkAddObjectToRemove(keep.get());
    world.checkAddObjectToRemove(keep.get());
    EXPECT_EQ(world.objectsToRemove().size(), 1u);
    world.checkRemoveNodes(nullptr);
    EXPECT_TRUE(world.nodes().empty());
    EXPECT_EQ(keep.use_count(), 1);
}

TEST(Kworld, GroupListsGrowOnDemandAndRejectOutOfRange) {
    Kworld world(nullptr);
    auto n = Knode::initWithParams(0, 0, 0, 1, 1, 0, nullptr, 0, &world);
    n->setInterCollisionGroup(5);
    ASSERT_EQ(world.interNodeCollisionGroups().size(), 6u);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(world.interNodeCollisionGroups()[i].empty());

    testing::internal::CaptureStderr();
    world.addNodeToIntraCollisionGroup(n.get(), 121);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "setIntraCollisionGroup group > _GROUP_MAX\n");
    EXPECT_TRUE(world.intraNodeCollisionGroups().empty());
    world.addNodeToIntraCollisionGroup(n.get(), 120);
    EXPECT_EQ(world.intraNodeCollisionGroups().size(), 121u);
    EXPECT_EQ(n->intraCollisionGroup(), kNoCollisionGroup);  // the node's own number is unchanged

    // Direct memberships stay when the node's own group changes, until cleared.
    n->setIntraCollisionGroup(4);
    n->setIntraCollisionGroup(6);
    EXPECT_EQ(world.intraNodeCollisionGroups()[120].size(), 1u);
    EXPECT_TRUE(world.intraNodeCollisionGroups()[4].empty());
    EXPECT_EQ(world.intraNodeCollisionGroups()[6].size(), 1u);
    world.clearAllIntraCollisionGroups();
    EXPECT_TRUE(world.intraNodeCollisionGroups().empty());
    EXPECT_EQ(n->intraCollisionGroup(), 6);
    world.clearAllIntraCollisionGroups();
}

TEST(Kworld, CollisionPassPairsInGroupOrder) {
    Kworld world(nullptr);
    std::vector<Call> calls;
    auto a = Probe::make(world, 0, 0, &calls);
    auto b = Probe::make(world, 0, 0, &calls);
    auto c = Probe::make(world, 0, 0, &calls);
    auto loner = Probe::make(world, 0, 0, &calls);
    a->setInterCollisionGroup(1);
    b->setInterCollisionGroup(1);  // same inter group as a: never paired
    c->setInterCollisionGroup(0);
    world.checkCollisions();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].self, c.get());
    EXPECT_EQ(calls[0].other, a.get());
    EXPECT_EQ(calls[1].self, c.get());
    EXPECT_EQ(calls[1].other, b.get());

    calls.clear();
    testing::internal::CaptureStderr();
    for (auto& p : {a, b, c}) p->setInterCollisionGroup(kNoCollisionGroup);
    for (auto& p : {a, b, c}) world.addNodeToIntraCollisionGroup(p.get(), 9);
    testing::internal::GetCapturedStderr();
    world.checkCollisions();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].self, a.get());
    EXPECT_EQ(calls[0].other, b.get());
    EXPECT_EQ(calls[1].self, a.get());
    EXPECT_EQ(calls[1].other, c.get());
    EXPECT_EQ(calls[2].self, b.get());
    EXPECT_EQ(calls[2].other, c.get());
    for (const auto& call : calls) EXPECT_NE(call.self, loner.get());
}

TEST(Kworld, NodesOutsideAnyGroupStillBounce) {
    Kworld world(nullptr);
    auto n = Knode::initWithParams(0, 0, 0, 1, 1, 0, nullptr, 0, &world);
    n->setBounceBottomLimit(5.0);
    world.checkCollisions();
    EXPECT_EQ(n->data[7], 6.0f);
}

TEST(Kworld, NearestNodeHonoursVisibilityAnchorsAndRange) {
    Kworld world(nullptr);
    auto far = Knode::initWithParams(50, 0, 0, 1, 1, 0, nullptr, 0, &world);
    auto near = Knode::initWithParams(3, 4, 0, 1, 1, 0, nullptr, 0, &world);
    auto hidden = Knode::initWithParams(1, 0, 0, 1, 1, 0, nullptr, 0, &world);
    hidden->setInvisible(true);
    EXPECT_EQ(world.getNearestNode({0, 0, 0}, false), near);
    far->setAnchor(true);
    EXPECT_EQ(world.getNearestNode({0, 0, 0}, true), far);
    EXPECT_EQ(world.getNearestNode({5000, 0, 0}, false), nullptr);
    Kworld empty(nullptr);
    EXPECT_EQ(empty.getNearestNode({0, 0, 0}, false), nullptr);
}

namespace {

std::uint64_t sceneHash() {
    brumelo::seedRandom(2026);
    Kworld world(nullptr);
    for (int i = 0; i < 300; ++i) {
        const float x = (brumelo::randomFraction() - 0.5f) * 300.0f;
        const float y = (brumelo::randomFraction() - 0.5f) * 460.0f;
        const float mass = 0.5f + brumelo::randomFraction();
        auto n = Knode::initWithParams(x, y, 0, mass, 3.0f + 4.0f * brumelo::randomFraction(), 0,
                                       nullptr, 0, &world);
        n->setGravityFactor(i % 5 == 0 ? 0.0 : 40.0);
        n->setBounceLeftLimit(-160);
        n->setBounceRightLimit(160);
        n->setBounceBottomLimit(-240);
        n->setBounceTopLimit(240);
        n->setElasticity(0.6);
        n->setCollisionFriction(0.05);
        n->setVelocity((brumelo::randomFraction() - 0.5) * 50, 0);
        n->setInterCollisionGroup(i % 4);
        n->setIntraCollisionGroup(4 + (static_cast<int>(x + 160) / 40));
    }
    world.setGravityVector({0.2, 1.0, 0.0});
    for (int step = 0; step < 1000; ++step) world.updatePhysics(0.02, nullptr);
    std::uint64_t h = 1469598103934665603ull;
    for (const auto& n : world.nodes()) {
        // The walls hold every node, so a runaway or not-a-number state shows here.
        EXPECT_TRUE(std::fabs(n->data[3]) <= 160.0f && std::fabs(n->data[7]) <= 240.0f);
        unsigned char bytes[sizeof n->data];
        std::memcpy(bytes, n->data, sizeof bytes);
        for (unsigned char byte : bytes) h = (h ^ byte) * 1099511628211ull;
    }
    return h;
}

}  // namespace

TEST(Kworld, SeededSceneIsDeterministic) {
    const std::uint64_t first = sceneHash();
    EXPECT_EQ(first, sceneHash());
}

TEST(Kworld, OffScreenNodesLeaveOnlyWhenTheyAskToBeRemovedOffScreen) {
    Viewport viewport({0, 0, 1}, 320, 480, 0, 0);
    Kworld world(&viewport);
    auto inside = Knode::initWithParams(0, 0, 0, 1, 1, 0, nullptr, 0, &world);
    auto outside = Knode::initWithParams(500, 0, 0, 1, 1, 0, nullptr, 0, &world);
    auto kept = Knode::initWithParams(0, -500, 0, 1, 1, 0, nullptr, 0, &world);
    kept->setRemoveOffScreen(false);
    world.updatePhysics(0.02, &viewport);
    ASSERT_EQ(world.nodes().size(), 2u);
    EXPECT_EQ(world.nodes()[0], inside);
    EXPECT_EQ(world.nodes()[1], kept);
    EXPECT_TRUE(outside->removeFromWorld());
}
