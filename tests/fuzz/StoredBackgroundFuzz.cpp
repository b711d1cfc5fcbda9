// The stored background, "CustomBG.png" in the data folder: at launch whatever bytes lie there
// become the background texture or leave the default up, and the file is never touched; a
// picked file replaces it whole with an upright picture of at most 480 pixels a side, or not at
// all. Needs a headless GL context (llvmpipe) for the textures.

#include <filesystem>
#include <fstream>
#include <iterator>

#include "FuzzSupport.h"
#include "app/AlertView.h"
#include "app/BackgroundPictures.h"
#include "app/Settings.h"
#include "app/TenzoAppDelegate.h"
#include "platform/GLContext.h"
#include "platform/Image.h"
#include "render/Globals.h"
#include "render/Texture2D.h"
#include "render/Viewport.h"
#include "steam/DropletsScreen.h"

namespace {

struct World {
    std::unique_ptr<brumelo::HeadlessGLContext> gl;
    std::shared_ptr<Viewport> viewport;
    TenzoAppDelegate delegate;
    std::string stored;
    std::string picked;
};

World* world = nullptr;

std::vector<std::uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    world = new World;
    std::string error;
    world->gl = brumelo::HeadlessGLContext::create(&error);
    if (!world->gl) {
        std::fprintf(stderr, "no headless GL context: %s\n", error.c_str());
        std::abort();
    }
    brumelo::settings().headless = true;
    brumelo::settings().dataDir = fuzz::scratchFolder() + "/data";
    brumelo::settings().picturesDir = fuzz::scratchFolder() + "/pictures";
    brumelo::settings().resourceDir = BRUMELO_SOURCE_DIR "/resources";
    std::filesystem::create_directories(brumelo::settings().dataDir);
    world->stored = getCustomBGURL();
    world->picked = fuzz::scratchFolder() + "/picked";
    const brumelo::ImageResult shipped =
        brumelo::decodeImageFile(BRUMELO_SOURCE_DIR "/resources/back1.png");
    FUZZ_CHECK(shipped);
    _textures[1] = Texture2D::initWithImage(shipped.image);
    world->viewport = std::make_shared<Viewport>(_Vector3f{0, 0, 1}, 320, 480, 0, 0);
    world->delegate.setDropletScreen(DropletsScreen::initDropletsScreen(world->viewport.get()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    DropletsScreen& screen = *world->delegate.dropletScreen();

    // Launch with these bytes stored (and no copy for the glass look from an earlier pick).
    std::error_code gone;
    std::filesystem::remove(getDenseBackgroundPath(), gone);
    fuzz::writeBytes(world->stored, data, size);
    screen.resetBackgroundTextureRandom();
    brumelo::loadStoredBackground();
    const std::shared_ptr<Texture2D>& shown = screen.backgroundTexture();
    FUZZ_CHECK(shown != nullptr);
    if (shown != _textures[1]) {
        FUZZ_CHECK(shown->pixelsWide() >= 1 && shown->pixelsWide() <= 1024);
        FUZZ_CHECK(shown->pixelsHigh() >= 1 && shown->pixelsHigh() <= 1024);
        FUZZ_CHECK(shown->contentSize().width > 0 && shown->contentSize().height > 0);
    }
    FUZZ_CHECK(readAll(world->stored) == std::vector<std::uint8_t>(data, data + size));

    // Pick the same bytes as a file: stored whole and upright, or the old file kept.
    fuzz::writeBytes(world->picked, data, size);
    const std::vector<std::uint8_t> before = readAll(world->stored);
    world->delegate.useBackgroundFile(world->picked);
    while (AlertView* alert = AlertView::visibleAlert()) alert->pressButton(0);
    const std::vector<std::uint8_t> after = readAll(world->stored);
    if (after != before) {
        const brumelo::ImageResult stored = brumelo::decodeImage(after);
        FUZZ_CHECK(stored);
        FUZZ_CHECK(stored.image->width() <= 480 && stored.image->height() <= 480);
    }
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(brumelo::settings().dataDir, ec)) {
        if (entry.path().filename() == "CustomBG-dense.png") {
            // The glass look's copy: the whole pane at 1 to 4 pixels a point.
            const brumelo::ImageResult dense = brumelo::decodeImage(readAll(entry.path().string()));
            FUZZ_CHECK(dense);
            FUZZ_CHECK(dense.image->width() >= 320 && dense.image->width() <= 1280);
            FUZZ_CHECK(dense.image->width() * 3 == dense.image->height() * 2);
            continue;
        }
        FUZZ_CHECK(entry.path().filename() == "CustomBG.png");
    }
    return 0;
}
