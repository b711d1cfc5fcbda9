// A pane the shape of a tall phone (320 x 694 points), headless and in process: the world, the
// steam and the pictures reach its real edges, and a pane that changes shape keeps what fits.
#include <GLES/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/AlertView.h"
#include "app/Program.h"
#include "app/TenzoAppDelegate.h"
#include "platform/GLExtensions.h"
#include "platform/Image.h"
#include "render/EAGLView.h"
#include "render/Globals.h"
#include "render/Texture2D.h"
#include "steam/Droplet.h"
#include "steam/DropletsScreen.h"

namespace fs = std::filesystem;
using brumelo::Program;
using brumelo::ScriptEvent;
using Kind = ScriptEvent::Kind;

namespace {

constexpr int kTall = 694;  // a 19.5:9 phone's shape, asked for as 320x693

class PaneTest : public ::testing::Test {
  protected:
    void TearDown() override {
        program_.reset();
        // The next test's program starts from the phone's pane, as any launch does.
        setPaneSize({});
    }

    Program& launch(const std::string& name, int paneHeight) {
        fs::path dir = fs::path(BRUMELO_BINARY_DIR) / "test-data" / name;
        fs::remove_all(dir);
        fs::create_directories(dir);
        brumelo::Settings s;
        s.headless = true;
        s.seed = 11;
        s.dataDir = dir.string();
        s.resourceDir = std::string(BRUMELO_SOURCE_DIR) + "/resources";
        s.deviceModel = "Test rig";
        s.paneWidth = 320;
        s.paneHeight = paneHeight;
        program_ = std::make_unique<Program>(s);
        EXPECT_EQ(program_->launch(), 0);
        if (AlertView* a = AlertView::visibleAlert()) a->pressButton(0);
        return *program_;
    }

    static DropletsScreen& screen() { return *TenzoAppDelegate::getInstance()->dropletScreen(); }

    void touch(Kind kind, double x, double y) {
        ScriptEvent e;
        e.kind = kind;
        e.id = 1;
        e.x = x;
        e.y = y;
        program_->deliver(e);
    }

    void tilt(double x, double y, double z) {
        ScriptEvent e;
        e.kind = Kind::Accel;
        e.ax = x;
        e.ay = y;
        e.az = z;
        program_->deliver(e);
    }

    // A finger across the pane at screen height y, one move a frame.
    void strokeAcross(double y) {
        touch(Kind::TouchDown, 20, y);
        for (int x = 40; x <= 300; x += 20) {
            touch(Kind::TouchMove, x, y);
            program_->stepFrame();
        }
        touch(Kind::TouchCancel, 300, y);
        program_->stepFrame();
    }

    // The steam's alpha at a screen point (top-left origin), 0..255.
    static int steamAt(int x, int y) {
        const brumelo::PaneSize pane = paneSize();
        std::vector<std::uint8_t> rgba(static_cast<std::size_t>(pane.width) * pane.height * 4);
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, _textures[0]->fbo());
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, pane.width, pane.height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, viewFramebuffer);
        // GL's rows run from the bottom of the pane.
        return rgba[(static_cast<std::size_t>(pane.height - 1 - y) * pane.width + x) * 4 + 3];
    }

    static bool alive(const std::shared_ptr<Droplet>& d) {
        const auto& all = screen().droplets();
        return std::find(all.begin(), all.end(), d) != all.end();
    }

    std::unique_ptr<Program> program_;
};

TEST_F(PaneTest, ADropReleasedNearTheBottomRunsToTheRealBottomAndLeaves) {
    Program& p = launch("pane-drop", 693);
    EXPECT_EQ(paneSize().width, 320);
    EXPECT_EQ(paneSize().height, kTall);
    touch(Kind::TouchDown, 160, 600);
    touch(Kind::TouchUp, 160, 600);
    const std::shared_ptr<Droplet> drop = screen().droplets().back();
    EXPECT_FLOAT_EQ(drop->data[7], 600.0f - kTall / 2);
    double lowest = drop->data[7];
    for (int frame = 0; frame < 3000 && alive(drop); ++frame) {
        p.stepFrame();
        lowest = std::max(lowest, static_cast<double>(drop->data[7]));
    }
    EXPECT_FALSE(alive(drop));
    // The phone's pane ended at 240; this one goes on to 347.
    EXPECT_GT(lowest, 330.0);

    const std::shared_ptr<Image> shot = screen().getScreenshot();
    ASSERT_TRUE(shot);
    EXPECT_EQ(shot->width(), 320);
    EXPECT_EQ(shot->height(), kTall);
}

TEST_F(PaneTest, WipesAtTheTopAndTheBottomEdgeClearTheSteamThere) {
    Program& p = launch("pane-wipes", 693);
    tilt(0, 0, -1);  // a level device: droplets stay where they are
    p.stepFrame();
    const int top = steamAt(160, 6), bottom = steamAt(160, kTall - 7), middle = steamAt(160, 347);
    strokeAcross(6);
    strokeAcross(kTall - 7);
    EXPECT_LT(steamAt(160, 6), top - 40);
    EXPECT_LT(steamAt(160, kTall - 7), bottom - 40);
    EXPECT_NEAR(steamAt(160, 347), middle, 3);
}

TEST_F(PaneTest, OldWritingShowsInTheFogWhereItWasUpToThePanesEdges) {
    Program& p = launch("pane-writing", 693);
    tilt(0, 0, -1);
    p.stepFrame();
    strokeAcross(kTall - 7);
    screen().makeLessSteamy(1.0);
    for (int i = 0; i < 20; ++i) screen().makeMoreSteamy();
    const int blank = steamAt(160, 347);
    EXPECT_GT(blank, steamAt(160, kTall - 7) + 25);
    EXPECT_NEAR(steamAt(160, 6), blank, 3);  // nothing was written at the top edge
}

TEST_F(PaneTest, TheBlowComesFromTheBottomEdgeAndDropsMeetingThereMerge) {
    launch("pane-blow", 693);
    screen().setGravityVector({0, 0, 1});
    // Straight above the blow point, below where the phone's bottom edge was.
    screen().addDroplet({130, 300, 0});
    const std::shared_ptr<Droplet> above = screen().droplets().back();
    screen().blowDroplets(1.0);
    EXPECT_NEAR(above->data[0], 0.0f, 1e-4);
    EXPECT_NEAR(above->data[4], -45000.0f / (47.0f * 47.0f), 1e-2);  // up, away from it

    // Grid row 17, group numbers past the phone's 120: still a group, so they meet.
    screen().addDroplet({-100, 330, 0});
    screen().addDroplet({-99, 330, 0});
    const std::size_t before = screen().droplets().size();
    screen().updateBspIndexes();
    screen().updatePhysics(0.02, viewport1.get());
    EXPECT_EQ(screen().droplets().size(), before - 1);
}

TEST_F(PaneTest, AReshapedPaneKeepsTheWipedSteamAndTheDropsThatFit) {
    Program& p = launch("pane-reshape", 693);
    tilt(0, 0, -1);
    strokeAcross(347);  // the middle: world y 0
    screen().addDroplet({0, 300, 0});
    const std::shared_ptr<Droplet> low = screen().droplets().back();
    screen().addDroplet({0, -100, 0});
    const std::shared_ptr<Droplet> high = screen().droplets().back();
    const int wiped = steamAt(160, 347), fogged = steamAt(160, 200);

    // The phone turned back to 2:3: the pane loses its top and bottom 107 points.
    ASSERT_TRUE(TenzoAppDelegate::getInstance()->glView()->setPane({}, 1.0f));
    EXPECT_FALSE(alive(low));
    EXPECT_TRUE(alive(high));
    EXPECT_NEAR(steamAt(160, 240), wiped, 2);
    EXPECT_NEAR(steamAt(160, 93), fogged, 2);
    p.stepFrame();
    const std::shared_ptr<Image> shot = screen().getScreenshot();
    EXPECT_EQ(shot->height(), 480);

    // And tall again: the new glass at the top and bottom starts fogged.
    ASSERT_TRUE(TenzoAppDelegate::getInstance()->glView()->setPane({320, kTall}, 1.0f));
    EXPECT_NEAR(steamAt(160, 347), wiped, 2);
    EXPECT_GT(steamAt(160, 20), wiped + 40);
    EXPECT_GT(steamAt(160, kTall - 20), wiped + 40);
}

}  // namespace
