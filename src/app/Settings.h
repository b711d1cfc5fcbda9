#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace brumelo {

// How the droplets and their trails are drawn: the original dark pictures, or lenses of water.
enum class Look { Classic, Glass };

// What the command line chose for this run. Filled once by main before start-up; read anywhere.
struct Settings {
    bool headless = false;
    int frames = 250;                   // headless runs: frames to draw
    std::optional<std::uint32_t> seed;  // --seed: fixes the random generator
    std::string scriptFile;             // --script
    std::string screenshotFile;         // --screenshot: the last frame, at exit
    std::string dataDir;                // documents folder (CustomBG.png, Recording.caf)
    std::string picturesDir;     // where "Save your Brumie" writes; empty: XDG Pictures/Brumelo
    std::string openUrlCommand;  // empty: xdg-open
    std::string micFile;         // --mic-file: audio fed as the microphone
    std::string backgroundFile;  // --background: picked at launch
    std::string deviceModel;     // empty: this machine's
    std::string accelDevice;     // --accel-device: an IIO device folder
    std::string cameraDevice;    // --camera: the live background's camera
    std::string cameraPipeline;  // --camera-pipeline: a GStreamer source in place of a camera
    bool cameraAsked = false;    // either was given: this run starts with the camera on
    std::string resourceDir;     // where the shipped pictures and sounds are
    int scale = 0;               // --scale: window scale, 0 for automatic
    bool fullscreen = false;
    int renderScale = 0;      // --render-scale: frame pixels per point; 0 follows the window
    bool fullRedraw = false;  // --full-redraw: composite the whole screen every frame
    // --pane WxH: a screen of this shape, whatever the window's (0: the window's; headless
    // runs 320 x 480).
    int paneWidth = 0, paneHeight = 0;
    // The sounds arrive after launch (a web page loads them after its first frame):
    // TenzoAppDelegate::startSound starts the output, the sounds and the microphone then.
    bool soundLater = false;
    // The shipped background may arrive after launch (a page's first visit in the glass look,
    // which does not show it): brumelo::shippedPictureArrived stores it then.
    bool shippedPictureLater = false;
    bool canQuit = true;  // false where the program may not end itself (a web page): Esc only
                          // closes menus
    // Remembered between runs in settingsFile (empty: nothing is remembered).
    Look look = Look::Glass;
    double micGain = 1.0;  // multiplies the microphone's level above its silence floor
    bool regrow = false;   // wiped steam fogs up again over about a minute
    std::string settingsFile;
};

Settings& settings();

}  // namespace brumelo
