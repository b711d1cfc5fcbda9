#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

class DropletsScreen;
class EAGLView;
class Image;

// True when the device model is "iPod Touch" (any letter case); such a device is treated a little
// differently by the steam, the menus and the view.
bool isIPodTouch();

// The uncaught-exception handler's log: three lines, the middle one the reason (empty without one).
void my_custom_handler(const std::exception* exception);

// Makes my_custom_handler the handler of exceptions nobody catches.
void installUncaughtExceptionHandler();

// Seeds the random generator from the clock in whole seconds, or with --seed when given.
void seedRandomFromClock();

// Audio interruptions are not handled.
void interruptionListenerCallback(void* data, std::uint32_t interruptionState);

// The application's delegate: launch sequence, device input, and the one place every other
// part reaches the steam screen and the GL view through.
class TenzoAppDelegate {
  public:
    TenzoAppDelegate();
    virtual ~TenzoAppDelegate();

    // The running program's delegate (the most recently created one).
    static TenzoAppDelegate* getInstance();
    static void adjustEffectsVolumes() {}

    // The launch sequence: pictures, sounds, microphone, the steam screen, the frame timer.
    void applicationDidFinishLaunching();
    // The sound output, the wipe sounds and the microphone; at launch unless the settings'
    // soundLater says they come later. Once only.
    void startSound();
    bool soundStarted() const { return soundStarted_; }
    void applicationWillResignActive() {}
    void applicationDidBecomeActive() {}
    // An accelerometer sample in the device's axes (g); the world's y runs the other way.
    void accelerometerDidAccelerate(double x, double y, double z);
    const std::array<double, 3>& accel() const { return accel_; }

    const std::shared_ptr<DropletsScreen>& dropletScreen() const { return dropletScreen_; }
    void setDropletScreen(std::shared_ptr<DropletsScreen> screen) {
        dropletScreen_ = std::move(screen);
    }
    EAGLView* glView() const { return glView_; }
    void setGlView(EAGLView* view) { glView_ = view; }

    // Background pictures: the picker and what a picked picture does.
    bool needsImageWorkaround() const { return true; }
    void pickImage();
    void imagePickerControllerDidCancel();
    void imagePickerControllerDidFinishPickingImage(const std::shared_ptr<Image>& picture);
    // A picture file chosen by any road (picker, drop on the window, --background, a script):
    // decoded, brought upright and made the background; one that is not a picture says so.
    void useBackgroundFile(const std::string& path);

  private:
    std::array<double, 3> accel_{0.0, 0.0, 0.0};
    std::shared_ptr<DropletsScreen> dropletScreen_;
    EAGLView* glView_ = nullptr;
    bool soundStarted_ = false;
};
