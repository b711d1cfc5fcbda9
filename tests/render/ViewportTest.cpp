#include <gtest/gtest.h>

#include "physics/Knode.h"
#include "physics/Kworld.h"
#include "render/GLTestContext.h"
#include "render/Viewport.h"

namespace {

std::shared_ptr<Viewport> mainViewport() {
    auto v = Viewport::initViewportWithCameraWidthPixelsHeightPixelsCenterXCenterY({0, 0, 1}, 320,
                                                                                   480, 0, 0);
    v->setCanManipulateCamera(false);
    v->setCanManipulateViewport(false);
    v->setCanManipulateWorld(true);
    return v;
}

}  // namespace

TEST(Viewport, WorldBoxFollowsCameraAndSize) {
    auto v = mainViewport();
    EXPECT_DOUBLE_EQ(v->worldMinX(), -160);
    EXPECT_DOUBLE_EQ(v->worldMaxX(), 160);
    EXPECT_DOUBLE_EQ(v->worldMinY(), -240);
    EXPECT_DOUBLE_EQ(v->worldMaxY(), 240);

    Viewport zoomed({10, 20, 2}, 320, 480, 0, 0);
    EXPECT_DOUBLE_EQ(zoomed.worldMinX(), -310);
    EXPECT_DOUBLE_EQ(zoomed.worldMaxX(), 330);
    EXPECT_DOUBLE_EQ(zoomed.worldMinY(), -460);
    EXPECT_DOUBLE_EQ(zoomed.worldMaxY(), 500);

    // Placement resizes the box through the camera.
    zoomed.setScreenPlacement(5.9f, -3.7f, 100.8f, 50.2f);
    EXPECT_EQ(zoomed.screenLocationX(), 5);
    EXPECT_EQ(zoomed.screenLocationY(), -3);
    EXPECT_EQ(zoomed.width(), 100);
    EXPECT_EQ(zoomed.height(), 50);
    EXPECT_DOUBLE_EQ(zoomed.worldMaxX(), 110);
    EXPECT_DOUBLE_EQ(zoomed.worldMinY(), -30);
}

TEST(Viewport, NodeOnTheEdgeIsVisible) {
    auto v = mainViewport();
    auto world = Kworld::initializeWorld(v.get());
    auto edge = Knode::initWithParams(170, 0, 0, 1, 10, 0, nullptr, 0, world.get());
    auto beyond = Knode::initWithParams(171, 0, 0, 1, 10, 0, nullptr, 0, world.get());
    auto above = Knode::initWithParams(0, -251, 0, 1, 10, 0, nullptr, 0, world.get());
    auto below = Knode::initWithParams(0, 250, 0, 1, 10, 0, nullptr, 0, world.get());
    EXPECT_TRUE(v->canSeeNode(*edge));
    EXPECT_FALSE(v->canSeeNode(*beyond));
    EXPECT_FALSE(v->canSeeNode(*above));
    EXPECT_TRUE(v->canSeeNode(below.get()));
    EXPECT_FALSE(v->canSeeNode(static_cast<const Knode*>(nullptr)));
}

TEST(Viewport, ScreenPointsAgainstTheViewport) {
    auto v = mainViewport();
    EXPECT_TRUE(v->insideViewport(0, 0));
    EXPECT_TRUE(v->insideViewport(320, 480));
    EXPECT_FALSE(v->insideViewport(321, 240));
    EXPECT_FALSE(v->insideViewport(160, -1));

    _Vector3f p = v->screenToWorldCoordinates(160, 240);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
    p = v->screenToWorldCoordinates(0, 0);
    EXPECT_EQ(p.x, -160);
    EXPECT_EQ(p.y, 240);  // grows upward, unlike the drawn world
    EXPECT_EQ(p.z, 0);
    p = v->screenToWorldCoordinates(400, 100);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
}

TEST(Viewport, ManipulationStatesSkipWhatIsLocked) {
    auto v = mainViewport();
    v->rotateManipulationState();
    EXPECT_EQ(v->state(), Viewport::World);
    v->rotateManipulationState();
    EXPECT_EQ(v->state(), Viewport::Inactive);

    Viewport open({0, 0, 1}, 320, 480, 0, 0);
    for (int expected : {1, 2, 3, 0}) {
        open.rotateManipulationState();
        EXPECT_EQ(open.state(), expected);
    }
    open.setCanManipulateWorld(false);
    open.setCanManipulateCamera(false);
    open.setCanManipulateViewport(false);
    open.rotateManipulationState();
    EXPECT_EQ(open.state(), 0);
    open.setState(2);
    open.setInactive();
    EXPECT_EQ(open.state(), 0);
}

class ViewportGL : public brumelo::test::GLTest {};

TEST_F(ViewportGL, SetupViewPlacesTheGLViewport) {
    GLint box[4];
    mainViewport()->setupView();
    glGetIntegerv(GL_VIEWPORT, box);
    EXPECT_EQ(box[0], 0);
    EXPECT_EQ(box[1], 0);
    EXPECT_EQ(box[2], 320);
    EXPECT_EQ(box[3], 480);

    Viewport odd({0, 0, 1}, 321, 101, 20, -30);
    odd.setupView();
    glGetIntegerv(GL_VIEWPORT, box);
    EXPECT_EQ(box[0], 20 - 160 + 160);
    EXPECT_EQ(box[1], -30 - 50 + 240);
    EXPECT_EQ(box[2], 321);
    EXPECT_EQ(box[3], 101);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
}

// A world point lands where the mapping of the viewport says, zoom and offset included.
TEST_F(ViewportGL, WorldPointsLandOnTheMappedPixel) {
    Viewport v({20, -10, 2}, 320, 480, 0, 0);
    v.setupView();
    const GLfloat vertex[] = {60, 50, 0};
    const GLubyte color[] = {255, 255, 0, 255};
    glDisable(GL_POINT_SMOOTH);
    glPointSize(4);
    glVertexPointer(3, GL_FLOAT, 0, vertex);
    glColorPointer(4, GL_UNSIGNED_BYTE, 0, color);
    glDrawArrays(GL_POINTS, 0, 1);
    // (160 + (60 - 20) / 2, 240 + (50 + 10) / 2)
    EXPECT_TRUE(brumelo::test::near(brumelo::test::readScreenPixel(180, 270), {255, 255, 0, 255}));
    EXPECT_TRUE(brumelo::test::near(brumelo::test::readScreenPixel(179, 269), {255, 255, 0, 255}));
    EXPECT_TRUE(brumelo::test::near(brumelo::test::readScreenPixel(184, 270), {0, 0, 0, 255}));
    EXPECT_TRUE(brumelo::test::near(brumelo::test::readScreenPixel(180, 210), {0, 0, 0, 255}));
}
