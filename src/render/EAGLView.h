#pragma once

#include <GLES/gl.h>

#include <memory>
#include <optional>
#include <vector>

#include "physics/Vector3f.h"
#include "platform/InputMapping.h"
#include "render/Touch.h"

class AlertView;
class AlertViewDelegate;
class Texture2D;
class Viewport;

// What the view draws with: the GL context and the place its frames are shown.
class EAGLContext {
  public:
    virtual ~EAGLContext() = default;
    virtual bool setCurrentContext() = 0;
    virtual bool isCurrentContext() const = 0;
    virtual void clearCurrentContext() = 0;
    // Shows the frame just drawn into the screen frame buffer.
    virtual void presentRenderbuffer(GLuint framebuffer) = 0;
};

// The repeating frame timer. The program's main loop fires it; invalidating stops it.
class FrameTimer {
  public:
    explicit FrameTimer(double interval) : interval_(interval) {}
    double interval() const { return interval_; }
    bool valid() const { return valid_; }
    void invalidate() { valid_ = false; }

  private:
    double interval_;
    bool valid_ = true;
};

// The one full-screen view: the GL context, the screen frame buffer, the frame loop and the
// touches.
class EAGLView {
  public:
    // Makes the screen frame buffer, the steam texture, the viewports and the menus, and shows
    // the menu on a first run. nullptr when the context or a frame buffer cannot be made.
    static std::unique_ptr<EAGLView> initWithCoder(std::shared_ptr<EAGLContext> context);
    ~EAGLView();
    EAGLView(const EAGLView&) = delete;
    EAGLView& operator=(const EAGLView&) = delete;

    bool createFramebuffer();
    // Remakes the screen frame buffer and the steam at this many pixels a point (1 to 4), the
    // steam wiped so far carried over. False when GL cannot make them.
    bool setContentScaleFactor(float scale);
    // Remakes the screen frame buffer, the steam and the viewports for a pane of a new size at
    // this many pixels a point: the wiped steam carried over where it still lies on the pane
    // (new glass steamed), the droplets kept where they fit. False when GL cannot make them.
    bool setPane(brumelo::PaneSize pane, float scale);
    void destroyFramebuffer();
    bool createFramebufferObjectForTexture(Texture2D& texture, bool clear);

    void startAnimation();
    void stopAnimation();
    void setAnimationInterval(double interval);
    double animationInterval() const { return animationInterval_; }
    void setAnimationTimer(std::shared_ptr<FrameTimer> timer);
    const std::shared_ptr<FrameTimer>& animationTimer() const { return animationTimer_; }
    const std::shared_ptr<EAGLContext>& context() const { return context_; }
    void setContext(std::shared_ptr<EAGLContext> context) { context_ = std::move(context); }

    void timerLoop();
    void layoutSubviews() { timerLoop(); }

    void touchesBegan(const std::vector<Touch>& touches);
    void touchesMoved(const std::vector<Touch>& touches);
    void touchesEnded(const std::vector<Touch>& touches);
    void touchesCancelled(const std::vector<Touch>& touches);

    std::shared_ptr<Viewport> getViewport(const Touch& touch) const;
    void manipulateViewportPinch(Viewport& viewport, const std::vector<Touch>& touches);
    void manipulateViewportMove(Viewport& viewport, const Touch& touch);

    int backingWidth() const { return backingWidth_; }
    int backingHeight() const { return backingHeight_; }
    AlertView* menuAlert() const { return menuAlert_.get(); }
    AlertView* aboutAlert() const { return aboutAlert_.get(); }
    AlertView* menuMoreAlert() const { return menuMoreAlert_.get(); }
    double lastUpdateTime() const { return lastUpdateTime_; }

    // A fixed microphone level in place of the recorder's (scripted runs); nullopt: the recorder.
    void setLevelOverride(std::optional<float> level) { levelOverride_ = level; }

    // Screen point (origin top-left, y down) to world point.
    static _Vector3f worldPoint(double screenX, double screenY);

  private:
    EAGLView() = default;
    bool remakeScreen(float scale, brumelo::PaneSize pane);

    int backingWidth_ = 0;
    int backingHeight_ = 0;
    std::shared_ptr<EAGLContext> context_;
    GLuint depthRenderbuffer_ = 0;
    std::shared_ptr<FrameTimer> animationTimer_;
    double animationInterval_ = 0.02;
    std::shared_ptr<AlertView> menuAlert_;
    std::shared_ptr<AlertView> aboutAlert_;
    std::shared_ptr<AlertView> menuMoreAlert_;
    std::vector<std::shared_ptr<AlertViewDelegate>> alertDelegates_;
    double lastUpdateTime_ = 0;
    std::optional<float> levelOverride_;
};

// Seconds of absolute time, as the frame loop stamps its frames.
double currentAbsoluteTime();
