#include "platform/GLWindow.h"

#include <EGL/egl.h>
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>

#include "platform/FramePresenter.h"
#include "platform/GLExtensions.h"

namespace brumelo {

namespace {

constexpr std::int64_t kMouseTouchId = -1;

}  // namespace

struct GLWindow::Impl {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    std::unique_ptr<FramePresenter> presenter;
    // The back buffer keeps its pixels across a swap, so a present may redraw only part of it.
    bool preserved = false;
    bool mouseDown = false;
    double mouseX = 0, mouseY = 0;  // where the mouse finger was last, in points
    std::deque<InputEvent> pending;
    double mouseStartX = 0, mouseStartY = 0;
    bool fingersFromMouse = false;  // the mouse arrives as fingers; its own events are ignored
    struct Finger {
        std::int64_t id;
        int taps;
        double startX, startY;
        double lastX, lastY;
    };
    std::map<std::pair<SDL_TouchID, SDL_FingerID>, Finger> fingers;
    std::int64_t nextFingerId = 1;
    TapCounter taps;

    // Window coordinates (in SDL's window units) to window pixels.
    void toPixels(double& x, double& y) const {
        int w = 0, h = 0, pw = 0, ph = 0;
        SDL_GetWindowSize(window, &w, &h);
        SDL_GL_GetDrawableSize(window, &pw, &ph);
        if (w > 0 && h > 0) {
            x *= static_cast<double>(pw) / w;
            y *= static_cast<double>(ph) / h;
        }
    }
};

std::unique_ptr<GLWindow> GLWindow::create(bool headless, int scale, bool fullscreen,
                                           std::string& whyNot) {
    auto unset = [](const char* name) {
        const char* v = std::getenv(name);
        return !v || !*v;
    };
    if (!headless && unset("DISPLAY") && unset("WAYLAND_DISPLAY") && unset("SDL_VIDEODRIVER")) {
        whyNot = "DISPLAY and WAYLAND_DISPLAY are unset";
        return nullptr;
    }
    if (headless) SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        whyNot = SDL_GetError();
        return nullptr;
    }
    if (!headless) {
        // With no display SDL may fall back on a driver that shows nothing.
        const char* driver = SDL_GetCurrentVideoDriver();
        std::string name = driver ? driver : "";
        if (name.empty() || name == "offscreen" || name == "dummy" || name == "evdev") {
            whyNot = "no display; SDL offers only '" + name + "'";
            SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
            return nullptr;
        }
    }
    std::unique_ptr<GLWindow> self(new GLWindow);
    self->impl_ = std::make_unique<Impl>();
    self->headless_ = headless;
    Impl& d = *self->impl_;

    d.fingersFromMouse = SDL_GetHintBoolean(SDL_HINT_MOUSE_TOUCH_EVENTS, SDL_FALSE);

    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
    // ES 1.1, or ES 2 (Mesa gives its newest ES) where a layer draws the fixed function on it.
    const bool fixedFunction = requiredGLESVersion() == 1;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, fixedFunction ? 1 : 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, fixedFunction ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);

    int s = scale;
    if (s <= 0) {
        s = 1;
        SDL_Rect usable;
        if (!headless && SDL_GetDisplayUsableBounds(0, &usable) == 0) {
            // The largest whole scale that leaves room for the window's decorations.
            s = std::max(1,
                         std::min((usable.w - 40) / kScreenWidth, (usable.h - 80) / kScreenHeight));
        }
    }
    // A software rasteriser's threads cost more in hand-offs and memory than they save on the
    // few pixels a frame changes, up to a frame of three pixels a point; the caller's own
    // setting wins.
    if (headless || s <= 3) setenv("LP_NUM_THREADS", "0", 0);
    // A reference of our own keeps the GL driver loaded when the window goes: unloaded, what it
    // holds until exit could not be told from our own memory by the leak checker.
    SDL_GL_LoadLibrary(nullptr);
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
    if (headless) flags |= SDL_WINDOW_HIDDEN;
    if (fullscreen && !headless) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    d.window = SDL_CreateWindow("Brumelo", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                kScreenWidth * s, kScreenHeight * s, flags);
    if (!d.window) {
        whyNot = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
        return nullptr;
    }
    SDL_SetWindowMinimumSize(d.window, kScreenWidth / 2, kScreenHeight / 2);
    d.context = SDL_GL_CreateContext(d.window);
    if (!d.context || SDL_GL_MakeCurrent(d.window, d.context) != 0) {
        whyNot = std::string("no OpenGL ES 1.1 context: ") + SDL_GetError();
        if (d.context) SDL_GL_DeleteContext(d.context);
        SDL_DestroyWindow(d.window);
        d.window = nullptr;
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
        return nullptr;
    }
    // A layer answers only once it is loaded (and checks the context itself).
    if (!fixedFunction) loadGLExtensions(&GLWindow::getProcAddress);
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (!version || std::string(version).find("ES-CM") == std::string::npos) {
        whyNot = std::string("not an OpenGL ES 1.x context: ") + (version ? version : "none");
        SDL_GL_DeleteContext(d.context);
        SDL_DestroyWindow(d.window);
        d.window = nullptr;
        SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
        return nullptr;
    }
    SDL_GL_SetSwapInterval(0);  // the frame timer paces us, not the display
    if (!headless) {
        // Asked of EGL (SDL's way to ES contexts); elsewhere every present draws it all.
        EGLDisplay display = eglGetCurrentDisplay();
        EGLSurface surface = eglGetCurrentSurface(EGL_DRAW);
        EGLint behaviour = 0;
        d.preserved = display != EGL_NO_DISPLAY && surface != EGL_NO_SURFACE &&
                      eglSurfaceAttrib(display, surface, EGL_SWAP_BEHAVIOR, EGL_BUFFER_PRESERVED) &&
                      eglQuerySurface(display, surface, EGL_SWAP_BEHAVIOR, &behaviour) &&
                      behaviour == EGL_BUFFER_PRESERVED;
    }
    if (!headless) d.presenter = std::make_unique<FramePresenter>();
    return self;
}

GLWindow::~GLWindow() {
    if (!impl_) return;
    if (impl_->context) {
        SDL_GL_MakeCurrent(impl_->window, impl_->context);
        impl_->presenter.reset();
        SDL_GL_MakeCurrent(impl_->window, nullptr);
        SDL_GL_DeleteContext(impl_->context);
    }
    if (impl_->window) SDL_DestroyWindow(impl_->window);
    // The video subsystem stays up, so that the GL driver stays loaded (see create).
}

void GLWindow::makeCurrent() { SDL_GL_MakeCurrent(impl_->window, impl_->context); }

void* GLWindow::getProcAddress(const char* name) { return SDL_GL_GetProcAddress(name); }

bool GLWindow::isContextCurrent() { return SDL_GL_GetCurrentContext() != nullptr; }

void GLWindow::windowPixelSize(int& width, int& height) const {
    SDL_GL_GetDrawableSize(impl_->window, &width, &height);
}

Letterbox GLWindow::letterbox() const {
    int w = 0, h = 0;
    windowPixelSize(w, h);
    return fill_ ? Letterbox::fill(w, h, pane_) : Letterbox::fit(w, h, 0, pane_);
}

void GLWindow::toggleFullscreen() {
    if (headless_) return;
    Uint32 full = SDL_GetWindowFlags(impl_->window) & SDL_WINDOW_FULLSCREEN_DESKTOP;
    SDL_SetWindowFullscreen(impl_->window, full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
}

void GLWindow::present(GLuint screenFramebuffer, int width, int height,
                       const std::vector<PixelRect>* changed) {
    if (headless_ || !impl_->presenter) return;
    int w = 0, h = 0;
    windowPixelSize(w, h);
    impl_->presenter->present(screenFramebuffer, width, height, changed, w, h, letterbox(),
                              impl_->preserved);
}

void GLWindow::setEventListener(std::function<void(const InputEvent&)>) {}

void GLWindow::swap() {
    if (headless_) return;
    glFlush();  // sends what the GL layer holds back
    SDL_GL_SwapWindow(impl_->window);
}

double GLWindow::now() {
    static const auto start = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool GLWindow::keyHeld(InputEvent::KeyName key) const {
    const Uint8* state = SDL_GetKeyboardState(nullptr);
    switch (key) {
        case InputEvent::KeyName::Left:
            return state[SDL_SCANCODE_LEFT];
        case InputEvent::KeyName::Right:
            return state[SDL_SCANCODE_RIGHT];
        case InputEvent::KeyName::Up:
            return state[SDL_SCANCODE_UP];
        case InputEvent::KeyName::Down:
            return state[SDL_SCANCODE_DOWN];
        case InputEvent::KeyName::Space:
            return state[SDL_SCANCODE_SPACE];
        default:
            return false;
    }
}

bool GLWindow::pollEvent(InputEvent& out) {
    Impl& d = *impl_;
    if (!d.pending.empty()) {
        out = d.pending.front();
        d.pending.pop_front();
        return true;
    }
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        out = InputEvent{};
        switch (e.type) {
            case SDL_QUIT:
                out.kind = InputEvent::Kind::Quit;
                return true;
            case SDL_WINDOWEVENT:
                if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
                    // Fingers whose lift we will never see are cancelled, as a phone does.
                    InputEvent cancel;
                    cancel.kind = InputEvent::Kind::TouchCancel;
                    if (d.mouseDown) {
                        d.mouseDown = false;
                        cancel.id = kMouseTouchId;
                        cancel.x = d.mouseX;
                        cancel.y = d.mouseY;
                        d.pending.push_back(cancel);
                    }
                    for (const auto& [key, finger] : d.fingers) {
                        cancel.id = finger.id;
                        cancel.x = finger.lastX;
                        cancel.y = finger.lastY;
                        d.pending.push_back(cancel);
                    }
                    d.fingers.clear();
                    if (!d.pending.empty()) return pollEvent(out);
                    break;
                }
                if (e.window.event == SDL_WINDOWEVENT_MINIMIZED ||
                    e.window.event == SDL_WINDOWEVENT_HIDDEN) {
                    out.kind = InputEvent::Kind::Hidden;
                    return true;
                }
                if (e.window.event == SDL_WINDOWEVENT_RESTORED ||
                    e.window.event == SDL_WINDOWEVENT_SHOWN) {
                    out.kind = InputEvent::Kind::Shown;
                    return true;
                }
                if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED ||
                    e.window.event == SDL_WINDOWEVENT_EXPOSED) {
                    out.kind = InputEvent::Kind::Expose;
                    return true;
                }
                break;
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP:
            case SDL_MOUSEMOTION: {
                // Mouse events SDL makes up from real touches are already fingers.
                if (d.fingersFromMouse) break;
                if ((e.type == SDL_MOUSEMOTION ? e.motion.which : e.button.which) ==
                    SDL_TOUCH_MOUSEID)
                    break;
                if (e.type != SDL_MOUSEMOTION && e.button.button != SDL_BUTTON_LEFT) break;
                if (e.type == SDL_MOUSEMOTION && !d.mouseDown) break;
                double x = e.type == SDL_MOUSEMOTION ? e.motion.x : e.button.x;
                double y = e.type == SDL_MOUSEMOTION ? e.motion.y : e.button.y;
                d.toPixels(x, y);
                Letterbox box = letterbox();
                double px = 0, py = 0;
                bool inside = box.toPoints(x, y, px, py);
                if (e.type == SDL_MOUSEBUTTONDOWN) {
                    if (!inside || d.mouseDown) break;
                    d.mouseDown = true;
                    out.kind = InputEvent::Kind::TouchDown;
                    out.taps = e.button.clicks;
                } else {
                    if (!d.mouseDown) break;
                    if (!inside)
                        box.toPoints(std::clamp<double>(x, box.x, box.x + box.width - 1),
                                     std::clamp<double>(y, box.y, box.y + box.height - 1), px, py);
                    if (e.type == SDL_MOUSEBUTTONUP) {
                        d.mouseDown = false;
                        out.kind = InputEvent::Kind::TouchUp;
                        out.taps = e.button.clicks;
                    } else {
                        out.kind = InputEvent::Kind::TouchMove;
                    }
                }
                out.id = kMouseTouchId;
                out.x = d.mouseX = px;
                out.y = d.mouseY = py;
                return true;
            }
            case SDL_FINGERDOWN:
            case SDL_FINGERMOTION:
            case SDL_FINGERUP: {
                int w = 0, h = 0;
                windowPixelSize(w, h);
                double x = e.tfinger.x * w, y = e.tfinger.y * h;
                Letterbox box = letterbox();
                double px = 0, py = 0;
                bool inside = box.toPoints(x, y, px, py);
                auto key = std::make_pair(e.tfinger.touchId, e.tfinger.fingerId);
                auto it = d.fingers.find(key);
                if (e.type == SDL_FINGERDOWN) {
                    if (!inside || it != d.fingers.end()) break;
                    double t = now();
                    Impl::Finger f{d.nextFingerId++, d.taps.touchBegan(t, px, py), px, py, px, py};
                    d.fingers.emplace(key, f);
                    out.kind = InputEvent::Kind::TouchDown;
                    out.id = f.id;
                    out.taps = f.taps;
                } else {
                    if (it == d.fingers.end()) break;
                    if (!inside)
                        box.toPoints(std::clamp<double>(x, box.x, box.x + box.width - 1),
                                     std::clamp<double>(y, box.y, box.y + box.height - 1), px, py);
                    out.id = it->second.id;
                    out.taps = it->second.taps;
                    it->second.lastX = px;
                    it->second.lastY = py;
                    if (e.type == SDL_FINGERUP) {
                        d.taps.touchEnded(now(), px, py, it->second.taps, it->second.startX,
                                          it->second.startY);
                        d.fingers.erase(it);
                        out.kind = InputEvent::Kind::TouchUp;
                    } else {
                        out.kind = InputEvent::Kind::TouchMove;
                    }
                }
                out.x = px;
                out.y = py;
                return true;
            }
            case SDL_KEYDOWN: {
                out.kind = InputEvent::Kind::Key;
                SDL_Keycode k = e.key.keysym.sym;
                using K = InputEvent::KeyName;
                if (k == SDLK_ESCAPE)
                    out.key = K::Escape;
                else if (k == SDLK_TAB)
                    out.key = (e.key.keysym.mod & KMOD_SHIFT) ? K::BackTab : K::Tab;
                else if (k == SDLK_LEFT)
                    out.key = K::Left;
                else if (k == SDLK_RIGHT)
                    out.key = K::Right;
                else if (k == SDLK_UP)
                    out.key = K::Up;
                else if (k == SDLK_DOWN)
                    out.key = K::Down;
                else if (k == SDLK_RETURN || k == SDLK_KP_ENTER)
                    out.key = K::Enter;
                else if (k == SDLK_F11)
                    out.key = K::F11;
                else if (k == SDLK_SPACE)
                    out.key = K::Space;
                else if (k == SDLK_l)
                    out.key = K::L;
                else if (k == SDLK_c)
                    out.key = K::C;
                else if (k == SDLK_m)
                    out.key = K::M;
                else if (k == SDLK_r)
                    out.key = K::R;
                else if (k == SDLK_PLUS || k == SDLK_EQUALS || k == SDLK_KP_PLUS)
                    out.key = K::Plus;
                else if (k == SDLK_MINUS || k == SDLK_KP_MINUS)
                    out.key = K::Minus;
                else if (k >= SDLK_0 && k <= SDLK_9) {
                    out.key = K::Digit;
                    out.digit = static_cast<int>(k - SDLK_0);
                } else
                    break;
                // Switches do not flicker on a held key; the gain keys may repeat.
                if (e.key.repeat && (out.key == K::Escape || out.key == K::F11 || out.key == K::L ||
                                     out.key == K::M || out.key == K::R))
                    break;
                return true;
            }
            case SDL_DROPFILE:
                if (e.drop.file) {
                    out.kind = InputEvent::Kind::DropFile;
                    out.path = e.drop.file;
                    SDL_free(e.drop.file);
                    return true;
                }
                break;
            default:
                break;
        }
    }
    return false;
}

}  // namespace brumelo
