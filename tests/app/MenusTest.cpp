#include <GLES/gl.h>
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/AlertView.h"
#include "app/MenuAlerts.h"
#include "app/Settings.h"
#include "app/TenzoAppDelegate.h"
#include "platform/GLContext.h"
#include "platform/GLExtensions.h"
#include "platform/Image.h"
#include "render/Globals.h"
#include "render/Viewport.h"
#include "steam/DropletsScreen.h"

using namespace menus_test;

namespace {

std::string urlDecode(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// The program's menus over a headless screen whose left half is red and right half blue.
class Menus : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = brumelo::settings();
        auto& s = brumelo::settings();
        s.headless = true;
        s.dataDir = dir_ / "data";
        s.picturesDir = dir_ / "pictures";
        s.deviceModel = "iPhone";
        s.openUrlCommand = recordingCommand(dir_.path(), urlFile());
        std::string why;
        context_ = brumelo::HeadlessGLContext::create(&why);
        if (!context_) GTEST_SKIP() << "no GL: " << why;
        glGenFramebuffersOES(1, &fb_);
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, fb_);
        glGenRenderbuffersOES(1, &rb_);
        glBindRenderbufferOES(GL_RENDERBUFFER_OES, rb_);
        glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_RGBA8_OES, 320, 480);
        glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES,
                                     GL_RENDERBUFFER_OES, rb_);
        viewFramebuffer = fb_;
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, 160, 480);
        glClearColor(1, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glScissor(160, 0, 160, 480);
        glClearColor(0, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, 0);  // the menus bind the screen themselves
        viewport_ = std::make_shared<Viewport>(_Vector3f{0, 0, 1}, 320, 480, 0, 0);
        app_.setDropletScreen(std::make_shared<DropletsScreen>(viewport_.get()));
        alerts_ = createMenuAlerts(false);
    }
    void TearDown() override {
        while (AlertView* a = AlertView::visibleAlert()) a->dismissWithClickedButtonIndex(0, false);
        app_.setDropletScreen(nullptr);
        if (context_) {
            glDeleteRenderbuffersOES(1, &rb_);
            glDeleteFramebuffersOES(1, &fb_);
            viewFramebuffer = 0;
        }
        brumelo::settings() = saved_;
    }
    std::string urlFile() const { return dir_ / "url.txt"; }
    // The recipient of the mail that was opened.
    std::string openedMailRecipient() {
        EXPECT_TRUE(waitForFile(urlFile()));
        const auto bytes = readBytes(urlFile());
        const std::string text(bytes.begin(), bytes.end());
        EXPECT_EQ(text.rfind("1\nmailto:", 0), 0u);
        return urlDecode(text.substr(9, text.find('?') - 9));
    }

    TempDir dir_;
    brumelo::Settings saved_;
    TenzoAppDelegate app_;
    std::unique_ptr<brumelo::HeadlessGLContext> context_;
    GLuint fb_ = 0, rb_ = 0;
    std::shared_ptr<Viewport> viewport_;
    MenuAlerts alerts_;
};

}  // namespace

TEST(MenuAlertsContent, TitlesMessagesAndButtons) {
    for (bool iPod : {false, true}) {
        const MenuAlerts m = createMenuAlerts(iPod);
        EXPECT_EQ(m.menuAlert->title(), "Brumelo");
        EXPECT_EQ(m.menuAlert->message(),
                  iPod ? "Blow on mic or shake and hold finger on screen for more steam!\n"
                         "Shake to clear!\nDouble tap for this menu"
                       : "Blow on the microphone to get\nmore steam on your screen!\n"
                         "Shake to clear it off!\nDouble tap for this menu");
        EXPECT_EQ(m.menuAlert->delegate(), m.menuDelegate.get());
        const char* mainButtons[] = {"Dismiss", "Choose background", "Show your friends",
                                     "More..."};
        // The original entries as they were; the live camera's comes after them.
        const char* moreButtons[] = {"Dismiss", "Save your Brumie", "Submit your Brumie", "About",
                                     "Live camera"};
        ASSERT_EQ(m.menuAlert->numberOfButtons(), 4);
        ASSERT_EQ(m.menuMoreAlert->numberOfButtons(), 5);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(m.menuAlert->buttonTitleAtIndex(i), mainButtons[i]);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(m.menuMoreAlert->buttonTitleAtIndex(i), moreButtons[i]);
        EXPECT_EQ(m.menuMoreAlert->title(), "Additional options");
        EXPECT_EQ(m.menuMoreAlert->message(), "");
        EXPECT_EQ(m.menuMoreAlert->delegate(), m.menuMoreDelegate.get());
        EXPECT_EQ(m.aboutAlert->title(), "About Brumelo 1.2");
        EXPECT_NE(m.aboutAlert->message().find("\"Submit your Brumie\""), std::string::npos);
        EXPECT_EQ(m.aboutAlert->numberOfButtons(), 1);
        EXPECT_EQ(m.aboutAlert->delegate(), nullptr);
        EXPECT_EQ(m.delegates.size(), 2u);
    }
}

TEST_F(Menus, MoreAboutAndDismiss) {
    alerts_.menuAlert->show();
    alerts_.menuAlert->pressButton(3);
    EXPECT_EQ(AlertView::visibleAlert(), alerts_.menuMoreAlert.get());
    alerts_.menuMoreAlert->pressButton(3);
    EXPECT_EQ(AlertView::visibleAlert(), alerts_.aboutAlert.get());
    alerts_.aboutAlert->pressButton(0);
    EXPECT_EQ(AlertView::visibleAlert(), nullptr);
    alerts_.menuAlert->show();
    alerts_.menuAlert->pressButton(0);
    alerts_.menuMoreAlert->show();
    alerts_.menuMoreAlert->pressButton(0);
    EXPECT_EQ(AlertView::visibleAlert(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(urlFile()));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "pictures"));
}

TEST_F(Menus, SubmitMailsTheDeviceAddressThenShowsAbout) {
    for (const char* model : {"iPhone", "iPod Touch"}) {
        std::filesystem::remove(urlFile());
        brumelo::settings().deviceModel = model;
        alerts_.menuMoreAlert->show();
        testing::internal::CaptureStderr();
        alerts_.menuMoreAlert->pressButton(2);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "alert: About Brumelo 1.2\n");
        EXPECT_EQ(AlertView::visibleAlert(), alerts_.aboutAlert.get());
        EXPECT_EQ(openedMailRecipient(), std::string(model) == "iPhone"
                                             ? "iphone-brumies@example.org"
                                             : "ipod-brumies@example.org");
        alerts_.aboutAlert->pressButton(0);
    }
}

TEST_F(Menus, SaveWritesTheScreenAsANewPictureAndConfirms) {
    for (int round = 1; round <= 2; ++round) {
        alerts_.menuMoreAlert->show();
        alerts_.menuMoreAlert->pressButton(1);
        AlertView* confirmation = AlertView::visibleAlert();
        ASSERT_NE(confirmation, nullptr);
        EXPECT_EQ(confirmation->title(), "Image saved");
        EXPECT_EQ(confirmation->message(), "You can find it in your Camera Roll Album");
        EXPECT_EQ(confirmation->buttonTitleAtIndex(0), "Dismiss");
        EXPECT_EQ(confirmation->numberOfButtons(), 1);
        confirmation->pressButton(0);
        ASSERT_EQ(filesIn(dir_ / "pictures").size(), static_cast<std::size_t>(round));
    }
    const auto files = filesIn(dir_ / "pictures");
    EXPECT_NE(files[0], files[1]);
    const auto saved = brumelo::decodeImageFile(dir_ / ("pictures/" + files[1]));
    ASSERT_TRUE(saved) << saved.error;
    ASSERT_EQ(saved.image->width(), 320);
    ASSERT_EQ(saved.image->height(), 480);
    // Exactly the screen: every pixel of both halves.
    int wrong = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 320; ++x) {
            const std::uint8_t* p = saved.image->pixel(x, y);
            const bool left = x < 160;
            if (p[0] != (left ? 255 : 0) || p[1] != 0 || p[2] != (left ? 0 : 255)) ++wrong;
        }
    EXPECT_EQ(wrong, 0);
}

TEST_F(Menus, AFailedSaveIsNotConfirmed) {
    writeText(dir_ / "blocker", "a file where the folder should be");
    brumelo::settings().picturesDir = dir_ / "blocker/pictures";
    alerts_.menuMoreAlert->show();
    testing::internal::CaptureStderr();
    alerts_.menuMoreAlert->pressButton(1);
    const std::string log = testing::internal::GetCapturedStderr();
    ASSERT_NE(AlertView::visibleAlert(), nullptr);
    EXPECT_EQ(AlertView::visibleAlert()->title(), "Image not saved");
    EXPECT_NE(log.find("save picture: "), std::string::npos) << log;
}
