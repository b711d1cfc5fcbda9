// The live background through whole headless runs: GStreamer's test source stands for a camera.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/AlertView.h"
#include "app/LiveCamera.h"
#include "app/Program.h"
#include "app/TenzoAppDelegate.h"
#include "TestSupport.h"
#include "platform/Image.h"
#include "render/Globals.h"
#include "steam/DropletsScreen.h"

using namespace menus_test;
using brumelo::Program;
using brumelo::ScriptEvent;
using Kind = ScriptEvent::Kind;

namespace {

// Colour bars sliding sideways, 640 x 480: every frame differs.
const char* const kBars =
    "videotestsrc pattern=smpte horizontal-speed=16 ! video/x-raw,width=640,height=480";

class LiveCameraRuns : public ::testing::Test {
  protected:
    std::unique_ptr<Program> launch(const std::string& pipeline) {
        brumelo::Settings s;
        s.headless = true;
        s.seed = 5;
        s.dataDir = dir_ / "data";
        s.picturesDir = dir_ / "pictures";
        s.resourceDir = std::string(BRUMELO_SOURCE_DIR) + "/resources";
        s.deviceModel = "Test rig";
        s.cameraPipeline = pipeline;
        s.cameraAsked = true;
        auto p = std::make_unique<Program>(s);
        EXPECT_EQ(p->launch(), 0);
        // The first launch's menu.
        if (AlertView* a = AlertView::visibleAlert(); a && a->title() == "Brumelo")
            a->pressButton(0);
        return p;
    }
    static void send(Program& p, Kind kind, double x, double y, int taps = 1) {
        ScriptEvent e;
        e.kind = kind;
        e.id = 4;
        e.x = x;
        e.y = y;
        e.taps = taps;
        p.deliver(e);
    }
    static void press(const std::string& alertTitle, int index) {
        AlertView* a = AlertView::visibleAlert();
        ASSERT_NE(a, nullptr);
        ASSERT_EQ(a->title(), alertTitle);
        a->pressButton(index);
    }
    static std::shared_ptr<DropletsScreen> screen() {
        return TenzoAppDelegate::getInstance()->dropletScreen();
    }
    std::shared_ptr<Image> shot(Program& p, const std::string& name) {
        EXPECT_TRUE(p.writeScreenshot(dir_ / name));
        return brumelo::decodeImageFile(dir_ / name).image;
    }
    // Pixels of row y whose channels lie far apart: only the test bars are that vivid.
    static int vivid(const Image& picture, int y) {
        int n = 0;
        for (int x = 0; x < picture.width(); ++x) {
            const std::uint8_t* c = picture.pixel(x, y);
            n += std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]}) > 120;
        }
        return n;
    }
    // The largest step between neighbours along row y: sharp edges are large steps.
    static int sharpest(const Image& picture, int y) {
        int most = 0;
        for (int x = 0; x + 1 < picture.width(); ++x) {
            int step = 0;
            for (int ch = 0; ch < 3; ++ch)
                step += std::abs(picture.pixel(x + 1, y)[ch] - picture.pixel(x, y)[ch]);
            most = std::max(most, step);
        }
        return most;
    }
    static double rowChange(const Image& a, const Image& b, int y) {
        double sum = 0;
        for (int x = 0; x < a.width(); ++x)
            for (int ch = 0; ch < 3; ++ch) sum += std::abs(a.pixel(x, y)[ch] - b.pixel(x, y)[ch]);
        return sum / a.width();
    }
    void TearDown() override {
        while (AlertView* a = AlertView::visibleAlert()) a->dismissWithClickedButtonIndex(0, false);
        brumelo::stopLiveCamera();
    }

    TempDir dir_;
};

}  // namespace

TEST_F(LiveCameraRuns, BarsShowThroughAWipeMoveAndAreSavedUntilTheMenuTurnsThemOff) {
    auto p = launch(kBars);
    ASSERT_TRUE(brumelo::liveCameraOn());
    const auto still = screen()->backgroundTexture();
    p->stepFrame();
    EXPECT_TRUE(screen()->liveBackground());
    send(*p, Kind::TouchDown, 10, 150);
    for (int x = 10; x <= 310; x += 20) {
        send(*p, Kind::TouchMove, x, 150);
        p->stepFrame();
    }
    send(*p, Kind::TouchUp, 310, 150);
    for (int i = 0; i < 3; ++i) p->stepFrame();
    const auto first = shot(*p, "first.png");
    p->stepFrame();
    const auto next = shot(*p, "next.png");
    ASSERT_TRUE(first && next);
    // Sharp and vivid through the wipe; the fog above blurs it.
    EXPECT_GT(vivid(*first, 150), 200);
    EXPECT_GT(sharpest(*first, 150), 300);
    EXPECT_LT(sharpest(*first, 40), 80);
    // The bars slide from frame to frame where the glass is clear.
    const double moving = rowChange(*first, *next, 150);
    EXPECT_GT(moving, 20.0);

    // "Save your Brumie" keeps what is on screen, camera and all.
    send(*p, Kind::TouchDown, 200, 300);
    send(*p, Kind::TouchUp, 200, 300, 2);
    press("Brumelo", 3);
    press("Additional options", 1);
    press("Image saved", 0);
    std::string saved;
    for (const auto& f : filesIn(dir_ / "pictures"))
        if (f.rfind("Brumie-", 0) == 0) saved = f;
    const auto picture = brumelo::decodeImageFile(dir_ / ("pictures/" + saved));
    ASSERT_TRUE(picture) << picture.error;
    EXPECT_EQ(picture.image->pixels(), next->pixels());

    // The menu's entry turns it off: the still picture is back, the camera let go.
    send(*p, Kind::TouchDown, 200, 300);
    send(*p, Kind::TouchUp, 200, 300, 2);
    press("Brumelo", 3);
    press("Additional options", 4);
    EXPECT_FALSE(brumelo::liveCameraOn());
    EXPECT_FALSE(screen()->liveBackground());
    EXPECT_EQ(screen()->backgroundTexture(), still);
    p->stepFrame();
    const auto after = shot(*p, "after.png");
    p->stepFrame();
    // Still: what changes is the drops and the steam on the glass.
    EXPECT_LT(rowChange(*after, *shot(*p, "later.png"), 150), moving / 3) << moving;
}

TEST_F(LiveCameraRuns, AFailingSourceBringsTheStillPictureBackWithOneLine) {
    // A stream that ends mid-run (a camera unplugged), and one that cannot be built at all.
    for (const std::string& pipeline :
         {std::string("videotestsrc num-buffers=6 pattern=smpte ! video/x-raw,width=640,height=480"), std::string("no-such-camera-source")}) {
        SCOPED_TRACE(pipeline);
        testing::internal::CaptureStderr();
        auto p = launch(pipeline);
        const auto still = screen()->backgroundTexture();
        for (int i = 0; i < 12; ++i) p->stepFrame();
        const std::string log = testing::internal::GetCapturedStderr();
        std::size_t lines = 0;
        for (std::size_t at = 0; (at = log.find("camera: ", at)) != std::string::npos; ++at)
            lines += log.compare(at, 11, "camera: on\n") != 0;
        EXPECT_EQ(lines, 1u) << log;
        EXPECT_NE(log.find("the still picture is back"), std::string::npos) << log;
        ASSERT_NE(AlertView::visibleAlert(), nullptr);
        EXPECT_EQ(AlertView::visibleAlert()->title(), "Live camera");
        EXPECT_FALSE(brumelo::liveCameraOn());
        EXPECT_EQ(screen()->backgroundTexture(), still);
        EXPECT_EQ(p->framesDrawn(), 12);
        AlertView::visibleAlert()->pressButton(0);
    }
}

TEST_F(LiveCameraRuns, TheCamerasFogIsAsBrightAsAStillPicturesFog) {
    // The shipped photograph as a camera would send it, then as the still picture it is.
    const std::string photo = std::string(BRUMELO_SOURCE_DIR) + "/resources/window-view.jpg";
    auto p = launch("filesrc location=" + photo + " ! jpegdec ! imagefreeze");
    for (int i = 0; i < 4; ++i) p->stepFrame();
    ASSERT_TRUE(screen()->liveBackground());
    const auto live = shot(*p, "live.png");
    brumelo::stopLiveCamera();
    ASSERT_FALSE(screen()->liveBackground());
    p->stepFrame();
    const auto still = shot(*p, "still.png");
    ASSERT_TRUE(live && still);
    auto mean = [](const Image& picture) {
        double sum = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                for (int ch = 0; ch < 3; ++ch) sum += picture.pixel(x, y)[ch];
        return sum / (3.0 * picture.width() * picture.height());
    };
    EXPECT_NEAR(mean(*live), mean(*still), 0.04 * mean(*still));
}

TEST_F(LiveCameraRuns, WithoutACameraPortalTheDeviceIsTriedAndOneLineSaysWhy) {
    if (std::filesystem::exists("/dev/video0")) GTEST_SKIP() << "a camera is attached here";
    // No session bus at all, then a bus of our own that no portal serves.
    std::string bus;
    int address[2];
    ASSERT_EQ(::pipe(address), 0);
    const pid_t daemon = ::fork();
    if (daemon == 0) {
        ::dup2(address[1], 1);
        ::execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--print-address=1",
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(address[1]);
    if (FILE* out = ::fdopen(address[0], "r")) {
        char line[512] = {};
        if (std::fgets(line, sizeof line, out)) bus.assign(line, std::strcspn(line, "\n"));
        std::fclose(out);
    }
    const char* before = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string saved = before ? before : "";
    for (const std::string& address : {std::string("unix:path=/nonexistent/brumelo-bus"), bus}) {
        if (address.empty()) continue;
        SCOPED_TRACE(address);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        testing::internal::CaptureStderr();
        auto p = launch("");
        for (int i = 0; i < 3; ++i) p->stepFrame();
        const std::string log = testing::internal::GetCapturedStderr();
        std::size_t lines = 0;
        for (std::size_t at = 0; (at = log.find("camera: ", at)) != std::string::npos; ++at)
            lines += log.compare(at, 11, "camera: on\n") != 0;
        EXPECT_EQ(lines, 1u) << log;
        // The device's own complaint, and nothing of the portal.
        EXPECT_NE(log.find("/dev/video0"), std::string::npos) << log;
        EXPECT_NE(log.find("the still picture is back"), std::string::npos) << log;
        EXPECT_EQ(log.find("portal"), std::string::npos) << log;
        ASSERT_NE(AlertView::visibleAlert(), nullptr);
        EXPECT_EQ(AlertView::visibleAlert()->title(), "Live camera");
        EXPECT_FALSE(brumelo::liveCameraOn());
        AlertView::visibleAlert()->pressButton(0);
    }
    if (before)
        ::setenv("DBUS_SESSION_BUS_ADDRESS", saved.c_str(), 1);
    else
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    if (daemon > 0) {
        ::kill(daemon, SIGTERM);
        ::waitpid(daemon, nullptr, 0);
    }
    EXPECT_FALSE(bus.empty()) << "dbus-daemon did not start";
}
