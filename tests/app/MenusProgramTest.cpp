// The menus, sharing and backgrounds through whole headless runs of the program, in process.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/AlertView.h"
#include "app/BackgroundPictures.h"
#include "app/NSDataAdditions.h"
#include "app/Program.h"
#include "app/TenzoAppDelegate.h"
#include "platform/Image.h"
#include "render/Globals.h"
#include "steam/DropletsScreen.h"

using namespace menus_test;
using brumelo::Program;
using brumelo::ScriptEvent;
using Kind = ScriptEvent::Kind;

namespace {

class MenuRuns : public ::testing::Test {
  protected:
    brumelo::Settings settings() const {
        brumelo::Settings s;
        s.headless = true;
        s.seed = 3;
        s.dataDir = dir_ / "data";
        s.picturesDir = dir_ / "pictures";
        s.resourceDir = std::string(BRUMELO_SOURCE_DIR) + "/resources";
        s.deviceModel = "Test rig";
        s.openUrlCommand = recordingCommand(dir_.path(), dir_ / "url.txt");
        return s;
    }
    // Launched, a few frames drawn, the first-run menu (if any) dismissed.
    std::unique_ptr<Program> launch() {
        auto p = std::make_unique<Program>(settings());
        EXPECT_EQ(p->launch(), 0);
        if (AlertView* a = AlertView::visibleAlert()) a->pressButton(0);
        for (int i = 0; i < 3; ++i) p->stepFrame();
        return p;
    }
    static void doubleTap(Program& p) {
        ScriptEvent e;
        e.kind = Kind::TouchDown;
        e.id = 9;
        e.x = 200;
        e.y = 300;
        p.deliver(e);
        e.kind = Kind::TouchUp;
        e.taps = 2;
        p.deliver(e);
    }
    static void press(Program& p, const std::string& alertTitle, int index) {
        AlertView* a = AlertView::visibleAlert();
        ASSERT_NE(a, nullptr);
        ASSERT_EQ(a->title(), alertTitle);
        ScriptEvent e;
        e.kind = Kind::Button;
        e.index = index;
        p.deliver(e);
    }
    static void pick(Program& p, const std::optional<std::string>& path) {
        ScriptEvent e;
        e.kind = path ? Kind::Pick : Kind::PickCancel;
        e.path = path.value_or("");
        p.deliver(e);
    }
    static std::shared_ptr<DropletsScreen> screen() {
        return TenzoAppDelegate::getInstance()->dropletScreen();
    }
    void TearDown() override {
        while (AlertView* a = AlertView::visibleAlert()) a->dismissWithClickedButtonIndex(0, false);
    }

    TempDir dir_;
};

}  // namespace

TEST_F(MenuRuns, DoubleTapShowYourFriendsOpensTheMailWithTheScreen) {
    auto p = launch();
    doubleTap(*p);
    press(*p, "Brumelo", 2);
    p->stepFrame();
    ASSERT_TRUE(waitForFile(dir_ / "url.txt"));
    const auto bytes = readBytes(dir_ / "url.txt");
    const std::string url(bytes.begin() + 2, bytes.end());
    EXPECT_EQ(url.rfind("mailto:?subject=Check%20this%20out!%20-%20Brumelo&body=", 0), 0u);
    const std::size_t start = url.find(";base64,") + 8;
    const std::string data = url.substr(start, url.find("%22", start) - start);
    const auto jpeg = brumelo::decodeImage(NSDataAdditions::dataWithBase64EncodedString(data));
    ASSERT_TRUE(jpeg) << jpeg.error;
    EXPECT_EQ(jpeg.image->width(), 320);
    EXPECT_EQ(jpeg.image->height(), 480);
}

TEST_F(MenuRuns, SaveYourBrumieWritesTheScreenAndConfirms) {
    auto p = launch();
    const std::size_t before = filesIn(dir_ / "pictures").size();  // the first launch's copy
    doubleTap(*p);
    press(*p, "Brumelo", 3);
    ASSERT_TRUE(p->writeScreenshot(dir_ / "screen.png"));
    press(*p, "Additional options", 1);
    ASSERT_NE(AlertView::visibleAlert(), nullptr);
    EXPECT_EQ(AlertView::visibleAlert()->title(), "Image saved");
    const auto files = filesIn(dir_ / "pictures");
    ASSERT_EQ(files.size(), before + 1);
    std::string newest;
    for (const auto& f : files)
        if (f.rfind("Brumie-", 0) == 0) newest = f;
    ASSERT_FALSE(newest.empty());
    const auto saved = brumelo::decodeImageFile(dir_ / ("pictures/" + newest));
    const auto shown = brumelo::decodeImageFile(dir_ / "screen.png");
    ASSERT_TRUE(saved && shown);
    EXPECT_EQ(saved.image->pixels(), shown.image->pixels());
    press(*p, "Image saved", 0);
    p->stepFrame();
}

TEST_F(MenuRuns, ChosenBackgroundIsStoredAndShownAtTheNextLaunch) {
    const std::string photo = dir_ / "photo.jpg";
    writeBytes(photo, brumelo::encodeJPEG(Image::filled(1600, 1200, 250, 0, 250, 255), 0.9));
    {
        auto p = launch();
        const auto firstStored = readBytes(getCustomBGURL());
        EXPECT_FALSE(firstStored.empty());  // the shipped picture, stored at the first launch
        // The look's default: the drawn evening or the glass look's photograph.
        const auto shown = screen()->backgroundTexture();
        doubleTap(*p);
        press(*p, "Brumelo", 1);
        EXPECT_TRUE(brumelo::imagePickerVisible());
        pick(*p, std::nullopt);
        EXPECT_EQ(readBytes(getCustomBGURL()), firstStored);
        EXPECT_EQ(screen()->backgroundTexture(), shown);

        doubleTap(*p);
        press(*p, "Brumelo", 1);
        pick(*p, photo);
        p->stepFrame();
        EXPECT_NE(screen()->backgroundTexture(), shown);
        const auto stored = brumelo::decodeImageFile(getCustomBGURL());
        ASSERT_TRUE(stored) << stored.error;
        EXPECT_EQ(stored.image->width(), 480);
        EXPECT_EQ(stored.image->height(), 360);
        EXPECT_NEAR(stored.image->pixel(240, 180)[1], 0, 8);
    }
    auto p = launch();
    EXPECT_NE(screen()->backgroundTexture(), _textures[1]);
}

TEST_F(MenuRuns, CorruptStoredPictureFallsBackToTheDefault) {
    std::filesystem::create_directories(dir_ / "data");
    writeText(dir_ / "data/CustomBG.png", "\x89PNG\r\n\x1a\n but then nothing sensible");
    testing::internal::CaptureStderr();
    auto p = launch();
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("CustomBG.png"), std::string::npos) << log;
    EXPECT_EQ(screen()->backgroundTexture(), _textures[1]);
    for (int i = 0; i < 5; ++i) p->stepFrame();
    EXPECT_EQ(p->framesDrawn(), 8);
}

TEST_F(MenuRuns, PickedTextFileIsRefusedInPlainWords) {
    auto p = launch();
    const auto stored = readBytes(getCustomBGURL());
    const auto shown = screen()->backgroundTexture();
    writeText(dir_ / "letter.txt", "Dear friend,\nthis is not a picture.\n");
    doubleTap(*p);
    press(*p, "Brumelo", 1);
    pick(*p, dir_ / "letter.txt");
    ASSERT_NE(AlertView::visibleAlert(), nullptr);
    EXPECT_EQ(AlertView::visibleAlert()->title(), "Not a picture");
    EXPECT_NE(AlertView::visibleAlert()->message().find("letter.txt"), std::string::npos);
    EXPECT_EQ(readBytes(getCustomBGURL()), stored);
    EXPECT_EQ(screen()->backgroundTexture(), shown);
    p->stepFrame();
}
