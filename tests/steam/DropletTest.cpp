#include <gtest/gtest.h>

#include <cmath>

#include "SteamTestSupport.h"
#include "steam/Droplet.h"
#include "steam/SurfaceTrack.h"

namespace {

class DropletTest : public ::testing::Test {
  protected:
    void SetUp() override {
        brumelo::seedRandom(1234);
        viewport_ = steamtest::screenViewport();
        screen_ = steamtest::emptyScreen(viewport_.get());
    }
    std::shared_ptr<Droplet> make(float x, float y, float mass) {
        return Droplet::initWithParams(x, y, mass, 2, 0.0, screen_.get());
    }
    std::shared_ptr<Viewport> viewport_;
    std::shared_ptr<DropletsScreen> screen_;
};

TEST_F(DropletTest, CreationJoinsTheWorldWithoutGravityAndWithASilentTrack) {
    auto d = make(10, 20, 0.001f);
    ASSERT_EQ(screen_->nodes().size(), 1u);
    EXPECT_EQ(screen_->nodes()[0].get(), d.get());
    EXPECT_EQ(d->bspIndexX(), -9999);
    EXPECT_EQ(d->bspIndexY(), -9999);
    EXPECT_FLOAT_EQ(static_cast<float>(d->radius()), std::sqrt(0.001f) * 3000.0f / 31.0f);
    EXPECT_EQ(d->gravityFactor(), 0.0);
    ASSERT_TRUE(d->track());
    EXPECT_FALSE(d->track()->soundEnabled());
    EXPECT_EQ(d->track()->dscreen(), screen_.get());
    EXPECT_TRUE(d->track()->points().empty());

    // The first sub-step runs without gravity; the mass change it makes brings gravity in.
    d->updateSimpleEulerStepVFP_matrixWithGravity(0.02, {0, 1, 0});
    EXPECT_EQ(d->data[6], 0.0f);
    EXPECT_EQ(d->data[7], 20.0f);
    EXPECT_GT(d->gravityFactor(), 0.0);

    EXPECT_THROW(Droplet::initWithParams(0, 0, 0.001f, 2, 0.0, nullptr), std::invalid_argument);
}

TEST_F(DropletTest, MassSetsRadiusAndRedrawsTheGravityFactor) {
    auto d = make(0, 0, 0.001f);
    for (std::uint32_t seed : {1u, 99u, 4242u}) {
        brumelo::seedRandom(seed);
        int k = static_cast<int>(brumelo::randomFraction() * 600.0f);
        brumelo::seedRandom(seed);
        d->setMass(0.0012);
        EXPECT_EQ(d->mass(), 0.0012);
        EXPECT_DOUBLE_EQ(d->radius(), std::sqrt(0.0012f) * 3000.0 / 31.0);
        EXPECT_DOUBLE_EQ(d->gravityFactor(), (0.0012 / 0.0015) * (400 + k));
    }
}

TEST_F(DropletTest, MergeKeepsTheHeavierWithMomentumAndRemovesTheOther) {
    auto a = make(0, 0, 0.001f);
    auto b = make(1, 0, 0.0005f);
    a->setVelocity(3, 0);
    b->setVelocity(0, 6);
    double total = a->mass() + b->mass();
    // The lighter one asks: the heavier still survives.
    EXPECT_TRUE(b->collideWithNode(a.get()));
    EXPECT_NEAR(a->mass(), 0.0015, 1e-9);
    EXPECT_DOUBLE_EQ(a->mass(), total);
    EXPECT_DOUBLE_EQ(a->radius(), std::sqrt(static_cast<float>(total)) * 3000.0 / 31.0);
    EXPECT_NEAR(a->data[2], 2.0f, 1e-5);
    EXPECT_NEAR(a->data[6], 2.0f, 1e-5);
    EXPECT_EQ(a->data[3], 0.0f);
    EXPECT_EQ(a->data[7], 0.0f);
    EXPECT_TRUE(b->removeFromWorld());
    EXPECT_FALSE(a->removeFromWorld());
    // A drop already merged away merges nothing further.
    auto c = make(0.5f, 0, 0.0005f);
    EXPECT_FALSE(c->collideWithNode(b.get()));
    EXPECT_FALSE(a->collideWithNode(a.get()));
}

TEST_F(DropletTest, EqualMassesKeepTheReceiver) {
    auto a = make(0, 0, 0.001f);
    auto b = make(2, 0, 0.001f);
    EXPECT_TRUE(a->collideWithNode(b.get()));
    EXPECT_FALSE(a->removeFromWorld());
    EXPECT_TRUE(b->removeFromWorld());
}

TEST_F(DropletTest, NearlyTouchingDropsPullTogether) {
    auto a = make(0, 0, 0.001f);
    auto b = make(100, 0, 0.001f);
    double reach = a->radius() + b->radius();
    b->data[3] = static_cast<float>(reach + 0.001);
    EXPECT_FALSE(a->collideWithNode(b.get()));
    double total = a->mass() + b->mass();
    float dx = a->data[3] - b->data[3];
    EXPECT_FLOAT_EQ(b->data[0], static_cast<float>(dx * total * 5.0));
    EXPECT_FLOAT_EQ(a->data[0], static_cast<float>(-dx * total * 5.0));
    EXPECT_LT(b->data[0], 0.0f);  // towards a
    EXPECT_EQ(a->data[4], 0.0f);

    auto c = make(0, 50, 0.001f);
    auto d = make(100, 50, 0.001f);
    d->data[3] = static_cast<float>(c->radius() + d->radius() + 0.0025);
    EXPECT_FALSE(c->collideWithNode(d.get()));
    EXPECT_EQ(c->data[0], 0.0f);
    EXPECT_EQ(d->data[0], 0.0f);
}

TEST_F(DropletTest, TurnsAndStretchesWithSpeedOnly) {
    auto d = make(0, 0, 0.001f);
    d->setAngularPosition(33);
    d->updateSimpleEulerStepVFP_matrixWithGravity(0.02, {0, 0, 1});
    EXPECT_EQ(d->angularPosition(), 33);
    EXPECT_DOUBLE_EQ(d->textureSizeFactorX(), 2.75);
    d->setVelocity(0, 2.5);
    d->updateSimpleEulerStepVFP_matrixWithGravity(0.02, {0, 0, 0});
    EXPECT_EQ(d->angularPosition(), 33);
    d->setVelocity(0, 10);
    d->updateSimpleEulerStepVFP_matrixWithGravity(0.02, {0, 0, 0});
    EXPECT_NEAR(d->angularPosition(), 90.0, 1e-9);
    EXPECT_NEAR(d->textureSizeFactorX(), (10 * 0.0014 + 1.0) * 2.75, 1e-9);
}

// Counts what the stop-and-go rule did to a pinned drop moving at (10, 0) over many sub-steps.
struct Events {
    int brakes = 0, kicks = 0;
};
Events runStopAndGo(Droplet& d, _Vector3f gravity, int steps) {
    Events e;
    for (int i = 0; i < steps; ++i) {
        d.setVelocity(10, 0);
        d.updateSimpleEulerStepVFP_matrixWithGravity(0.02, gravity);
        if (d.data[2] == 10.0f && d.data[6] == 0.0f) continue;
        if (d.data[2] == 10.0f * 0.55f && d.data[6] == 0.0f) {
            ++e.brakes;
        } else {
            ++e.kicks;
            EXPECT_GE(d.data[2], 10.0f - 25.0f);
            EXPECT_LT(d.data[2], 10.0f + 25.0f);
        }
    }
    return e;
}

TEST_F(DropletTest, StopAndGoRatesUnderGravityOnly) {
    auto d = make(0, 0, 0.001f);
    d->setAnchor(true);
    d->setAngularPosition(12);
    const int steps = 40000;
    brumelo::seedRandom(77);
    Events e = runStopAndGo(*d, {0, 1, 0}, steps);
    // 11 in 100 sub-steps act; of those 93 in 100 brake and 7 kick.
    double expectBrakes = steps * 0.11 * 0.93, expectKicks = steps * 0.11 * 0.07;
    EXPECT_NEAR(e.brakes, expectBrakes, 5 * std::sqrt(expectBrakes));
    EXPECT_NEAR(e.kicks, expectKicks, 5 * std::sqrt(expectKicks));
    // Pinned: no motion, no turn, no stretch; but the mass grew with the speed.
    EXPECT_EQ(d->data[3], 0.0f);
    EXPECT_EQ(d->angularPosition(), 12);
    EXPECT_DOUBLE_EQ(d->textureSizeFactorX(), 2.75);
    EXPECT_GT(d->mass(), 0.001 + steps * 9e-7);

    Events none = runStopAndGo(*d, {0, 0, 1}, 5000);
    EXPECT_EQ(none.brakes + none.kicks, 0);
    Events sideways = runStopAndGo(*d, {0.5, 0, 0}, 5000);
    EXPECT_GT(sideways.brakes, 0);
}

}  // namespace
