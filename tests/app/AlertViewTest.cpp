#include <GLES/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "app/AlertView.h"
#include "app/LevelMeter.h"
#include "platform/GLContext.h"
#include "platform/GLExtensions.h"

namespace {

struct Recorder : AlertViewDelegate {
    std::vector<std::pair<AlertView*, int>> presses;
    void alertViewClickedButtonAtIndex(AlertView& alert, int index) override {
        // The alert is already closed when its delegate hears of the press.
        EXPECT_FALSE(alert.visible());
        presses.emplace_back(&alert, index);
    }
};

// A window's frame buffer of the given size, bound.
class WindowFramebuffer {
  public:
    WindowFramebuffer(int width, int height) {
        glGenFramebuffersOES(1, &framebuffer_);
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, framebuffer_);
        glGenRenderbuffersOES(1, &renderbuffer_);
        glBindRenderbufferOES(GL_RENDERBUFFER_OES, renderbuffer_);
        glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_RGBA8_OES, width, height);
        glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES,
                                     GL_RENDERBUFFER_OES, renderbuffer_);
    }
    ~WindowFramebuffer() {
        glDeleteRenderbuffersOES(1, &renderbuffer_);
        glDeleteFramebuffersOES(1, &framebuffer_);
    }
    bool complete() const {
        return glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES) == GL_FRAMEBUFFER_COMPLETE_OES;
    }

  private:
    GLuint framebuffer_ = 0, renderbuffer_ = 0;
};

class Alerts : public ::testing::Test {
  protected:
    void TearDown() override {
        while (AlertView* a = AlertView::visibleAlert()) a->dismissWithClickedButtonIndex(0, false);
    }
    std::unique_ptr<AlertView> menu() {
        return std::make_unique<AlertView>("Menu", "Line one\nLine two", &delegate, "Dismiss",
                                           std::vector<std::string>{"One", "Two", "Three"});
    }
    static void centre(const AlertView& a, int index, double& x, double& y) {
        double w = 0, h = 0;
        a.buttonRect(index, x, y, w, h);
        x += w / 2;
        y += h / 2;
    }
    Recorder delegate;
};

}  // namespace

TEST_F(Alerts, ButtonsAndStacking) {
    auto a = menu();
    EXPECT_EQ(a->numberOfButtons(), 4);
    EXPECT_EQ(a->cancelButtonIndex(), 0);
    EXPECT_EQ(a->buttonTitleAtIndex(0), "Dismiss");
    EXPECT_EQ(a->buttonTitleAtIndex(3), "Three");
    EXPECT_EQ(a->buttonTitleAtIndex(4), "");
    EXPECT_EQ(AlertView::visibleAlert(), nullptr);

    testing::internal::CaptureStderr();
    a->show();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "alert: Menu\n");
    AlertView b("Second", "", nullptr, "OK", {});
    b.show();
    EXPECT_EQ(AlertView::visibleAlert(), &b);
    b.pressButton(0);  // no delegate: just closes
    EXPECT_EQ(AlertView::visibleAlert(), a.get());
    a.reset();  // destroying a shown alert takes it down
    EXPECT_EQ(AlertView::visibleAlert(), nullptr);
}

TEST_F(Alerts, OnDemandAlertLivesUntilClosed) {
    auto made = std::make_shared<AlertView>("Saved", "Done", &delegate, "Dismiss",
                                            std::vector<std::string>{});
    std::weak_ptr<AlertView> watch = made;
    AlertView::showAndKeep(std::move(made));
    ASSERT_FALSE(watch.expired());
    EXPECT_TRUE(AlertView::visibleAlert()->handleKey(AlertKey::Enter));
    EXPECT_TRUE(watch.expired());
    ASSERT_EQ(delegate.presses.size(), 1u);
    EXPECT_EQ(delegate.presses[0].second, 0);
}

TEST_F(Alerts, KeyboardMovesInVisualOrderAndPresses) {
    auto a = menu();
    a->show();
    // Stacked buttons read One, Two, Three, then Dismiss set apart; the safe choice comes first.
    EXPECT_EQ(a->selectedButtonIndex(), 0);
    EXPECT_TRUE(a->handleKey(AlertKey::Tab));
    EXPECT_EQ(a->selectedButtonIndex(), 1);
    a->handleKey(AlertKey::Down);
    a->handleKey(AlertKey::Right);
    EXPECT_EQ(a->selectedButtonIndex(), 3);
    a->handleKey(AlertKey::Tab);
    EXPECT_EQ(a->selectedButtonIndex(), 0);
    a->handleKey(AlertKey::BackTab);
    a->handleKey(AlertKey::Up);
    EXPECT_EQ(a->selectedButtonIndex(), 2);
    EXPECT_TRUE(a->handleKey(AlertKey::Enter));
    EXPECT_FALSE(a->visible());

    a->show();
    EXPECT_FALSE(a->handleKey(AlertKey::Digit, 4));
    EXPECT_FALSE(a->handleKey(AlertKey::Digit, -1));
    EXPECT_TRUE(a->visible());
    EXPECT_TRUE(a->handleKey(AlertKey::Digit, 3));
    a->show();
    EXPECT_TRUE(a->handleKey(AlertKey::Escape));

    ASSERT_EQ(delegate.presses.size(), 3u);
    EXPECT_EQ(delegate.presses[0].second, 2);
    EXPECT_EQ(delegate.presses[1].second, 3);
    EXPECT_EQ(delegate.presses[2].second, 0);

    AlertView noCancel("T", "", &delegate, "", {"Only"});
    EXPECT_EQ(noCancel.cancelButtonIndex(), -1);
    noCancel.show();
    EXPECT_FALSE(noCancel.handleKey(AlertKey::Escape));
    EXPECT_TRUE(noCancel.visible());
}

TEST_F(Alerts, TouchesPressOnlyTheButtonTheyStartAndEndOn) {
    auto a = menu();
    a->show();
    double bx, by, bw, bh;
    a->boxRect(bx, by, bw, bh);
    EXPECT_GT(bx, 0);
    EXPECT_LT(bx + bw, 320);
    EXPECT_GT(by, 0);
    EXPECT_LT(by + bh, 480);

    // Outside the box: nothing, even when the finger lifts on a button.
    double x1, y1, x2, y2, x0, y0;
    centre(*a, 1, x1, y1);
    centre(*a, 2, x2, y2);
    centre(*a, 0, x0, y0);
    EXPECT_LT(y1, y2);
    EXPECT_LT(y2, y0);  // the cancel button sits below the others
    a->touchDown(5, 5);
    a->touchUp(x1, y1);
    EXPECT_TRUE(a->visible());

    // Slid off its button: nothing.
    a->touchDown(x1, y1);
    EXPECT_EQ(a->highlightedButtonIndex(), 1);
    a->touchMoved(x2, y2);
    EXPECT_EQ(a->highlightedButtonIndex(), -1);
    a->touchUp(x2, y2);
    EXPECT_TRUE(a->visible());

    // Inside the box but between buttons: nothing.
    a->touchDown(bx + 3, by + 3);
    a->touchUp(bx + 3, by + 3);
    EXPECT_TRUE(a->visible());
    EXPECT_TRUE(delegate.presses.empty());

    a->touchDown(x2, y2);
    a->touchMoved(x2 + 1, y2);
    a->touchUp(x2 + 2, y2);
    EXPECT_FALSE(a->visible());
    ASSERT_EQ(delegate.presses.size(), 1u);
    EXPECT_EQ(delegate.presses[0].second, 2);
}

TEST_F(Alerts, TwoButtonsSitSideBySideCancelLeft) {
    AlertView a("Two", "", &delegate, "No", {"Yes"});
    double x0, y0, w0, h0, x1, y1, w1, h1;
    a.buttonRect(0, x0, y0, w0, h0);
    a.buttonRect(1, x1, y1, w1, h1);
    EXPECT_EQ(y0, y1);
    EXPECT_LT(x0 + w0, x1);
    a.show();
    a.handleKey(AlertKey::Right);
    EXPECT_EQ(a.selectedButtonIndex(), 1);
}

TEST_F(Alerts, DrawsOverTheWindowAndLeavesGLStateAlone) {
    std::string why;
    auto context = brumelo::HeadlessGLContext::create(&why);
    if (!context) GTEST_SKIP() << "no GL: " << why;
    // A window twice the screen's size, with the screen picture letterboxed in its middle.
    const int ww = 700, wh = 1000, sx = 30, sy = 40, sw = 640, sh = 960;
    const WindowFramebuffer window(ww, wh);
    ASSERT_TRUE(window.complete());
    glViewport(0, 0, 10, 10);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);

    auto readAt = [&](double px, double py) {  // screen points, top-left origin
        std::uint8_t p[4];
        const int x = sx + static_cast<int>(px * 2), y = sy + static_cast<int>(py * 2);
        glReadPixels(x, wh - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        return std::array<int, 4>{p[0], p[1], p[2], p[3]};
    };

    AlertView::drawVisibleAlert(sx, sy, sw, sh, ww, wh);  // nothing up: nothing drawn
    EXPECT_EQ(readAt(2, 2)[1], 255);

    auto a = menu();
    a->show();
    AlertView::drawVisibleAlert(sx, sy, sw, sh, ww, wh);
    ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    double bx, by, bw, bh;
    a->boxRect(bx, by, bw, bh);
    const auto outside = readAt(2, 2);
    EXPECT_LT(outside[1], 230);  // dimmed
    EXPECT_GT(outside[1], 120);
    const auto inside = readAt(bx + bw / 2, by + 6);
    EXPECT_GT(inside[2], inside[1]);  // the blue box
    std::uint8_t corner[4];
    glReadPixels(2, 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, corner);
    EXPECT_EQ(corner[1], 255);  // outside the screen picture: untouched

    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 10);
    GLboolean mask[4];
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    EXPECT_FALSE(mask[0]);
    EXPECT_TRUE(mask[3]);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));

    // A lit button repaints.
    double x2, y2;
    centre(*a, 2, x2, y2);
    const auto before = readAt(x2 - 60, y2);
    a->touchDown(x2, y2);
    glClear(GL_COLOR_BUFFER_BIT);
    AlertView::drawVisibleAlert(sx, sy, sw, sh, ww, wh);
    const auto lit = readAt(x2 - 60, y2);
    EXPECT_NE(before, lit);

    a->dismissWithClickedButtonIndex(0, false);
    a.reset();
}

TEST(LevelMeter, ABarOverTheWindowWhileTheLevelIsAboveTheFloor) {
    std::string why;
    auto context = brumelo::HeadlessGLContext::create(&why);
    if (!context) GTEST_SKIP() << "no GL: " << why;
    const int ww = 700, wh = 1000, sx = 30, sy = 40, sw = 640, sh = 960;
    const WindowFramebuffer window(ww, wh);
    ASSERT_TRUE(window.complete());
    glViewport(0, 0, 10, 10);
    auto frame = [&](const brumelo::LevelReading& r) {
        glClearColor(0, 1, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        brumelo::drawLevelMeter(r, sx, sy, sw, sh, ww, wh);
    };
    auto readAt = [&](double level) {  // the middle of the bar at this level's height
        std::uint8_t p[4];
        const int x = sx + 304 * 2, y = sy + static_cast<int>((460 - level * 160) * 2);
        glReadPixels(x, wh - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        return std::array<int, 3>{p[0], p[1], p[2]};
    };

    frame({0.0, 0.7, false, false});  // at the floor: nothing
    EXPECT_EQ(readAt(0.25), (std::array<int, 3>{0, 255, 0}));
    frame({0.5, 0.7, false, false});
    const auto quiet = readAt(0.25), above = readAt(0.9);
    EXPECT_GT(quiet[2], quiet[0]);  // a cool bar up to the level
    EXPECT_LT(above[1], 200);       // the dark track beyond it
    EXPECT_EQ(above[0], 0);
    frame({0.9, 0.7, true, false});
    const auto blow = readAt(0.8);
    EXPECT_GT(blow[0], blow[2]);  // warm while the steam counts a blow
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 10);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}
