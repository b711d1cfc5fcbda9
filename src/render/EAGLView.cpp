#include "render/EAGLView.h"

#include <GLES/glext.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

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

std::shared_ptr<Image> fogPicture() {
    static std::shared_ptr<Image> picture;
    if (!picture) {
        brumelo::ImageResult fog =
            brumelo::decodeImageFile(brumelo::settings().resourceDir + "/Foggy1-HQ.png");
        if (!fog) std::fprintf(stderr, "Foggy1-HQ.png: %s\n", fog.error.c_str());
        picture = fog.image;
    }
    return picture;
}

// Draws into the bound frame buffer as the screen's viewport would, over the whole pane.
void setupPaneDrawing() {
    const brumelo::PaneSize pane = paneSize();
    glViewport(0, 0, screenPixels(pane.width), screenPixels(pane.height));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const auto w = static_cast<GLfloat>(paneHalfWidth()),
               h = static_cast<GLfloat>(paneHalfHeight());
    glOrthof(-w, w, h, -h, -1.0f, 1.0f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
}

// Steam for a pane of another shape than the fog picture's: the picture covering it, centred,
// its alpha the steam as at the start. Its frame buffer is left bound.
std::shared_ptr<Texture2D> makeCoveringSteam() {
    const brumelo::PaneSize pane = paneSize();
    auto steam = Texture2D::initWithSize(
        {static_cast<float>(pane.width), static_cast<float>(pane.height)}, contentScaleFactor);
    if (!steam || !createFramebufferObjectForTexture(*steam, false)) return nullptr;
    steam->setFilter(GL_NEAREST);
    auto fog = Texture2D::initWithImage(fogPicture(), contentScaleFactor);
    if (!fog) return steam;
    setupPaneDrawing();
    const brumelo::SizeF size = fog->drawnSize();
    const float cover = paneCoverScale();
    // A point more each way: filtered, the picture's outer texels blend with what lies past
    // it in the texture.
    const float w = (size.width + 2) * cover, h = (size.height + 2) * cover;
    fog->drawInRect({-w / 2, -h / 2, w, h});
    return steam;
}

// A texture drawn centred as drawAtPoint draws it, but for its outermost texels: filtered,
// they would blend with what lies past the picture in the texture, a dark seam.
void drawWithinEdges(const Texture2D& texture) {
    const brumelo::SizeF size = texture.drawnSize();
    const float inset = 1.0f / texture.pixelsPerPoint();
    const float x0 = -size.width / 2 + inset, x1 = size.width / 2 - inset;
    const float y0 = -size.height / 2 + inset, y1 = size.height / 2 - inset;
    const float ds = 1.0f / static_cast<float>(texture.pixelsWide());
    const float dt = 1.0f / static_cast<float>(texture.pixelsHigh());
    const float s0 = ds, s1 = texture.maxS() - ds, t0 = dt, t1 = texture.maxT() - dt;
    // Low y takes the texture's high t, as drawInRect has it.
    const GLfloat vertices[] = {x0, y0, 0, x1, y0, 0, x0, y1, 0, x1, y1, 0};
    const GLfloat coordinates[] = {s0, t1, s1, t1, s0, t0, s1, t0};
    glDisableClientState(GL_COLOR_ARRAY);
    glColor4f(1, 1, 1, 1);
    glBindTexture(GL_TEXTURE_2D, texture.name());
    glVertexPointer(3, GL_FLOAT, 0, vertices);
    glTexCoordPointer(2, GL_FLOAT, 0, coordinates);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glEnableClientState(GL_COLOR_ARRAY);
}

// New glass starts as the first frame left the glass: thinned once (see the steam screen's
// first composite), so that it meets the carried steam without a seam.
void thinAsTheFirstFrame() {
    const auto w = static_cast<GLfloat>(paneHalfWidth()),
               h = static_cast<GLfloat>(paneHalfHeight());
    const GLfloat vertices[] = {-w, -h, 0, w, -h, 0, -w, h, 0, w, h, 0};
    const GLfloat a = 0.025f;
    const GLfloat colors[] = {0, 0, 0, a, 0, 0, 0, a, 0, 0, 0, a, 0, 0, 0, a};
    glEnable(GL_BLEND);
    glBlendFunc(GL_ZERO, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, vertices);
    glColorPointer(4, GL_FLOAT, 0, colors);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisable(GL_BLEND);
}

// Pixels a point no larger than GL can hold the pane in (a tall pane on a dense phone).
float fittingScale(float scale, brumelo::PaneSize pane) {
    GLint texture = 0, renderbuffer = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE_OES, &renderbuffer);
    const GLint most =
        std::min(texture > 0 ? texture : 4096, renderbuffer > 0 ? renderbuffer : 4096);
    const float longest = static_cast<float>(std::max(pane.width, pane.height));
    return std::max(1.0f,
                    std::min(scale, std::floor(static_cast<float>(most) / longest * 100) / 100));
}

// The main viewport and its twin take the pane's size (both are locked against people
// moving them, not against the screen changing).
void fitViewport(Viewport& viewport) {
    const bool camera = viewport.canManipulateCamera(),
               placement = viewport.canManipulateViewport();
    viewport.setCanManipulateCamera(true);
    viewport.setCanManipulateViewport(true);
    viewport.setScreenPlacement(0, 0, static_cast<float>(paneSize().width),
                                static_cast<float>(paneSize().height));
    viewport.setCanManipulateCamera(camera);
    viewport.setCanManipulateViewport(placement);
}
}  // namespace

_Vector3f EAGLView::worldPoint(double screenX, double screenY) {
    return _Vector3f{screenX - paneHalfWidth(), screenY - paneHalfHeight(), 0.0};
}

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
    const brumelo::PaneSize pane = paneSize();
    viewportMenu = std::make_shared<Viewport>(camera, pane.width, pane.height, 0, 0);
    viewport1 = std::make_shared<Viewport>(camera, pane.width, pane.height, 0, 0);
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
    FILE* recording = std::fopen((brumelo::settings().dataDir + "/Recording.caf").c_str(), "rb");
    if (recording) std::fclose(recording);
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
    const brumelo::PaneSize pane = paneSize();
    contentScaleFactor = fittingScale(contentScaleFactor, pane);
    glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_RGBA8_OES, screenPixels(pane.width),
                             screenPixels(pane.height));
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
    if (!(pane == brumelo::PaneSize{})) {
        _textures[0] = makeCoveringSteam();
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, viewFramebuffer);
        return _textures[0] != nullptr;
    }
    _textures[0] = Texture2D::initWithImage(fogPicture(), contentScaleFactor);
    if (!_textures[0]) return false;
    // The steam has one texel for each pixel of the screen.
    _textures[0]->setFilter(GL_NEAREST);
    return createFramebufferObjectForTexture(*_textures[0], false);
}

bool EAGLView::setContentScaleFactor(float scale) {
    scale = fittingScale(std::clamp(scale, 1.0f, 4.0f), paneSize());
    if (scale == contentScaleFactor) return true;
    return remakeScreen(scale, paneSize());
}

bool EAGLView::setPane(brumelo::PaneSize pane, float scale) {
    scale = fittingScale(std::clamp(scale, 1.0f, 4.0f), pane);
    if (pane == paneSize() && scale == contentScaleFactor) return true;
    return remakeScreen(scale, pane);
}

bool EAGLView::remakeScreen(float scale, brumelo::PaneSize pane) {
    context_->setCurrentContext();
    const bool reshaped = !(pane == paneSize());
    contentScaleFactor = scale;
    setPaneSize(pane);
    if (viewport1) fitViewport(*viewport1);
    if (viewportMenu) fitViewport(*viewportMenu);
    glBindRenderbufferOES(GL_RENDERBUFFER_OES, viewRenderbuffer);
    glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_RGBA8_OES, screenPixels(pane.width),
                             screenPixels(pane.height));
    backingWidth_ = screenPixels(pane.width);
    backingHeight_ = screenPixels(pane.height);
    std::shared_ptr<Texture2D> steam;
    if (reshaped) {
        steam = makeCoveringSteam();
        if (steam && _textures[0]) thinAsTheFirstFrame();
    } else {
        steam = Texture2D::initWithSize(
            {static_cast<float>(pane.width), static_cast<float>(pane.height)}, scale);
        if (steam && !createFramebufferObjectForTexture(*steam, false)) steam.reset();
        if (steam) steam->setFilter(GL_NEAREST);
    }
    if (!steam) return false;
    if (const std::shared_ptr<Texture2D> old = _textures[0]) {
        // What was wiped so far carries over, resampled; on a pane of a new shape only the
        // steam itself, where the old pane lay, over the fog the new one starts with.
        setupPaneDrawing();
        old->setFilter(GL_LINEAR);
        if (reshaped) {
            glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
            drawWithinEdges(*old);
            glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        } else {
            old->drawAtPoint(0.0f, 0.0f);
        }
        GLuint oldFramebuffer = old->fbo();
        if (oldFramebuffer != Texture2D::kNoFramebuffer)
            glDeleteFramebuffersOES(1, &oldFramebuffer);
    }
    _textures[0] = steam;
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, viewFramebuffer);
    TenzoAppDelegate* app = TenzoAppDelegate::getInstance();
    if (app && app->dropletScreen()) {
        if (reshaped) app->dropletScreen()->paneChanged();
        app->dropletScreen()->setNeedsDisplay();
    }
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
