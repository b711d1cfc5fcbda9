#include "render/EAGLView.h"

#include <GLES/glext.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "app/AlertView.h"
#include "app/Settings.h"
#include "app/TenzoAppDelegate.h"
#include "physics/Random.h"
#include "platform/GLExtensions.h"
#include "platform/Image.h"
#include "render/Globals.h"
#include "render/Texture2D.h"
#include "render/TextureFramebuffer.h"
#include "render/Viewport.h"

// Parts of the program land at different times; until one is there the view keeps running
// without it.

#include "app/MenuAlerts.h"
#include "audio/AudioRecorder.h"
#include "audio/MicrophoneLevel.h"
#include "steam/DropletsScreen.h"
#include "steam/SteamRegrowth.h"

namespace {
bool paused = false;
double lastTap = 0;
constexpr int kScreenWidth = 320;
constexpr int kScreenHeight = 480;
}  // namespace

double currentAbsoluteTime() {
    // Seconds since 1 January 2001, the phone's reference date.
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count() - 978307200.0;
}

std::unique_ptr<EAGLView> EAGLView::initWithCoder(std::shared_ptr<EAGLContext> context) {
    installUncaughtExceptionHandler();
    seedRandomFromClock();

    std::unique_ptr<EAGLView> view(new EAGLView);
    view->context_ = std::move(context);
    if (!view->context_ || !view->context_->setCurrentContext() || !view->createFramebuffer()) {
        return nullptr;
    }
    paused = false;
    lastTap = 0;
    loops = 0;

    const _Vector3f camera{0.0, 0.0, 1.0};
    viewportMenu = std::make_shared<Viewport>(camera, kScreenWidth, kScreenHeight, 0, 0);
    viewport1 = std::make_shared<Viewport>(camera, kScreenWidth, kScreenHeight, 0, 0);
    viewport1->setCanManipulateCamera(false);
    viewport1->setCanManipulateViewport(false);
    viewport1->setCanManipulateWorld(true);
    activeViewport = viewport1;

    MenuAlerts alerts = createMenuAlerts(isIPodTouch());
    view->menuAlert_ = alerts.menuAlert;
    view->menuMoreAlert_ = alerts.menuMoreAlert;
    view->aboutAlert_ = alerts.aboutAlert;
    view->alertDelegates_ = {alerts.menuDelegate, alerts.menuMoreDelegate};

    // The recorder makes this file at launch, so only a first run finds none.
    std::ifstream recording(brumelo::settings().dataDir + "/Recording.caf");
    if (!recording && view->menuAlert_) view->menuAlert_->show();
    return view;
}

EAGLView::~EAGLView() {
    stopAnimation();
    if (context_ && context_->isCurrentContext()) context_->clearCurrentContext();
}

bool EAGLView::createFramebuffer() {
    glGenFramebuffersOES(1, &viewFramebuffer);
    glGenRenderbuffersOES(1, &viewRenderbuffer);
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, viewFramebuffer);
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, viewRenderbuffer);
    // The screen is off-screen here; the window shows a copy of it, at its own density.
    glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_RGBA8_OES, screenPixels(kScreenWidth),
                             screenPixels(kScreenHeight));
    glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES, GL_RENDERBUFFER_OES,
                                 viewRenderbuffer);
    glGetRenderbufferParameterivOES(GL_RENDERBUFFER_OES, GL_RENDERBUFFER_WIDTH_OES, &backingWidth_);
    glGetRenderbufferParameterivOES(GL_RENDERBUFFER_OES, GL_RENDERBUFFER_HEIGHT_OES,
                                    &backingHeight_);
    if (glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES) != GL_FRAMEBUFFER_COMPLETE_OES) {
        std::fprintf(stderr, "failed to make complete framebuffer object %x\n",
                     glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES));
        return false;
    }
    brumelo::ImageResult fog =
        brumelo::decodeImageFile(brumelo::settings().resourceDir + "/Foggy1-HQ.png");
    if (!fog) std::fprintf(stderr, "Foggy1-HQ.png: %s\n", fog.error.c_str());
    _textures[0] = Texture2D::initWithImage(fog.image, contentScaleFactor);
    if (!_textures[0]) return false;
    // The steam has one texel for each pixel of the screen.
    _textures[0]->setFilter(GL_NEAREST);
    return createFramebufferObjectForTexture(*_textures[0], false);
}

bool EAGLView::setContentScaleFactor(float scale) {
    scale = std::clamp(scale, 1.0f, 4.0f);
    if (scale == contentScaleFactor) return true;
    context_->setCurrentContext();
    contentScaleFactor = scale;
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, viewRenderbuffer);
    glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_RGBA8_OES, screenPixels(kScreenWidth),
                             screenPixels(kScreenHeight));
    backingWidth_ = screenPixels(kScreenWidth);
    backingHeight_ = screenPixels(kScreenHeight);
    auto steam = Texture2D::initWithSize({kScreenWidth, kScreenHeight}, scale);
    if (!steam || !createFramebufferObjectForTexture(*steam, false)) return false;
    steam->setFilter(GL_NEAREST);
    if (const std::shared_ptr<Texture2D> old = _textures[0]) {
        // What was wiped so far carries over, resampled.
        if (viewport1) viewport1->setupView();
        glDisable(GL_BLEND);
        glEnable(GL_TEXTURE_2D);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        old->setFilter(GL_LINEAR);
        old->drawAtPoint(0.0f, 0.0f);
        GLuint oldFramebuffer = old->fbo();
        if (oldFramebuffer != Texture2D::kNoFramebuffer)
            glDeleteFramebuffersOES(1, &oldFramebuffer);
    }
    _textures[0] = steam;
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, viewFramebuffer);
    TenzoAppDelegate* app = TenzoAppDelegate::getInstance();
    if (app && app->dropletScreen()) app->dropletScreen()->setNeedsDisplay();
    return true;
}

void EAGLView::destroyFramebuffer() {
    glDeleteFramebuffersOES(1, &viewFramebuffer);
    viewFramebuffer = 0;
    glDeleteRenderbuffersOES(1, &viewRenderbuffer);
    viewRenderbuffer = 0;
    if (depthRenderbuffer_) {
        glDeleteRenderbuffersOES(1, &depthRenderbuffer_);
        depthRenderbuffer_ = 0;
    }
}

bool EAGLView::createFramebufferObjectForTexture(Texture2D& texture, bool clear) {
    return ::createFramebufferObjectForTexture(texture, clear);
}

void EAGLView::startAnimation() {
    setAnimationTimer(std::make_shared<FrameTimer>(animationInterval_));
}

void EAGLView::stopAnimation() { setAnimationTimer(nullptr); }

void EAGLView::setAnimationTimer(std::shared_ptr<FrameTimer> timer) {
    if (animationTimer_) animationTimer_->invalidate();
    animationTimer_ = std::move(timer);
}

void EAGLView::setAnimationInterval(double interval) {
    animationInterval_ = interval;
    if (animationTimer_) {
        stopAnimation();
        startAnimation();
    }
}

void EAGLView::timerLoop() {
    lastUpdateTime_ = currentAbsoluteTime();
    if (audioRecorder) audioRecorder->getAudioLevels(audioLevels, peakLevels);
    if (levelOverride_) audioLevels[0] = peakLevels[0] = *levelOverride_;
    // The steam sees the microphone relative to its silence floor; a scripted level as it is.
    const double level =
        levelOverride_ ? static_cast<double>(audioLevels[0])
                       : brumelo::microphoneLevel().update(static_cast<double>(audioLevels[0]));
    context_->setCurrentContext();
    TenzoAppDelegate* app = TenzoAppDelegate::getInstance();
    DropletsScreen* screen = app ? app->dropletScreen().get() : nullptr;
    if (_textures[0]) glBindFramebufferOES(GL_FRAMEBUFFER_OES, _textures[0]->fbo());
    if (screen) screen->drawOnTexture1(viewport1.get(), level);
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, viewFramebuffer);
    if (screen) screen->updatePhysics(0.02, viewport1.get());
    glEnable(GL_BLEND);
    if (screen) screen->drawOnViewportTextured(viewport1.get(), true);
    if (screen) screen->updateSoundLevel(level);
    if (screen && brumelo::settings().regrow) regrowSteam(*screen);
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, viewRenderbuffer);
    context_->presentRenderbuffer(viewFramebuffer);
    ++loops;
}

void EAGLView::touchesBegan(const std::vector<Touch>& touches) {
    fingerDown = true;
    if (touches.empty()) return;
    TenzoAppDelegate* app = TenzoAppDelegate::getInstance();
    if (!app || !app->dropletScreen()) return;
    for (const Touch& t : touches) app->dropletScreen()->addTrackPoint(t, worldPoint(t.x, t.y));
}

void EAGLView::touchesMoved(const std::vector<Touch>& touches) {
    fingerDown = true;
    if (!activeViewport) return;
    TenzoAppDelegate* app = TenzoAppDelegate::getInstance();
    if (!app || !app->dropletScreen()) return;
    for (const Touch& t : touches) app->dropletScreen()->addTrackPoint(t, worldPoint(t.x, t.y));
}

void EAGLView::touchesEnded(const std::vector<Touch>& touches) {
    fingerDown = false;
    TenzoAppDelegate* app = TenzoAppDelegate::getInstance();
    for (const Touch& t : touches) {
        if (app && app->dropletScreen()) {
            app->dropletScreen()->addDroplet(worldPoint(t.x, t.y));
            app->dropletScreen()->stopMusic(t);
        }
        if (t.tapCount == 2 && menuAlert_) menuAlert_->show();
    }
}

void EAGLView::touchesCancelled(const std::vector<Touch>& touches) {
    TenzoAppDelegate* app = TenzoAppDelegate::getInstance();
    if (!app || !app->dropletScreen()) return;
    for (const Touch& t : touches) app->dropletScreen()->stopMusic(t);
}

std::shared_ptr<Viewport> EAGLView::getViewport(const Touch& touch) const {
    for (const auto& v : {viewport1, viewport2, viewport3}) {
        if (!v) continue;
        if (v->insideViewport(static_cast<int>(touch.previousX),
                              static_cast<int>(touch.previousY)) &&
            v->insideViewport(static_cast<int>(touch.x), static_cast<int>(touch.y)))
            return v;
    }
    return nullptr;
}

void EAGLView::manipulateViewportMove(Viewport& viewport, const Touch& touch) {
    const float px = static_cast<float>(touch.previousX), py = static_cast<float>(touch.previousY);
    const float cx = static_cast<float>(touch.x), cy = static_cast<float>(touch.y);
    _Vector3f wp = viewport.screenToWorldCoordinates(static_cast<int>(px), static_cast<int>(py));
    _Vector3f wc = viewport.screenToWorldCoordinates(static_cast<int>(cx), static_cast<int>(cy));
    if (viewport.state() == Viewport::Camera) {
        _Vector3f c = viewport.cameraPosition();
        viewport.setCameraPosition(
            _Vector3f{c.x - (wc.x - wp.x), c.y - (wc.y - wp.y), c.z - (wc.z - wp.z)});
    }
    if (viewport.state() == Viewport::ViewportPlacement) {
        const float dx = cx - px, dy = cy - py;
        viewport.setScreenPlacement(
            static_cast<float>(
                static_cast<int>(static_cast<float>(viewport.screenLocationX()) + dx)),
            static_cast<float>(
                static_cast<int>(static_cast<float>(viewport.screenLocationY()) - dy)),
            static_cast<float>(viewport.width()), static_cast<float>(viewport.height()));
    }
}

void EAGLView::manipulateViewportPinch(Viewport& viewport, const std::vector<Touch>& touches) {
    if (touches.empty()) return;
    int ex = -999, ey = -999;
    double pcx = 0, pcy = 0, ccx = 0, ccy = 0;
    for (const Touch& t : touches) {
        ex = ex == -999 ? static_cast<int>(t.x) : std::abs(static_cast<int>(ex - t.x));
        ey = ey == -999 ? static_cast<int>(t.y) : std::abs(static_cast<int>(ey - t.y));
        pcx += t.previousX;
        pcy += t.previousY;
        ccx += t.x;
        ccy += t.y;
    }
    const double n = static_cast<double>(touches.size());
    pcx /= n;
    pcy /= n;
    ccx /= n;
    ccy /= n;
    double sp = 0, sc = 0;
    for (const Touch& t : touches) {
        sp += std::hypot(t.previousX - pcx, t.previousY - pcy);
        sc += std::hypot(t.x - ccx, t.y - ccy);
    }
    // Fingers that did not spread (or start) apart give no ratio: a zero or endless zoom would
    // wreck the camera, so the zoom waits for the next move.
    if (viewport.state() == Viewport::Camera && sp > 0 && sc > 0) {
        const double ratio = (sc / n) / (sp / n);
        _Vector3f c = viewport.cameraPosition();
        c.z = c.z / ratio;
        viewport.setCameraPosition(c);
    }
    if (viewport.state() == Viewport::ViewportPlacement) {
        viewport.setScreenPlacement(static_cast<float>(static_cast<int>(ccx - 160)),
                                    static_cast<float>(-static_cast<int>(ccy - 240)),
                                    static_cast<float>(ex), static_cast<float>(ey));
    }
}
