// The page's canvas as the window: a WebGL 2 context (the GL ES 1.1 layer draws through it),
// sized to the page at the device's pixel ratio, the pane's frame filling it. Touches
// come with their own identifiers and tap counts; the mouse is one finger.

#include "platform/GLWindow.h"

#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>

#include "platform/FramePresenter.h"
#include "platform/GLContext.h"
#include "platform/GLExtensions.h"
#include "platform/web/Browser.h"
#include "gles1/Gles1Layer.h"

namespace brumelo {

namespace {

constexpr const char* kCanvas = "#canvas";
constexpr std::int64_t kMouseTouchId = -1;
// Steam drawn since the last read back is lost with the context: read it back this often
// (in frames shown), besides when the page is hidden or left.
constexpr int kKeepEvery = 100;
// The canvas's size follows resize events; it is looked at every this many frames too, for a
// change no event told of (reading it makes the browser lay the page out: a tenth of a frame).
constexpr int kFitEvery = 30;

}  // namespace

struct GLWindow::Impl {
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
    std::unique_ptr<FramePresenter> presenter;
    bool preserved = false;  // the canvas keeps its pixels between frames
    bool lost = false;       // the WebGL context, until the browser gives it back
    int presents = 0;
    std::function<void(const InputEvent&)> listener;
    std::deque<InputEvent> pending;
    int width = 0, height = 0;  // canvas pixels
    double pixelRatio = 1;

    struct Finger {
        std::int64_t id;
        int taps;
        double startX, startY, lastX, lastY;
    };
    std::map<long, Finger> fingers;  // by the browser's touch identifier
    std::int64_t nextFingerId = 1;
    bool mouseDown = false;
    Finger mouse{kMouseTouchId, 1, 0, 0, 0, 0};
    TapCounter taps;
    bool held[5] = {false, false, false, false, false};  // left, right, up, down, space

    void send(const InputEvent& e) {
        if (listener)
            listener(e);
        else
            pending.push_back(e);
    }

    // True when the canvas changed size.
    bool fitCanvas() {
        double cssWidth = 0, cssHeight = 0;
        emscripten_get_element_css_size(kCanvas, &cssWidth, &cssHeight);
        pixelRatio = std::max(0.25, emscripten_get_device_pixel_ratio());
        const int w = std::max(1, static_cast<int>(std::lround(cssWidth * pixelRatio)));
        const int h = std::max(1, static_cast<int>(std::lround(cssHeight * pixelRatio)));
        if (w == width && h == height) return false;
        width = w;
        height = h;
        emscripten_set_canvas_element_size(kCanvas, w, h);
        return true;
    }

    const PaneSize* pane = nullptr;  // the window's
    Letterbox box() const { return Letterbox::fill(width, height, *pane); }

    // A place on the canvas, in CSS pixels from its corner, as screen points; false outside the
    // picture, where a moving finger is held at the edge instead.
    bool toPoints(double cssX, double cssY, double& px, double& py, bool clampToEdge) const {
        const Letterbox b = box();
        double x = cssX * pixelRatio, y = cssY * pixelRatio;
        if (b.toPoints(x, y, px, py)) return true;
        if (!clampToEdge || b.width <= 0 || b.height <= 0) return false;
        x = std::clamp<double>(x, b.x, b.x + b.width - 1);
        y = std::clamp<double>(y, b.y, b.y + b.height - 1);
        return b.toPoints(x, y, px, py);
    }

    void fingerDown(Finger& f, double px, double py) {
        f.taps = taps.touchBegan(GLWindow::now(), px, py);
        f.startX = f.lastX = px;
        f.startY = f.lastY = py;
        InputEvent e;
        e.kind = InputEvent::Kind::TouchDown;
        e.id = f.id;
        e.taps = f.taps;
        e.x = px;
        e.y = py;
        send(e);
    }

    void fingerMoved(Finger& f, double px, double py, InputEvent::Kind kind) {
        f.lastX = px;
        f.lastY = py;
        if (kind == InputEvent::Kind::TouchUp)
            taps.touchEnded(GLWindow::now(), px, py, f.taps, f.startX, f.startY);
        InputEvent e;
        e.kind = kind;
        e.id = f.id;
        e.taps = f.taps;
        e.x = px;
        e.y = py;
        send(e);
    }

    // Fingers whose lift will never be seen are cancelled, as a phone does.
    void cancelAll() {
        std::vector<Finger> gone;
        if (mouseDown) gone.push_back(mouse);
        for (const auto& [key, f] : fingers) gone.push_back(f);
        mouseDown = false;
        fingers.clear();
        for (Finger& f : gone) fingerMoved(f, f.lastX, f.lastY, InputEvent::Kind::TouchCancel);
        std::fill(std::begin(held), std::end(held), false);
    }

    static EM_BOOL onTouch(int type, const EmscriptenTouchEvent* e, void* data) {
        auto* self = static_cast<Impl*>(data);
        for (int i = 0; i < e->numTouches; ++i) {
            const EmscriptenTouchPoint& t = e->touches[i];
            if (!t.isChanged) continue;
            double px = 0, py = 0;
            auto it = self->fingers.find(t.identifier);
            if (type == EMSCRIPTEN_EVENT_TOUCHSTART) {
                if (it != self->fingers.end() ||
                    !self->toPoints(static_cast<double>(t.targetX), static_cast<double>(t.targetY),
                                    px, py, false))
                    continue;
                Finger f{self->nextFingerId++, 1, 0, 0, 0, 0};
                self->fingerDown(self->fingers.emplace(t.identifier, f).first->second, px, py);
                continue;
            }
            if (it == self->fingers.end()) continue;
            self->toPoints(static_cast<double>(t.targetX), static_cast<double>(t.targetY), px, py,
                           true);
            Finger f = it->second;
            if (type == EMSCRIPTEN_EVENT_TOUCHMOVE) {
                self->fingerMoved(it->second, px, py, InputEvent::Kind::TouchMove);
                continue;
            }
            self->fingers.erase(it);
            self->fingerMoved(f, px, py,
                              type == EMSCRIPTEN_EVENT_TOUCHEND ? InputEvent::Kind::TouchUp
                                                                : InputEvent::Kind::TouchCancel);
        }
        // No scrolling or zooming, and no mouse events made up from the touches.
        return EM_TRUE;
    }

    static EM_BOOL onMouse(int type, const EmscriptenMouseEvent* e, void* data) {
        auto* self = static_cast<Impl*>(data);
        if (type != EMSCRIPTEN_EVENT_MOUSEMOVE && e->button != 0) return EM_FALSE;
        if (type == EMSCRIPTEN_EVENT_MOUSEMOVE && !self->mouseDown) return EM_FALSE;
        double originX = 0, originY = 0;
        brumelo_canvas_origin(&originX, &originY);
        const double x = static_cast<double>(e->clientX) - originX;
        const double y = static_cast<double>(e->clientY) - originY;
        double px = 0, py = 0;
        if (type == EMSCRIPTEN_EVENT_MOUSEDOWN) {
            if (self->mouseDown || !self->toPoints(x, y, px, py, false)) return EM_FALSE;
            self->mouseDown = true;
            self->fingerDown(self->mouse, px, py);
            return EM_TRUE;
        }
        if (!self->mouseDown) return EM_FALSE;
        self->toPoints(x, y, px, py, true);
        if (type == EMSCRIPTEN_EVENT_MOUSEUP) self->mouseDown = false;
        self->fingerMoved(self->mouse, px, py,
                          type == EMSCRIPTEN_EVENT_MOUSEUP ? InputEvent::Kind::TouchUp
                                                           : InputEvent::Kind::TouchMove);
        return EM_TRUE;
    }

    static int heldIndex(const char* code) {
        if (!std::strcmp(code, "ArrowLeft")) return 0;
        if (!std::strcmp(code, "ArrowRight")) return 1;
        if (!std::strcmp(code, "ArrowUp")) return 2;
        if (!std::strcmp(code, "ArrowDown")) return 3;
        if (!std::strcmp(code, "Space")) return 4;
        return -1;
    }

    static EM_BOOL onKey(int type, const EmscriptenKeyboardEvent* e, void* data) {
        auto* self = static_cast<Impl*>(data);
        const int heldKey = heldIndex(e->code);
        if (heldKey >= 0) self->held[heldKey] = type == EMSCRIPTEN_EVENT_KEYDOWN;
        if (type != EMSCRIPTEN_EVENT_KEYDOWN) return heldKey >= 0;
        using K = InputEvent::KeyName;
        InputEvent out;
        out.kind = InputEvent::Kind::Key;
        const std::string code = e->code;
        if (code == "Escape")
            out.key = K::Escape;
        else if (code == "Tab")
            out.key = e->shiftKey ? K::BackTab : K::Tab;
        else if (code == "ArrowLeft")
            out.key = K::Left;
        else if (code == "ArrowRight")
            out.key = K::Right;
        else if (code == "ArrowUp")
            out.key = K::Up;
        else if (code == "ArrowDown")
            out.key = K::Down;
        else if (code == "Enter" || code == "NumpadEnter")
            out.key = K::Enter;
        else if (code == "F11")
            out.key = K::F11;
        else if (code == "Space")
            out.key = K::Space;
        else if (code == "KeyL")
            out.key = K::L;
        else if (code == "KeyC")
            out.key = K::C;
        else if (code == "KeyM")
            out.key = K::M;
        else if (code == "KeyR")
            out.key = K::R;
        else if (code == "Equal" || code == "NumpadAdd")
            out.key = K::Plus;
        else if (code == "Minus" || code == "NumpadSubtract")
            out.key = K::Minus;
        else if (code.size() == 6 && code.compare(0, 5, "Digit") == 0) {
            out.key = K::Digit;
            out.digit = code[5] - '0';
        } else
            return EM_FALSE;
        if (e->ctrlKey || e->altKey || e->metaKey) return EM_FALSE;
        if (e->repeat && (out.key == K::Escape || out.key == K::F11)) return EM_TRUE;
        self->send(out);
        return EM_TRUE;
    }

    // A new size (turned, full screen) draws the frame again at the new density.
    static EM_BOOL onResize(int, const EmscriptenUiEvent*, void* data) {
        auto* self = static_cast<Impl*>(data);
        if (self->fitCanvas()) {
            InputEvent e;
            e.kind = InputEvent::Kind::Expose;
            self->send(e);
        }
        return EM_FALSE;
    }

    static EM_BOOL onBlur(int, const EmscriptenFocusEvent*, void* data) {
        static_cast<Impl*>(data)->cancelAll();
        return EM_FALSE;
    }

    static EM_BOOL onVisibility(int, const EmscriptenVisibilityChangeEvent* e, void* data) {
        auto* self = static_cast<Impl*>(data);
        if (e->hidden) {
            self->cancelAll();
            // Phones drop hidden pages' contexts first.
            self->keepSteam();
        }
        return EM_FALSE;
    }

    void keepSteam() {
        if (lost || emscripten_is_webgl_context_lost(context)) return;
        emscripten_webgl_make_context_current(context);
        gles1::keepRenderedTextures();
    }

    static void onPageHide(void* data) { static_cast<Impl*>(data)->keepSteam(); }

    // The loop waits; the default (never giving the context back) is prevented.
    static EM_BOOL onContextLost(int, const void*, void* data) {
        auto* self = static_cast<Impl*>(data);
        self->lost = true;
        self->cancelAll();
        emscripten_pause_main_loop();
        std::fprintf(stderr, "WebGL context lost; waiting for the browser to give it back\n");
        return EM_TRUE;
    }

    // Every object made again under its old name, filled from what was kept; the frame drawn
    // whole.
    static EM_BOOL onContextRestored(int, const void*, void* data) {
        auto* self = static_cast<Impl*>(data);
        emscripten_webgl_make_context_current(self->context);
        brumelo_gl_renew_names();
        gles1::restoreObjects();
        self->presenter = std::make_unique<FramePresenter>();
        self->lost = false;
        std::fprintf(stderr, "WebGL context restored\n");
        InputEvent e;
        e.kind = InputEvent::Kind::Expose;
        self->send(e);
        emscripten_resume_main_loop();
        return EM_TRUE;
    }
};

std::unique_ptr<GLWindow> GLWindow::create(bool headless, int, bool fullscreen,
                                           std::string& whyNot) {
    std::unique_ptr<GLWindow> self(new GLWindow);
    self->impl_ = std::make_unique<Impl>();
    Impl& d = *self->impl_;
    d.pane = &self->pane_;
    d.fitCanvas();

    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_FALSE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.premultipliedAlpha = EM_TRUE;
    // Pictures of the window taken for a report read the canvas after frames that drew nothing
    // new; elsewhere the canvas need not keep its pixels.
    d.preserved = brumelo_page_has("capture") != 0;
    attributes.preserveDrawingBuffer = d.preserved ? EM_TRUE : EM_FALSE;
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    // The layer draws with WebGL 2's own features; enabling every extension costs the browser a
    // round trip to its GPU process each.
    attributes.enableExtensionsByDefault = EM_FALSE;
    d.context = emscripten_webgl_create_context(kCanvas, &attributes);
    if (d.context <= 0 ||
        emscripten_webgl_make_context_current(d.context) != EMSCRIPTEN_RESULT_SUCCESS) {
        whyNot = "this browser offers no WebGL 2";
        brumelo_fail("Brumelo needs WebGL 2, which this browser does not offer.");
        return nullptr;
    }
    // Headless or not, the page is the window; the frame is shown either way.
    self->headless_ = false;
    (void)headless;
    // The fixed-function layer keeps its state for this context, made before anything draws;
    // it keeps what it needs to make the context's objects again after a loss.
    gles1::keepObjectsForRestore(true);
    glContextMadeCurrent(currentGLContextIdentity());
    if (!loadGLExtensions(&GLWindow::getProcAddress)) {
        whyNot = "the GL ES 1.1 layer cannot draw with this WebGL";
        emscripten_webgl_destroy_context(d.context);
        d.context = 0;
        return nullptr;
    }

    emscripten_set_touchstart_callback(kCanvas, &d, EM_FALSE, &Impl::onTouch);
    emscripten_set_touchmove_callback(kCanvas, &d, EM_FALSE, &Impl::onTouch);
    emscripten_set_touchend_callback(kCanvas, &d, EM_FALSE, &Impl::onTouch);
    emscripten_set_touchcancel_callback(kCanvas, &d, EM_FALSE, &Impl::onTouch);
    emscripten_set_mousedown_callback(kCanvas, &d, EM_FALSE, &Impl::onMouse);
    emscripten_set_mousemove_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, &d, EM_FALSE, &Impl::onMouse);
    emscripten_set_mouseup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, &d, EM_FALSE, &Impl::onMouse);
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, &d, EM_FALSE, &Impl::onKey);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, &d, EM_FALSE, &Impl::onKey);
    emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, &d, EM_FALSE, &Impl::onResize);
    emscripten_set_blur_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, &d, EM_FALSE, &Impl::onBlur);
    emscripten_set_visibilitychange_callback(&d, EM_FALSE, &Impl::onVisibility);
    emscripten_set_webglcontextlost_callback(kCanvas, &d, EM_FALSE, &Impl::onContextLost);
    emscripten_set_webglcontextrestored_callback(kCanvas, &d, EM_FALSE, &Impl::onContextRestored);
    brumelo_on_page_hide(&Impl::onPageHide, &d);
    brumelo_install_gesture_hooks();
    if (fullscreen) brumelo_toggle_fullscreen();

    d.presenter = std::make_unique<FramePresenter>();
    return self;
}

GLWindow::~GLWindow() {
    if (!impl_) return;
    emscripten_html5_remove_all_event_listeners();
    if (impl_->context > 0) {
        makeCurrent();
        impl_->presenter.reset();
        glContextDestroyed(currentGLContextIdentity());
        emscripten_webgl_destroy_context(impl_->context);
    }
}

void GLWindow::makeCurrent() {
    if (emscripten_webgl_get_current_context() != impl_->context) {
        emscripten_webgl_make_context_current(impl_->context);
        glContextMadeCurrent(currentGLContextIdentity());
    }
}

void* GLWindow::getProcAddress(const char*) { return nullptr; }

bool GLWindow::isContextCurrent() { return emscripten_webgl_get_current_context() > 0; }

void GLWindow::windowPixelSize(int& width, int& height) const {
    width = impl_->width;
    height = impl_->height;
}

Letterbox GLWindow::letterbox() const { return impl_->box(); }

void GLWindow::toggleFullscreen() { brumelo_toggle_fullscreen(); }

void GLWindow::present(GLuint screenFramebuffer, int width, int height,
                       const std::vector<PixelRect>* changed) {
    if (impl_->presents % kFitEvery == 0) impl_->fitCanvas();
    // Unless it is preserved, the canvas keeps nothing between frames: each present is whole.
    impl_->presenter->present(screenFramebuffer, width, height, changed, impl_->width,
                              impl_->height, impl_->box(), impl_->preserved);
    if (++impl_->presents % kKeepEvery == 0) gles1::keepRenderedTextures();
}

// The browser shows the canvas once the frame's turn of the loop returns.
void GLWindow::swap() {}

double GLWindow::now() { return emscripten_get_now() / 1000.0; }

bool GLWindow::keyHeld(InputEvent::KeyName key) const {
    switch (key) {
        case InputEvent::KeyName::Left:
            return impl_->held[0];
        case InputEvent::KeyName::Right:
            return impl_->held[1];
        case InputEvent::KeyName::Up:
            return impl_->held[2];
        case InputEvent::KeyName::Down:
            return impl_->held[3];
        case InputEvent::KeyName::Space:
            return impl_->held[4];
        default:
            return false;
    }
}

bool GLWindow::pollEvent(InputEvent& event) {
    if (impl_->pending.empty()) return false;
    event = impl_->pending.front();
    impl_->pending.pop_front();
    return true;
}

void GLWindow::setEventListener(std::function<void(const InputEvent&)> listener) {
    impl_->listener = std::move(listener);
}

}  // namespace brumelo
