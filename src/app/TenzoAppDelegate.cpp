#include "app/TenzoAppDelegate.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/BackgroundPictures.h"
#include "app/Settings.h"
#include "audio/AudioStartup.h"
#include "audio/MicrophoneLevel.h"
#include "physics/Random.h"
#include "platform/Image.h"
#include "render/EAGLView.h"
#include "render/Globals.h"
#include "render/SimpleView.h"
#include "render/Texture2D.h"
#include "steam/DropletsScreen.h"

namespace {
TenzoAppDelegate* instance = nullptr;
}

bool isIPodTouch() {
    const std::string& model = brumelo::settings().deviceModel;
    const std::string wanted = "ipod touch";
    return model.size() == wanted.size() &&
           std::equal(model.begin(), model.end(), wanted.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

void my_custom_handler(const std::exception* exception) {
    std::fprintf(stderr, "my_custom_handler BEGIN\n%s\nmy_custom_handler END\n",
                 exception ? exception->what() : "");
    std::fflush(stderr);
}

void installUncaughtExceptionHandler() {
    std::set_terminate([] {
        if (std::exception_ptr current = std::current_exception()) {
            try {
                std::rethrow_exception(current);
            } catch (const std::exception& e) {
                my_custom_handler(&e);
            } catch (...) {
                my_custom_handler(nullptr);
            }
        } else {
            my_custom_handler(nullptr);
        }
        std::abort();
    });
}

void seedRandomFromClock() {
    const auto& seed = brumelo::settings().seed;
    brumelo::seedRandom(seed ? *seed : static_cast<std::uint32_t>(currentAbsoluteTime()));
}

void interruptionListenerCallback(void*, std::uint32_t) {}

TenzoAppDelegate::TenzoAppDelegate() { instance = this; }

TenzoAppDelegate::~TenzoAppDelegate() {
    if (instance == this) instance = nullptr;
}

TenzoAppDelegate* TenzoAppDelegate::getInstance() { return instance; }

namespace {

std::shared_ptr<Texture2D> resourceTexture(const std::string& name) {
    brumelo::ImageResult picture =
        brumelo::decodeImageFile(brumelo::settings().resourceDir + "/" + name);
    if (!picture) std::fprintf(stderr, "%s: %s\n", name.c_str(), picture.error.c_str());
    return Texture2D::initWithImage(picture.image);
}

}  // namespace

void TenzoAppDelegate::applicationDidFinishLaunching() {
    installUncaughtExceptionHandler();
    seedRandomFromClock();

    const brumelo::Settings& s = brumelo::settings();
    _textures[2] = resourceTexture("Droplet1.png");
    _textures[3] = resourceTexture("Droplet2.png");
    // Coming later, it is not shown: the glass look's photo is.
    std::error_code ec;
    if (!s.shippedPictureLater || std::filesystem::exists(s.resourceDir + "/back1.png", ec))
        _textures[1] = resourceTexture("back1.png");

    // The silence floor is measured afresh over the first second of every launch.
    brumelo::microphoneLevel() = brumelo::MicrophoneLevel(s.micGain);
    if (!s.soundLater) startSound();
    simpleViewGame = SimpleView::getSimpleViewGame();
    fingerDown = false;
    std::fill(std::begin(audioLevels), std::end(audioLevels), 0.0f);
    std::fill(std::begin(peakLevels), std::end(peakLevels), 0.0f);

    dropletScreen_ = DropletsScreen::initDropletsScreen(viewport1.get());
    // The screen frame buffer keeps its pixels, so only what changed needs drawing again.
    dropletScreen_->setPartialRedraw(!s.fullRedraw);
    if (glView_) {
        glView_->setAnimationInterval(0.02);
        glView_->startAnimation();
    }
    brumelo::loadStoredBackground();
}

void TenzoAppDelegate::startSound() {
    if (soundStarted_) return;
    soundStarted_ = true;
    // The sounds, the output context, the level blocks and the recorder, in one go.
    const brumelo::Settings& s = brumelo::settings();
    brumelo::startAudio(s.resourceDir, s.dataDir, s.micFile, s.headless);
    adjustEffectsVolumes();
}

void TenzoAppDelegate::accelerometerDidAccelerate(double x, double y, double z) {
    accel_ = {x, y, z};
    if (dropletScreen_) dropletScreen_->setGravityVector(_Vector3f{x, -y, z});
}
