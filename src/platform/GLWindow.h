#pragma once

#include <GLES/gl.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/FramePresenter.h"
#include "platform/InputMapping.h"

namespace brumelo {

// Input from the window, already in the pane's points (origin top-left).
struct InputEvent {
    enum class Kind {
        None,
        Quit,
        TouchDown,
        TouchMove,
        TouchUp,
        TouchCancel,
        Key,       // key: one of the named keys below
        DropFile,  // path
        Expose     // the window was resized or uncovered
    };
    enum class KeyName {
        Other,
        Escape,
        Tab,
        BackTab,
        Left,
        Right,
        Up,
        Down,
        Enter,
        Digit,
        F11,
        Space,
        L,     // the look
        M,     // the microphone's level meter
        R,     // steam that regrows
        Plus,  // microphone gain up (also =)
        Minus  // microphone gain down
    };
    Kind kind = Kind::None;
    std::int64_t id = 0;
    double x = 0, y = 0;
    int taps = 1;
    KeyName key = KeyName::Other;
    int digit = 0;
    std::string path;
};

// The SDL window with its OpenGL ES 1.1 context; headless, the same thing on SDL's offscreen
// driver with nothing shown. Presenting draws the off-screen frame of the pane letterboxed.
class GLWindow {
  public:
    // Returns nullptr and says why when no window or no ES 1.1 context can be made. scale sets
    // the window's first size only; the picture then fills whatever size the window takes.
    static std::unique_ptr<GLWindow> create(bool headless, int scale, bool fullscreen,
                                            std::string& whyNot);
    ~GLWindow();
    GLWindow(const GLWindow&) = delete;
    GLWindow& operator=(const GLWindow&) = delete;

    bool headless() const { return headless_; }
    void makeCurrent();
    static void* getProcAddress(const char* name);
    static bool isContextCurrent();

    // Copies the screen frame buffer's picture (width x height pixels) into the window, scaled
    // into the letterbox. Leaves the window's frame buffer bound so more can be drawn over it
    // before swap(). `changed`, when given, lists all that changed since the last present and
    // nothing was drawn over the picture since: where the window keeps its pixels between
    // frames, only those parts are copied.
    void present(GLuint screenFramebuffer, int width, int height,
                 const std::vector<PixelRect>* changed = nullptr);
    void swap();

    Letterbox letterbox() const;
    // The pane the picture shows; input comes in its points. fill: the picture takes all the
    // window its shape allows (a pane made for the window), else a whole-number scale where
    // one fits.
    void setPane(PaneSize pane, bool fill) {
        pane_ = pane;
        fill_ = fill;
    }
    PaneSize pane() const { return pane_; }
    void windowPixelSize(int& width, int& height) const;
    void toggleFullscreen();

    // Next event, or false when none is waiting.
    bool pollEvent(InputEvent& event);
    // Where the window system hands over input by callback (the browser), each event goes to
    // the listener as it comes, while the system is still handling it (so what the program
    // starts then counts as the person's doing), and pollEvent sees none. SDL's events wait
    // for pollEvent.
    void setEventListener(std::function<void(const InputEvent&)> listener);
    // Held keys, for the keyboard tilt.
    bool keyHeld(InputEvent::KeyName key) const;
    // Seconds since start, for timers.
    static double now();

  private:
    GLWindow() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
    bool headless_ = false;
    PaneSize pane_;
    bool fill_ = false;
};

}  // namespace brumelo
