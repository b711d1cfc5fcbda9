#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/Script.h"
#include "app/Settings.h"
#include "platform/Accelerometer.h"
#include "platform/GLWindow.h"
#include "render/Touch.h"

class EAGLView;
class TenzoAppDelegate;

namespace brumelo {

class WindowContext;

// One run of the program: the window (or its headless stand-in), the view, the delegate, and
// the loop that feeds them input, timer ticks and accelerometer samples.
class Program {
  public:
    explicit Program(Settings settings);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Loads the script, opens the window (falling back to headless), creates the view and runs
    // the launch sequence. 0 on success, else the exit status to end with.
    int launch();
    // The whole run after launch; returns the exit status.
    int run();

    // Headless: delivers the script's events for the next frame, then draws it.
    void stepFrame();
    // One turn of the window's loop: the waiting input, the accelerometer when a sample is due,
    // the frame when one is due. Returns when (GLWindow::now()) the next one is due; quit()
    // tells whether the run is over.
    double stepWindow();
    // After the loop was held up on purpose (a hidden page): count frames from the next turn on.
    void restartClock();
    bool quit() const { return quit_; }
    // Input from the window, whenever it arrives.
    void handleEvent(const InputEvent& event);
    // Input as the window or the script delivers it, in screen points.
    void deliver(const ScriptEvent& event);
    void setAccelerometer(const AccelSample& sample) { scriptedAccel_ = sample; }
    int framesDrawn() const { return frame_; }
    bool headless() const;

    // The window's keys for the choices: L the look, R regrowing steam, + and - the microphone
    // gain (all three remembered), M the level meter. False for any other key.
    bool pressKey(InputEvent::KeyName key);

    // Writes the last frame drawn as PNG; false with a log line when it cannot.
    bool writeScreenshot(const std::string& path);

  private:
    // Pixels a point the frame is drawn at: the option's, else the window's.
    double renderScale() const;
    // The pane for this run: --pane's, else the window's shape (headless: the phone's).
    PaneSize wantedPane() const;
    // Gives the window and the view the pane wanted now, at the window's density.
    void fitPane();
    void touch(ScriptEvent::Kind kind, std::int64_t id, double x, double y, int taps);
    void sendAccelerometer(double dt);
    int runWindow();
    int runHeadless();
    void shutdown();

    Settings settings_;
    std::vector<ScriptEvent> script_;
    std::size_t nextEvent_ = 0;
    int frame_ = 0;
    std::unique_ptr<GLWindow> window_;
    std::unique_ptr<TenzoAppDelegate> delegate_;
    std::unique_ptr<EAGLView> view_;
    WindowContext* windowContext_ = nullptr;  // the view's, for presentation
    std::unique_ptr<Accelerometer> accelerometer_;
    std::optional<AccelSample> scriptedAccel_;
    struct ActiveTouch {
        Touch touch;
        bool toAlert = false;
    };
    std::unordered_map<std::int64_t, ActiveTouch> touches_;
    bool quit_ = false;
    bool shutDown_ = false;
    bool loopStarted_ = false;
    double nextFrame_ = 0, nextSample_ = 0, lastSample_ = 0, lastFrame_ = 0;
};

}  // namespace brumelo
