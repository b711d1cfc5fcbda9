// Whole-program runs, headless and in process: the launch, the frame loop and the input paths.
#include <GLES/gl.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <thread>

#include "app/AlertView.h"
#include "app/BackgroundPictures.h"
#include "app/Preferences.h"
#include "app/Program.h"
#include "app/TenzoAppDelegate.h"
#include "audio/MicrophoneLevel.h"
#include "platform/GLExtensions.h"
#include "platform/Image.h"
#include "render/EAGLView.h"
#include "render/Globals.h"
#include "render/Texture2D.h"
#include "render/Viewport.h"
#include "steam/Droplet.h"
#include "steam/DropletsScreen.h"

namespace fs = std::filesystem;
using brumelo::Program;
using brumelo::ScriptEvent;
using Kind = ScriptEvent::Kind;

namespace {

std::string freshDataDir(const std::string& name) {
    fs::path dir = fs::path(BRUMELO_BINARY_DIR) / "test-data" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
}

brumelo::Settings headlessSettings(const std::string& dataDir) {
    brumelo::Settings s;
    s.headless = true;
    s.seed = 7;
    s.dataDir = dataDir;
    s.resourceDir = std::string(BRUMELO_SOURCE_DIR) + "/resources";
    s.deviceModel = "Test rig";
    return s;
}

// A launched program with the first-run menu out of the way.
std::unique_ptr<Program> launched(const std::string& name) {
    auto p = std::make_unique<Program>(headlessSettings(freshDataDir(name)));
    EXPECT_EQ(p->launch(), 0);
    if (AlertView* a = AlertView::visibleAlert()) a->pressButton(0);
    return p;
}

ScriptEvent touchEvent(Kind kind, std::int64_t id, double x, double y, int taps = 1) {
    ScriptEvent e;
    e.kind = kind;
    e.id = id;
    e.x = x;
    e.y = y;
    e.taps = taps;
    return e;
}

ScriptEvent accelEvent(double x, double y, double z) {
    ScriptEvent e;
    e.kind = Kind::Accel;
    e.ax = x;
    e.ay = y;
    e.az = z;
    return e;
}

DropletsScreen& screen() { return *TenzoAppDelegate::getInstance()->dropletScreen(); }

std::vector<std::uint8_t> steamAlpha() {
    std::vector<std::uint8_t> rgba(320 * 480 * 4);
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, _textures[0]->fbo());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 320, 480, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    std::vector<std::uint8_t> alpha(320 * 480);
    for (std::size_t i = 0; i < alpha.size(); ++i) alpha[i] = rgba[i * 4 + 3];
    return alpha;
}

double mean(const std::vector<std::uint8_t>& v) {
    return std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
}

// The composited frame's pixel at a screen point, as a sum of its colours.
int shade(const Image& shot, int x, int y) {
    const std::uint8_t* p = shot.pixel(x, y);
    return p[0] + p[1] + p[2];
}

}  // namespace

TEST(Program, ATapAtTheCentrePutsADropletAtTheWorldOrigin) {
    auto p = launched("tap");
    p->stepFrame();
    const std::size_t before = screen().droplets().size();
    p->deliver(touchEvent(Kind::TouchDown, 1, 160, 240));
    EXPECT_TRUE(fingerDown);
    p->deliver(touchEvent(Kind::TouchUp, 1, 160, 240));
    EXPECT_FALSE(fingerDown);
    ASSERT_EQ(screen().droplets().size(), before + 1);
    const Droplet& d = *screen().droplets().back();
    EXPECT_FLOAT_EQ(d.data[3], 0.0f);
    EXPECT_FLOAT_EQ(d.data[7], 0.0f);
    EXPECT_EQ(AlertView::visibleAlert(), nullptr);
    EXPECT_TRUE(screen().fingerTracks().empty());
}

TEST(Program, AStrokeWipesAlongItsPathOnly) {
    // Two runs from the same seed on a level device (droplets stay put), one with a stroke.
    auto run = [](bool stroke) {
        auto p = launched(stroke ? "stroke" : "nostroke");
        p->deliver(accelEvent(0, 0, -1));
        for (int i = 0; i < 3; ++i) p->stepFrame();
        if (stroke) {
            p->deliver(touchEvent(Kind::TouchDown, 4, 40, 100));
            for (int x = 50; x <= 140; x += 10) {
                p->deliver(touchEvent(Kind::TouchMove, 4, x, 100));
                p->stepFrame();
            }
        } else {
            for (int x = 50; x <= 140; x += 10) p->stepFrame();
        }
        p->stepFrame();
        return screen().getScreenshot();
    };
    auto plain = run(false);
    auto wiped = run(true);
    ASSERT_TRUE(plain && wiped);
    for (int x : {60, 90, 120}) EXPECT_NE(shade(*plain, x, 100), shade(*wiped, x, 100)) << x;
    for (auto [x, y] : {std::pair{60, 300}, {250, 100}, {200, 420}, {300, 20}})
        EXPECT_NEAR(shade(*plain, x, y), shade(*wiped, x, y), 3) << x << "," << y;
}

TEST(Program, ADoubleTapShowsTheMenuButATripleTapDoesNotAgain) {
    auto p = launched("taps");
    p->deliver(touchEvent(Kind::TouchDown, 1, 100, 100));
    p->deliver(touchEvent(Kind::TouchUp, 1, 100, 100, 1));
    EXPECT_EQ(AlertView::visibleAlert(), nullptr);
    p->deliver(touchEvent(Kind::TouchDown, 1, 100, 100));
    p->deliver(touchEvent(Kind::TouchUp, 1, 100, 100, 3));
    EXPECT_EQ(AlertView::visibleAlert(), nullptr);
    p->deliver(touchEvent(Kind::TouchDown, 1, 100, 100));
    p->deliver(touchEvent(Kind::TouchUp, 1, 100, 100, 2));
    ASSERT_NE(AlertView::visibleAlert(), nullptr);
    EXPECT_EQ(AlertView::visibleAlert()->title(), "Brumelo");
    // While it is up, touches go to it and leave the glass alone.
    const std::size_t droplets = screen().droplets().size();
    p->deliver(touchEvent(Kind::TouchDown, 2, 5, 5));
    p->deliver(touchEvent(Kind::TouchUp, 2, 5, 5));
    EXPECT_EQ(screen().droplets().size(), droplets);
    AlertView::visibleAlert()->pressButton(0);
    EXPECT_EQ(AlertView::visibleAlert(), nullptr);
}

TEST(Program, TheMenuShowsAtOnceOnTheFirstLaunchOnly) {
    const std::string dir = freshDataDir("firstrun");
    {
        Program p(headlessSettings(dir));
        ASSERT_EQ(p.launch(), 0);
        ASSERT_NE(AlertView::visibleAlert(), nullptr);
        EXPECT_EQ(AlertView::visibleAlert()->title(), "Brumelo");
        p.stepFrame();
        AlertView::visibleAlert()->pressButton(0);
    }
    Program p(headlessSettings(dir));
    ASSERT_EQ(p.launch(), 0);
    EXPECT_EQ(AlertView::visibleAlert(), nullptr);
}

TEST(Program, TiltingRightRunsTheDropletsRight) {
    auto p = launched("tilt");
    p->deliver(accelEvent(1, 0, 0));
    std::vector<std::pair<const Droplet*, float>> start;
    p->stepFrame();
    EXPECT_DOUBLE_EQ(screen().gravity().x, 1.0);
    EXPECT_DOUBLE_EQ(screen().gravity().y, 0.0);
    for (const auto& d : screen().droplets()) start.emplace_back(d.get(), d->data[3]);
    ASSERT_FALSE(start.empty());
    for (int i = 0; i < 100; ++i) p->stepFrame();
    int movedRight = 0;
    for (const auto& d : screen().droplets()) {
        for (auto [was, x] : start) {
            if (was != d.get()) continue;
            EXPECT_GE(d->data[3], x - 0.01f);
            if (d->data[3] > x + 1.0f) ++movedRight;
        }
    }
    // A droplet that ran off the right edge is gone: that counts too.
    movedRight += static_cast<int>(start.size()) -
                  static_cast<int>(std::count_if(start.begin(), start.end(), [](auto& s) {
                      for (const auto& d : screen().droplets())
                          if (d.get() == s.first) return true;
                      return false;
                  }));
    EXPECT_GT(movedRight, 0);
}

TEST(Program, ShakingThinsTheSteam) {
    auto thickness = [](bool shake) {
        auto p = launched(shake ? "shake" : "still");
        if (shake) p->deliver(accelEvent(1.5, -1.0, 0));  // length 1.8: a shake
        for (int i = 0; i < 40; ++i) p->stepFrame();
        return mean(steamAlpha());
    };
    const double still = thickness(false);
    const double shaken = thickness(true);
    EXPECT_LT(shaken, still * 0.8);
}

TEST(Program, ACancelledTouchEndsItsTrackButLeavesTheFingerDown) {
    auto p = launched("cancel");
    const std::size_t droplets = screen().droplets().size();
    p->deliver(touchEvent(Kind::TouchDown, 3, 50, 50));
    p->deliver(touchEvent(Kind::TouchMove, 3, 80, 60));
    EXPECT_EQ(screen().fingerTracks().size(), 1u);
    p->deliver(touchEvent(Kind::TouchCancel, 3, 80, 60));
    EXPECT_TRUE(fingerDown);
    EXPECT_TRUE(screen().fingerTracks().empty());
    EXPECT_EQ(screen().droplets().size(), droplets);
}

TEST(Program, TwoFingersKeepTwoTracks) {
    auto p = launched("fingers");
    p->deliver(touchEvent(Kind::TouchDown, 1, 50, 50));
    p->deliver(touchEvent(Kind::TouchDown, 2, 250, 50));
    p->deliver(touchEvent(Kind::TouchMove, 1, 60, 80));
    p->deliver(touchEvent(Kind::TouchMove, 2, 240, 80));
    EXPECT_EQ(screen().fingerTracks().size(), 2u);
    p->deliver(touchEvent(Kind::TouchUp, 1, 60, 80));
    EXPECT_EQ(screen().fingerTracks().size(), 1u);
}

TEST(Program, TheScriptedMicrophoneLevelReachesTheFrame) {
    auto p = launched("mic");
    ScriptEvent mic;
    mic.kind = Kind::Mic;
    mic.level = 0.8;
    p->deliver(mic);
    p->stepFrame();
    EXPECT_FLOAT_EQ(audioLevels[0], 0.8f);
}

TEST(Program, BlowingIntoADesktopMicrophoneCountsAndLoudTalkDoesNot) {
    // An ordinary desktop microphone: a quiet room, then talk close to it, then a blow. Neither
    // comes near the phone's level of 0.7 (a full-scale sine is 0.71).
    constexpr int rate = 16000;
    std::vector<short> samples;
    std::uint32_t seed = 12345;
    auto noise = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<double>(seed >> 8) / 8388608.0 - 1.0;  // uniform in [-1, 1)
    };
    auto add = [&](double seconds, const std::function<double(double)>& sound) {
        for (int i = 0; i < static_cast<int>(seconds * rate); ++i) {
            const double v = sound(static_cast<double>(i) / rate) + 0.0052 * noise();
            samples.push_back(static_cast<short>(std::lround(std::clamp(v, -1.0, 1.0) * 32767)));
        }
    };
    auto quiet = [](double) { return 0.0; };
    // Voiced syllables, four a second, peaking near 0.12 RMS.
    auto talk = [](double t) {
        double voice = 0;
        for (int k = 1; k <= 8; ++k) voice += std::sin(2 * M_PI * k * 130 * t) / k;
        return 0.137 * std::pow(std::sin(M_PI * 4 * t), 2) * voice;
    };
    auto blow = [&noise](double) { return 0.35 * noise(); };  // about 0.2 RMS
    add(1.5, quiet);  // frames 1-75: the floor is measured over the first 50
    add(2.0, talk);   // 76-175
    add(0.5, quiet);  // 176-200
    add(1.0, blow);   // 201-250
    add(0.5, quiet);  // 251-275
    const std::string dir = freshDataDir("mic");
    const std::string mic = dir + "/mic.wav";
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* sf = sf_open(mic.c_str(), SFM_WRITE, &info);
    ASSERT_NE(sf, nullptr);
    sf_write_short(sf, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(sf);

    brumelo::Settings s = headlessSettings(dir);
    s.micFile = mic;
    Program p(s);
    ASSERT_EQ(p.launch(), 0);
    double talkHeld = 0, talkPeak = 0, blowRaw = 0, quietAfter = 0;
    int blowing = 0;
    for (int frame = 1; frame <= 275; ++frame) {
        p.stepFrame();
        const auto& level = brumelo::microphoneLevel();
        if (frame <= 75) {
            EXPECT_EQ(level.heldLevel(), 0.0) << frame;
        }
        if (frame > 75 && frame <= 175) {
            talkHeld = std::max(talkHeld, level.heldLevel());
            talkPeak = std::max(talkPeak, level.level());
        }
        if (frame > 200 && frame <= 250) {
            blowing += level.heldLevel() > 0.7;
            blowRaw = std::max(blowRaw, static_cast<double>(audioLevels[0]));
        }
        if (frame > 260) quietAfter = std::max(quietAfter, level.heldLevel());
    }
    EXPECT_GT(talkPeak, 0.7);  // loud syllables reach the threshold, but never for long
    EXPECT_LE(talkHeld, 0.7);
    EXPECT_GE(blowing, 40);
    EXPECT_LT(blowRaw, 0.7);  // the raw level alone would never have blown
    EXPECT_EQ(quietAfter, 0.0);
}

TEST(Program, TheWindowKeysSwitchTheChoicesAndRememberThem) {
    brumelo::Settings s = headlessSettings(freshDataDir("keys"));
    s.settingsFile = s.dataDir + "/config/settings.ini";
    Program p(s);
    ASSERT_EQ(p.launch(), 0);
    using Key = brumelo::InputEvent::KeyName;
    EXPECT_TRUE(p.pressKey(Key::L));
    EXPECT_EQ(brumelo::settings().look, brumelo::Look::Classic);
    EXPECT_TRUE(p.pressKey(Key::Plus));
    EXPECT_TRUE(p.pressKey(Key::R));
    EXPECT_FALSE(p.pressKey(Key::Enter));
    EXPECT_DOUBLE_EQ(brumelo::microphoneLevel().gain(), 1.25);
    brumelo::Preferences kept = brumelo::loadPreferences(s.settingsFile);
    EXPECT_EQ(kept.look, brumelo::Look::Classic);
    EXPECT_EQ(kept.micGain, 1.25);
    EXPECT_EQ(kept.regrow, true);
}

TEST(Program, AnUnreadableScriptStopsTheLaunch) {
    brumelo::Settings s = headlessSettings(freshDataDir("badscript"));
    s.scriptFile = "/nonexistent/x.script";
    Program p(s);
    EXPECT_NE(p.launch(), 0);
}

TEST(Program, DeviceModelDecidesIPodTouchIgnoringCase) {
    brumelo::settings().deviceModel = "IPOD touch";
    EXPECT_TRUE(isIPodTouch());
    brumelo::settings().deviceModel = "iPod Touch 2";
    EXPECT_FALSE(isIPodTouch());
    brumelo::settings().deviceModel = "iPhone";
    EXPECT_FALSE(isIPodTouch());
}

TEST(Program, AccelerometerSamplesBecomeGravityWithYTurned) {
    auto p = launched("accel");
    p->deliver(accelEvent(0.5, -1.5, 0.3));
    p->stepFrame();
    const auto& accel = TenzoAppDelegate::getInstance()->accel();
    EXPECT_DOUBLE_EQ(accel[1], -1.5);
    _Vector3f g = screen().getRealGravityVector();
    EXPECT_DOUBLE_EQ(g.x, 0.5);
    EXPECT_DOUBLE_EQ(g.y, 1.5);
    // With no sensor and no script the device stands upright and still.
    p.reset();
    auto q = launched("upright");
    q->stepFrame();
    EXPECT_DOUBLE_EQ(screen().getRealGravityVector().x, 0.0);
    EXPECT_DOUBLE_EQ(screen().getRealGravityVector().y, 1.0);
}

TEST(Program, TheFrameTimerIsReplacedWhenItsPeriodChanges) {
    auto p = launched("timer");
    EAGLView& view = *TenzoAppDelegate::getInstance()->glView();
    auto running = view.animationTimer();
    ASSERT_TRUE(running);
    EXPECT_DOUBLE_EQ(running->interval(), 0.02);
    view.setAnimationInterval(0.05);
    EXPECT_FALSE(running->valid());
    ASSERT_TRUE(view.animationTimer());
    EXPECT_DOUBLE_EQ(view.animationTimer()->interval(), 0.05);
    view.stopAnimation();
    EXPECT_FALSE(view.animationTimer());
    view.setAnimationInterval(0.02);  // stopped: only the value changes
    EXPECT_FALSE(view.animationTimer());
    const int drawn = loops;
    p->stepFrame();
    EXPECT_EQ(loops, drawn);  // no timer, no frame
    view.startAnimation();
    p->stepFrame();
    EXPECT_EQ(loops, drawn + 1);
}

TEST(Program, HitTestWantsBothEndsOfTheTouchOnTheScreen) {
    auto p = launched("hittest");
    EAGLView& view = *TenzoAppDelegate::getInstance()->glView();
    Touch t;
    t.previousX = 100;
    t.previousY = 100;
    t.x = 120;
    t.y = 130;
    EXPECT_EQ(view.getViewport(t), viewport1);
    t.x = 400;
    EXPECT_EQ(view.getViewport(t), nullptr);
}

TEST(Program, APinchThatDoesNotSpreadLeavesTheCameraAlone) {
    auto p = launched("pinch");
    EAGLView& view = *TenzoAppDelegate::getInstance()->glView();
    Viewport v(_Vector3f{0, 0, 1}, 320, 480, 0, 0);
    v.setState(Viewport::Camera);
    Touch a, b;
    a.x = a.previousX = 100;
    a.y = a.previousY = 100;
    b = a;
    b.x = 200;  // both fingers started on one spot
    view.manipulateViewportPinch(v, {a, b});
    EXPECT_DOUBLE_EQ(v.cameraPosition().z, 1.0);
    b.previousX = 150;  // now spread from 50 apart to 100: zoom in by 2
    view.manipulateViewportPinch(v, {a, b});
    EXPECT_DOUBLE_EQ(v.cameraPosition().z, 0.5);
}

TEST(ProgramDeathTest, AnUncaughtExceptionIsLoggedInThreeLines) {
    EXPECT_DEATH(
        {
            installUncaughtExceptionHandler();
            // Nothing catches what a thread's function throws.
            std::thread([] { throw std::runtime_error("the reason"); }).join();
        },
        "my_custom_handler BEGIN\nthe reason\nmy_custom_handler END");
}

TEST(Program, AnIioAccelerometerNamedOnTheCommandLineSteersTheWorld) {
    fs::path dir = fs::path(BRUMELO_BINARY_DIR) / "test-iio" / "program-device";
    fs::remove_all(dir);
    fs::create_directories(dir);
    auto put = [&](const char* name, const char* text) { std::ofstream(dir / name) << text; };
    // Tilted right: the sensor feels the push to the left.
    put("in_accel_x_raw", "-500\n");
    put("in_accel_y_raw", "866\n");
    put("in_accel_z_raw", "0\n");
    put("in_accel_scale", "0.00980665\n");
    brumelo::Settings s = headlessSettings(freshDataDir("iio"));
    s.accelDevice = dir.string();
    Program p(s);
    ASSERT_EQ(p.launch(), 0);
    p.stepFrame();
    EXPECT_NEAR(screen().getRealGravityVector().x, 0.5, 1e-9);
    EXPECT_NEAR(screen().getRealGravityVector().y, 0.866, 1e-9);
}

TEST(Program, TheGlassPhotosStandInGivesWayToTheWholePhotoWhenItArrives) {
    // Shipped pictures without the whole photo, as a page has them on its first frame.
    const fs::path shipped = fs::path(BRUMELO_SOURCE_DIR) / "resources";
    const fs::path resources = freshDataDir("stand-in-resources");
    for (const char* name : {"Foggy1-HQ.png", "back1.png", "Droplet1.png", "Droplet2.png",
                             brumelo::kGlassFirstPicture})
        fs::copy_file(shipped / name, resources / name);
    brumelo::Settings s = headlessSettings(freshDataDir("stand-in"));
    s.look = brumelo::Look::Glass;
    s.resourceDir = resources.string();
    Program p(s);
    ASSERT_EQ(p.launch(), 0);
    p.stepFrame();
    ASSERT_TRUE(screen().backgroundTexture());
    EXPECT_EQ(screen().backgroundTexture()->pixelsPerPoint(), 1.0f);
    fs::copy_file(shipped / brumelo::kGlassDefaultPicture, resources / brumelo::kGlassDefaultPicture);
    brumelo::glassPictureArrived();
    p.stepFrame();
    const auto whole = screen().backgroundTexture();
    EXPECT_EQ(whole->pixelsPerPoint(), 2.0f);
    // Once only: the photo shows already.
    brumelo::glassPictureArrived();
    EXPECT_EQ(screen().backgroundTexture(), whole);
}
