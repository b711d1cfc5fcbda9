#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "SteamTestSupport.h"
#include "physics/Knode.h"
#include "render/Touch.h"
#include "steam/Droplet.h"
#include "steam/DropletsScreen.h"
#include "steam/SurfaceTrack.h"

namespace {

class DropletsScreenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        brumelo::seedRandom(2024);
        viewport_ = steamtest::screenViewport();
        screen_ = steamtest::emptyScreen(viewport_.get());
    }
    std::shared_ptr<Droplet> dropletAt(double x, double y) {
        screen_->addDroplet({x, y, 0});
        return screen_->droplets().back();
    }
    int groupsHolding(const Droplet* d) const {
        int count = 0;
        for (const auto& group : screen_->intraNodeCollisionGroups()) {
            count += static_cast<int>(std::count_if(group.begin(), group.end(),
                                                    [d](const auto& n) { return n.get() == d; }));
        }
        return count;
    }
    std::shared_ptr<Viewport> viewport_;
    std::shared_ptr<DropletsScreen> screen_;
};

TEST_F(DropletsScreenTest, StartsWithTwoDropletsInTheUpperHalf) {
    auto screen = DropletsScreen::initDropletsScreen(viewport_.get());
    ASSERT_EQ(screen->droplets().size(), 2u);
    for (const auto& d : screen->droplets()) {
        EXPECT_LE(d->data[7], 0.0f);
        EXPECT_GT(d->data[7], -216.0f);
        EXPECT_GE(d->mass(), 0.0005f);
        EXPECT_LE(d->mass(), 0.0015f);
        EXPECT_DOUBLE_EQ(d->elasticity(), 0.3);
        EXPECT_EQ(d->removeLeftLimit(), -160);
        EXPECT_FALSE(d->bounceTop());
    }
    EXPECT_EQ(screen->frames(), 0);
    EXPECT_TRUE(screen->fingerTracks().empty());
}

TEST_F(DropletsScreenTest, NeverMoreThanSevenDroplets) {
    for (int i = 0; i < 10; ++i) dropletAt(0, 0);
    screen_->addRandomDroplet();
    EXPECT_EQ(screen_->droplets().size(), 7u);
    EXPECT_EQ(screen_->nodes().size(), 7u);
    screen_->removeNode(screen_->droplets()[3].get());
    EXPECT_EQ(screen_->droplets().size(), 6u);
    screen_->addRandomDroplet();
    EXPECT_EQ(screen_->droplets().size(), 7u);
}

TEST_F(DropletsScreenTest, DropletsLeaveTheListWhateverRemovesThem) {
    auto merged = dropletAt(0, 0);
    auto survivor = dropletAt(0.5, 0);
    auto outside = dropletAt(100, 0);
    outside->data[3] = 400;  // off the screen: the world's removal pass takes it
    merged->makeTrack();     // a trail mark not yet burnt
    survivor->collideWithNode(merged.get());
    EXPECT_EQ(screen_->droplets().size(), 2u);
    screen_->updatePhysics(0.02, viewport_.get());
    ASSERT_EQ(screen_->droplets().size(), 1u);
    // The departed drops' unburnt trail marks go too.
    screen_->updatePhysics(0.02, viewport_.get());
    EXPECT_EQ(screen_->nodes().size(), 1u + survivor->track()->points().size());
}

TEST_F(DropletsScreenTest, GridCellsAndGroupNumbers) {
    struct Case {
        double x, y;
        int column, row, group;
    };
    for (Case c : {Case{0, 0, 4, 6, 58}, Case{-160, -240, 0, 0, 0}, Case{159, 239, 9, 11, 108},
                   Case{155, 0, 9, 6, 63}, Case{-159, 41, 0, 7, 63}}) {
        auto d = dropletAt(c.x, c.y);
        EXPECT_EQ(screen_->calcCollisionGroup(d.get(), 0, 0), c.group) << c.x << ", " << c.y;
        EXPECT_EQ(d->bspIndexX(), c.column);
        EXPECT_EQ(d->bspIndexY(), c.row);
        screen_->removeNode(d.get());
    }
    auto d = dropletAt(0, 0);
    EXPECT_EQ(screen_->calcCollisionGroup(d.get(), 0, 40), 67);
    EXPECT_EQ(screen_->calcCollisionGroup(d.get(), -35, 0), 57);
}

TEST_F(DropletsScreenTest, EachDropletJoinsTheGroupsItsRimTouches) {
    auto inside = dropletAt(-140, -220);      // middle of cell (0, 0)
    auto straddle = dropletAt(-125.5, -220);  // rim reaches column 1
    inside->setVelocity(10, -5);
    screen_->updateBspIndexes();
    EXPECT_EQ(groupsHolding(inside.get()), 1);
    EXPECT_EQ(groupsHolding(straddle.get()), 2);
    ASSERT_GE(screen_->intraNodeCollisionGroups().size(), 2u);
    EXPECT_EQ(screen_->intraNodeCollisionGroups()[0].size(), 2u);
    EXPECT_EQ(screen_->intraNodeCollisionGroups()[1].size(), 1u);
    // The last point classified is the one above the centre.
    EXPECT_EQ(inside->bspIndexX(), 0);
    EXPECT_EQ(inside->bspIndexY(), 0);
    EXPECT_FLOAT_EQ(inside->data[2], 9.4f);
    EXPECT_FLOAT_EQ(inside->data[6], -4.7f);
    // Rebuilt, not accumulated, every frame.
    screen_->updateBspIndexes();
    EXPECT_EQ(groupsHolding(straddle.get()), 2);
}

TEST_F(DropletsScreenTest, TouchingDropletsInOneCellMergeDuringTheFrame) {
    auto a = dropletAt(0, 0);
    auto b = dropletAt(1, 0);
    screen_->setGravityVector({0, 0, 1});
    screen_->updateBspIndexes();
    screen_->updatePhysics(0.02, viewport_.get());
    EXPECT_EQ(screen_->droplets().size(), 1u);
}

TEST_F(DropletsScreenTest, GravityHasADeadZoneAndNoDepth) {
    screen_->setGravityVector({0.2, 0.1, 0.9});
    _Vector3f g = screen_->getGravityVector();
    EXPECT_EQ(g.x, 0.0);
    EXPECT_EQ(g.y, 0.0);
    EXPECT_EQ(g.z, 0.0);
    screen_->setGravityVector({0, 1, 0.5});
    g = screen_->getGravityVector();
    EXPECT_EQ(g.x, 0.0);
    EXPECT_EQ(g.y, 1.0);
    EXPECT_EQ(g.z, 0.0);
}

TEST_F(DropletsScreenTest, BlowingPushesAwayFromTheBlowPoint) {
    auto above = dropletAt(130, 140);
    auto left = dropletAt(80, 240);
    auto onPoint = dropletAt(130, 240);
    screen_->blowDroplets(1.0);
    EXPECT_NEAR(above->data[4], -4.5f, 1e-5);
    EXPECT_NEAR(above->data[0], 0.0f, 1e-5);
    EXPECT_NEAR(left->data[0], -45000.0f / 2500.0f, 1e-4);
    // Right on the blow point there is no direction: no push, and nothing non-finite.
    EXPECT_EQ(onPoint->data[0], 0.0f);
    EXPECT_EQ(onPoint->data[4], 0.0f);
    screen_->updatePhysics(0.02, viewport_.get());
    EXPECT_TRUE(std::isfinite(onPoint->data[3]) && std::isfinite(onPoint->data[7]));
}

TEST_F(DropletsScreenTest, OneTrackPerFingerAndOnlyTheFirstHasSound) {
    Touch first{1, 1, 0, 0}, second{2, 1, 0, 0};
    screen_->addTrackPoint(first, {0, 0, 0});
    screen_->addTrackPoint(second, {50, 50, 0});
    screen_->addTrackPoint(first, {10, 0, 0});
    ASSERT_EQ(screen_->fingerTracks().size(), 2u);
    const auto& t1 = screen_->fingerTracks().at(1);
    EXPECT_TRUE(t1->soundEnabled());
    EXPECT_FALSE(screen_->fingerTracks().at(2)->soundEnabled());
    EXPECT_EQ(t1->points().size(), 1u + 5u);
    EXPECT_GE(t1->points()[0]->radius(), 0.75 * 25.0 - 1e-6);
}

}  // namespace
