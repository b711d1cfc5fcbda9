#include "app/Program.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/AlertView.h"
#include "app/BackgroundPictures.h"
#include "app/LevelMeter.h"
#include "app/Preferences.h"
#include "app/TenzoAppDelegate.h"
#include "audio/AudioStartup.h"
#include "audio/MicrophoneLevel.h"
#include "platform/GLContext.h"
#include "platform/GLExtensions.h"
#include "platform/GLWindow.h"
#include "platform/Image.h"
#include "platform/MainThreadQueue.h"
#include "render/DirtyRegion.h"
#include "render/EAGLView.h"
#include "render/Globals.h"
#include "render/Texture2D.h"
#include "steam/DropletsScreen.h"

namespace brumelo {

// The view's context is the window's.
class WindowContext : public EAGLContext {
  public:
    explicit WindowContext(GLWindow& window) : window_(window) {}
    bool setCurrentContext() override {
        window_.makeCurrent();
        current_ = true;
        return true;
    }
    bool isCurrentContext() const override { return current_ && glContextIsCurrent(); }
    void clearCurrentContext() override { current_ = false; }
    void presentRenderbuffer(GLuint framebuffer) override {
        if (window_.headless()) return;
        int w = 0, h = 0;
        window_.windowPixelSize(w, h);
        AlertView* alert = AlertView::visibleAlert();
        const bool meter = levelMeterShown();
        const Shown shown{w,
                          h,
                          alert,
                          alert ? alert->highlightedButtonIndex() : -1,
                          alert ? alert->selectedButtonIndex() : -1,
                          meter};
        TenzoAppDelegate* app = TenzoAppDelegate::getInstance();
        const DirtyRegion* region =
            app && app->dropletScreen() ? &app->dropletScreen()->lastCompositeRegion() : nullptr;
        // A frame like the one on show is not shown again: the window keeps its pixels. The
        // meter moves with every sound.
        if (region && region->empty() && !needsPresent_ && shown == shown_ && !meter) return;
        // Under what floats over the picture, or where it was, all of it is drawn again.
        const bool whole = !region || region->all() || needsPresent_ || !(shown == shown_) ||
                           alert != nullptr || meter;
        needsPresent_ = false;
        shown_ = shown;
        changed_.clear();
        if (!whole)
            for (const DirtyRegion::Rect& r : region->rects()) {
                const DirtyRegion::Pixels p = DirtyRegion::toPixels(r, contentScaleFactor);
                changed_.push_back({p.x, p.y, p.width, p.height});
            }
        window_.present(framebuffer, screenPixels(paneSize().width),
                        screenPixels(paneSize().height), whole ? nullptr : &changed_);
        // Alerts float over the picture, never inside the screen frame buffer.
        Letterbox box = window_.letterbox();
        if (levelMeterShown())
            drawLevelMeter(microphoneReading(), box.x, box.y, box.width, box.height, w, h);
        AlertView::drawVisibleAlert(box.x, box.y, box.width, box.height, w, h);
        window_.swap();
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, viewFramebuffer);
    }
    // The window lost what it showed (uncovered, resized): the next frame is shown whatever.
    void setNeedsPresent() { needsPresent_ = true; }

  private:
    struct Shown {
        int width, height;
        const AlertView* alert;
        int highlighted, selected;
        bool meter;
        bool operator==(const Shown&) const = default;
    };
    GLWindow& window_;
    bool current_ = false;
    bool needsPresent_ = true;
    Shown shown_{};
    std::vector<PixelRect> changed_;
};

namespace {

AlertKey alertKey(InputEvent::KeyName key) {
    switch (key) {
        case InputEvent::KeyName::Escape:
            return AlertKey::Escape;
        case InputEvent::KeyName::Tab:
            return AlertKey::Tab;
        case InputEvent::KeyName::BackTab:
            return AlertKey::BackTab;
        case InputEvent::KeyName::Left:
            return AlertKey::Left;
        case InputEvent::KeyName::Right:
            return AlertKey::Right;
        case InputEvent::KeyName::Up:
            return AlertKey::Up;
        case InputEvent::KeyName::Down:
            return AlertKey::Down;
        case InputEvent::KeyName::Digit:
            return AlertKey::Digit;
        default:
            return AlertKey::Enter;
    }
}

constexpr AccelSample kUpright{0.0, -1.0, 0.0};

}  // namespace

Program::Program(Settings settings) : settings_(std::move(settings)) {}

Program::~Program() { shutdown(); }

bool Program::headless() const { return !window_ || window_->headless(); }

double Program::renderScale() const {
    if (settings_.renderScale > 0) return settings_.renderScale;
    if (headless()) return 1.0;
    // Drawn at the window's density, the picture stays crisp however large the window.
    const Letterbox box = window_->letterbox();
    return std::clamp(static_cast<double>(box.width) / box.pane.width, 1.0, 4.0);
}

PaneSize Program::wantedPane() const {
    if (settings_.paneWidth > 0) return paneForScreen(settings_.paneWidth, settings_.paneHeight);
    if (headless()) return {};
    int w = 0, h = 0;
    window_->windowPixelSize(w, h);
    return paneForScreen(w, h);
}

void Program::fitPane() {
    const PaneSize pane = wantedPane();
    // A pane of the window's own shape fills it; a fixed one keeps whole-number scales.
    window_->setPane(pane, settings_.paneWidth == 0);
    const float scale = static_cast<float>(renderScale());
    if (view_) {
        view_->setPane(pane, scale);
    } else {
        setPaneSize(pane);
        contentScaleFactor = scale;
    }
}

int Program::launch() {
    settings() = settings_;
    if (!settings_.scriptFile.empty()) {
        try {
            script_ = loadScript(settings_.scriptFile);
        } catch (const ScriptError& e) {
            std::fprintf(stderr, "brumelo: %s\n", e.what());
            return 2;
        }
    }

    std::string why;
    if (!settings_.headless) {
        window_ = GLWindow::create(false, settings_.scale, settings_.fullscreen, why);
        if (!window_) {
            std::fprintf(stderr, "brumelo: no display could be opened (%s); running headless\n",
                         why.c_str());
            settings_.headless = true;
        }
    }
    if (!window_) {
        window_ = GLWindow::create(true, 0, false, why);
        if (!window_) {
            std::fprintf(stderr, "brumelo: no OpenGL ES 1.1 context could be made: %s\n",
                         why.c_str());
            return 1;
        }
    }
    settings() = settings_;
    setGLContextQuery([] { return GLWindow::isContextCurrent(); });
    if (!loadGLExtensions(&GLWindow::getProcAddress)) {
        std::fprintf(stderr, "brumelo: the GL driver lacks frame buffer objects\n");
        return 1;
    }

    fitPane();
    delegate_ = std::make_unique<TenzoAppDelegate>();
    auto context = std::make_shared<WindowContext>(*window_);
    windowContext_ = context.get();
    view_ = EAGLView::initWithCoder(std::move(context));
    if (!view_) {
        std::fprintf(stderr, "brumelo: the GL view could not be made\n");
        return 1;
    }
    delegate_->setGlView(view_.get());
    delegate_->applicationDidFinishLaunching();

    // Headless runs read a sensor only when told which, so that scripted runs repeat.
    if (!settings_.headless || !settings_.accelDevice.empty()) {
        accelerometer_ = std::make_unique<Accelerometer>(settings_.accelDevice, !settings_.headless,
                                                         !settings_.headless);
        if (!settings_.headless)
            std::fprintf(stderr, "brumelo: accelerometer: %s\n",
                         accelerometer_->sourceName().c_str());
    }
    if (!settings_.backgroundFile.empty()) delegate_->useBackgroundFile(settings_.backgroundFile);
    window_->setEventListener([this](const InputEvent& e) { handleEvent(e); });
    return 0;
}

void Program::touch(ScriptEvent::Kind kind, std::int64_t id, double x, double y, int taps) {
    using K = ScriptEvent::Kind;
    auto it = touches_.find(id);
    if (kind == K::TouchDown) {
        if (it != touches_.end()) {
            // A second down for a finger already on the glass moves it.
            kind = K::TouchMove;
        } else {
            ActiveTouch t;
            t.touch.identifier = id;
            t.touch.tapCount = taps;
            t.touch.x = t.touch.previousX = x;
            t.touch.y = t.touch.previousY = y;
            t.toAlert = AlertView::visibleAlert() != nullptr;
            it = touches_.emplace(id, t).first;
            if (t.toAlert) {
                AlertView::visibleAlert()->touchDown(x, y);
            } else {
                view_->touchesBegan({t.touch});
            }
            return;
        }
    }
    if (it == touches_.end()) {
        std::fprintf(stderr, "brumelo: touch %lld is not down\n", static_cast<long long>(id));
        return;
    }
    ActiveTouch& t = it->second;
    t.touch.previousX = t.touch.x;
    t.touch.previousY = t.touch.y;
    t.touch.x = x;
    t.touch.y = y;
    if (kind == K::TouchUp) t.touch.tapCount = taps;
    AlertView* alert = AlertView::visibleAlert();
    if (t.toAlert) {
        if (alert && kind == K::TouchMove) alert->touchMoved(x, y);
        if (alert && kind == K::TouchUp) alert->touchUp(x, y);
    } else if (kind == K::TouchMove) {
        view_->touchesMoved({t.touch});
    } else if (kind == K::TouchUp) {
        view_->touchesEnded({t.touch});
    } else if (kind == K::TouchCancel) {
        view_->touchesCancelled({t.touch});
    }
    if (kind == K::TouchUp || kind == K::TouchCancel) touches_.erase(it);
}

void Program::deliver(const ScriptEvent& e) {
    using K = ScriptEvent::Kind;
    switch (e.kind) {
        case K::TouchDown:
        case K::TouchMove:
        case K::TouchUp:
        case K::TouchCancel:
            touch(e.kind, e.id, e.x, e.y, e.kind == K::TouchDown ? 1 : e.taps);
            break;
        case K::Accel:
            scriptedAccel_ = AccelSample{e.ax, e.ay, e.az};
            break;
        case K::Mic:
            view_->setLevelOverride(static_cast<float>(e.level));
            break;
        case K::Button:
            if (AlertView* alert = AlertView::visibleAlert()) {
                alert->pressButton(e.index);
            } else {
                std::fprintf(stderr, "brumelo: script line %d: no alert is up\n", e.line);
            }
            break;
        case K::Pick:
        case K::PickCancel:
            answerImagePicker(e.kind == K::Pick ? std::optional<std::string>(e.path)
                                                : std::nullopt);
            break;
        case K::Screenshot:
            writeScreenshot(e.path);
            break;
    }
}

void Program::sendAccelerometer(double dt) {
    AccelSample s = kUpright;
    if (accelerometer_) {
        KeyboardTilt::Keys keys;
        if (window_ && !window_->headless() && !AlertView::visibleAlert()) {
            keys.left = window_->keyHeld(InputEvent::KeyName::Left);
            keys.right = window_->keyHeld(InputEvent::KeyName::Right);
            keys.up = window_->keyHeld(InputEvent::KeyName::Up);
            keys.down = window_->keyHeld(InputEvent::KeyName::Down);
            keys.shake = window_->keyHeld(InputEvent::KeyName::Space);
        }
        s = accelerometer_->sample(dt, keys);
    }
    if (scriptedAccel_) s = *scriptedAccel_;
    delegate_->accelerometerDidAccelerate(s[0], s[1], s[2]);
}

void Program::stepFrame() {
    ++frame_;
    while (nextEvent_ < script_.size() && script_[nextEvent_].frame <= frame_) {
        deliver(script_[nextEvent_++]);
    }
    sendAccelerometer(0.02);
    MainThreadQueue::main().drain();
    pollImagePicker();
    pumpAudio(0.02);
    if (view_->animationTimer() && view_->animationTimer()->valid()) view_->timerLoop();
}

int Program::runHeadless() {
    for (int i = 0; i < settings_.frames; ++i) stepFrame();
    return 0;
}

void Program::handleEvent(const InputEvent& e) {
    using Kind = InputEvent::Kind;
    switch (e.kind) {
        case Kind::Quit:
            quit_ = true;
            break;
        case Kind::Expose:
            if (delegate_ && delegate_->dropletScreen()) delegate_->dropletScreen()->setNeedsDisplay();
            fitPane();
            windowContext_->setNeedsPresent();
            view_->layoutSubviews();
            break;
        case Kind::TouchDown:
        case Kind::TouchMove:
        case Kind::TouchUp:
        case Kind::TouchCancel:
            touch(e.kind == Kind::TouchDown   ? ScriptEvent::Kind::TouchDown
                  : e.kind == Kind::TouchMove ? ScriptEvent::Kind::TouchMove
                  : e.kind == Kind::TouchUp   ? ScriptEvent::Kind::TouchUp
                                              : ScriptEvent::Kind::TouchCancel,
                  e.id, e.x, e.y, e.taps);
            break;
        case Kind::Key:
            if (e.key == InputEvent::KeyName::F11) {
                window_->toggleFullscreen();
            } else if (pressKey(e.key)) {
            } else if (AlertView* alert = AlertView::visibleAlert()) {
                if (e.key != InputEvent::KeyName::Space && e.key != InputEvent::KeyName::Other)
                    alert->handleKey(alertKey(e.key), e.digit);
            } else if (e.key == InputEvent::KeyName::Escape && settings_.canQuit) {
                quit_ = true;
            }
            break;
        case Kind::DropFile:
            delegate_->useBackgroundFile(e.path);
            break;
        default:
            break;
    }
}

double Program::stepWindow() {
    if (!loopStarted_) {
        loopStarted_ = true;
        nextFrame_ = nextSample_ = lastSample_ = lastFrame_ = GLWindow::now();
    }
    InputEvent e;
    while (!quit_ && window_->pollEvent(e)) handleEvent(e);
    if (quit_) return 0;
    const double now = GLWindow::now();
    if (now >= nextSample_) {
        sendAccelerometer(std::min(0.1, now - lastSample_));
        lastSample_ = now;
        nextSample_ += Accelerometer::kInterval;
        if (nextSample_ < now) nextSample_ = now + Accelerometer::kInterval;
    }
    const auto& timer = view_->animationTimer();
    if (timer && timer->valid() && now >= nextFrame_) {
        ++frame_;
        while (nextEvent_ < script_.size() && script_[nextEvent_].frame <= frame_)
            deliver(script_[nextEvent_++]);
        MainThreadQueue::main().drain();
        pollImagePicker();
        pumpAudio(std::min(0.1, now - lastFrame_));
        lastFrame_ = now;
        view_->timerLoop();
        nextFrame_ += timer->interval();
        // After a stall, start counting again rather than racing to catch up.
        if (nextFrame_ < now) nextFrame_ = now + timer->interval();
    }
    return std::min(nextFrame_, nextSample_);
}

void Program::restartClock() { loopStarted_ = false; }

int Program::runWindow() {
    while (!quit_) {
        const double due = stepWindow();
        const double wake = due - GLWindow::now();
        if (wake > 0.0005) std::this_thread::sleep_for(std::chrono::duration<double>(wake));
    }
    return 0;
}

bool Program::pressKey(InputEvent::KeyName key) {
    using K = InputEvent::KeyName;
    Settings& s = settings();
    switch (key) {
        case K::M:
            levelMeterShown() = !levelMeterShown();
            return true;
        case K::L:
            s.look = s.look == Look::Glass ? Look::Classic : Look::Glass;
            std::fprintf(stderr, "brumelo: look: %s\n", lookName(s.look));
            showStoredBackgroundForLook();
            break;
        case K::R:
            s.regrow = !s.regrow;
            std::fprintf(stderr, "brumelo: regrowing steam: %s\n", s.regrow ? "on" : "off");
            break;
        case K::Plus:
        case K::Minus: {
            // Steps of a quarter, rounded so that the remembered value reads back the same.
            const double step = key == K::Plus ? 1.25 : 0.8;
            s.micGain =
                std::round(std::clamp(s.micGain * step, kMinMicGain, kMaxMicGain) * 1000.0) /
                1000.0;
            microphoneLevel().setGain(s.micGain);
            std::fprintf(stderr, "brumelo: microphone gain: %g\n", s.micGain);
            break;
        }
        default:
            return false;
    }
    settings_.look = s.look;
    settings_.regrow = s.regrow;
    settings_.micGain = s.micGain;
    savePreferences(s.settingsFile, s);
    return true;
}

int Program::run() {
    int status = headless() ? runHeadless() : runWindow();
    if (!settings_.screenshotFile.empty() && !writeScreenshot(settings_.screenshotFile) &&
        status == 0)
        status = 1;
    shutdown();
    return status;
}

bool Program::writeScreenshot(const std::string& path) {
    if (!view_) return false;
    view_->context()->setCurrentContext();
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, viewFramebuffer);
    std::shared_ptr<Image> picture;
    if (delegate_ && delegate_->dropletScreen())
        picture = delegate_->dropletScreen()->getScreenshot();
    if (!picture) {
        const int w = screenPixels(paneSize().width), h = screenPixels(paneSize().height);
        std::vector<std::uint8_t> rgba(static_cast<std::size_t>(w) * h * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        // GL rows run bottom-up; pictures top-down.
        std::vector<std::uint8_t> flipped(rgba.size());
        for (int y = 0; y < h; ++y)
            std::copy_n(rgba.data() + static_cast<std::size_t>(h - 1 - y) * w * 4, w * 4,
                        flipped.data() + static_cast<std::size_t>(y) * w * 4);
        picture = std::make_shared<Image>(w, h, std::move(flipped), ImageAlpha::NoneSkipLast);
    }
    std::string error;
    std::vector<std::uint8_t> png = encodePNG(*picture, &error);
    if (png.empty() || !writeFile(path, png, &error)) {
        std::fprintf(stderr, "brumelo: screenshot %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}

void Program::shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    if (delegate_) stopAudio();
    if (window_) window_->makeCurrent();
    if (delegate_) delegate_->setDropletScreen(nullptr);
    // GL objects go while their context is still current.
    for (auto& t : _textures) t.reset();
    simpleViewGame.reset();
    viewport1.reset();
    viewport2.reset();
    viewport3.reset();
    viewportMenu.reset();
    activeViewport.reset();
    if (view_) view_->destroyFramebuffer();
    view_.reset();
    delegate_.reset();
    accelerometer_.reset();
    window_.reset();
}

}  // namespace brumelo
