#include "app/BackgroundPictures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "app/AlertView.h"
#include "app/LiveCamera.h"
#include "app/Settings.h"
#include "app/TenzoAppDelegate.h"
#include "platform/BitmapContext.h"
#include "platform/FileChooser.h"
#include "platform/Image.h"
#include "platform/PictureFiles.h"
#include "render/Globals.h"
#include "steam/DropletsScreen.h"

namespace {

std::unique_ptr<brumelo::FileChooser> imagePickerController;

std::string dataFolder() {
    const std::string& dir = brumelo::settings().dataDir;
    if (!dir.empty()) return dir;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg == '/') return std::string(xdg) + "/brumelo";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/share/brumelo";
}

std::string fileName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void refusePicture(const std::string& path, const std::string& reason, bool tooLarge) {
    std::fprintf(stderr, "background: %s: %s\n", path.c_str(), reason.c_str());
    const std::string name = fileName(path);
    AlertView::showAndKeep(std::make_shared<AlertView>(
        tooLarge ? "Picture too large" : "Not a picture",
        tooLarge ? "\"" + name + "\" is too large to use as a background."
                 : "\"" + name + "\" is not a picture Brumelo can use. Choose a PNG or JPEG photo.",
        nullptr, "Dismiss", std::vector<std::string>{}));
}

// The glass look's stand-in shows, waiting for the whole photo.
bool standInShows = false;

void showBackground(const Image& picture) {
    standInShows = false;
    TenzoAppDelegate* app = TenzoAppDelegate::getInstance();
    if (app && app->dropletScreen()) app->dropletScreen()->resetBackgroundTextureWithImage(picture);
}

bool glassLook() { return brumelo::settings().look == brumelo::Look::Glass; }

void showDenseBackground(const Image& picture) {
    standInShows = false;
    TenzoAppDelegate* app = TenzoAppDelegate::getInstance();
    if (app && app->dropletScreen())
        app->dropletScreen()->resetBackgroundTextureWithDenseImage(
            picture, static_cast<float>(picture.width()) / paneWidthPoints());
}

// Whole or not at all: a crash mid-write must not leave a broken stored picture.
void storePicture(const Image& picture, const std::string& path, const char* what) {
    std::string error;
    const std::vector<std::uint8_t> png = brumelo::encodePNG(picture, &error);
    if (png.empty() || !brumelo::writeFileAtomically(path, png, &error))
        std::fprintf(stderr, "background: %s: %s\n", what, error.c_str());
}

}  // namespace

std::string getCustomBGURL() { return dataFolder() + "/" + "CustomBG.png"; }

std::string getDenseBackgroundPath() { return dataFolder() + "/" + "CustomBG-dense.png"; }

namespace {

// The picture upright by its orientation code, `scale` times its size; with a cover size, on
// a canvas of that many pixels, centred and cropped.
Image uprightImage(const Image& picture, float boundsW, float boundsH, int coverW = 0,
                   int coverH = 0) {
    const float W = static_cast<float>(picture.width());
    const float H = static_cast<float>(picture.height());
    const int o = picture.orientation();
    const float scale = boundsW / W;

    using brumelo::AffineTransform;
    const float pi = static_cast<float>(M_PI);
    AffineTransform t = AffineTransform::identity();
    bool swap = false;
    switch (o) {
        case ImageOrientationUp:
            break;
        case ImageOrientationUpMirrored:
            t = t.translated(W, 0).scaled(-1, 1);
            break;
        case ImageOrientationDown:
            t = t.translated(W, H).rotated(pi);
            break;
        case ImageOrientationDownMirrored:
            t = t.translated(0, H).scaled(1, -1);
            break;
        case ImageOrientationLeftMirrored:
            swap = true;
            t = t.translated(H, W).scaled(-1, 1).rotated(3 * pi / 2);
            break;
        case ImageOrientationLeft:
            swap = true;
            t = t.translated(0, W).rotated(3 * pi / 2);
            break;
        case ImageOrientationRightMirrored:
            swap = true;
            t = t.scaled(-1, 1).rotated(pi / 2);
            break;
        case ImageOrientationRight:
            swap = true;
            t = t.translated(H, 0).rotated(pi / 2);
            break;
    }
    if (swap) std::swap(boundsW, boundsH);

    int width = std::max(1, static_cast<int>(std::lround(boundsW)));
    int height = std::max(1, static_cast<int>(std::lround(boundsH)));
    const float spareW = coverW > 0 ? boundsW - static_cast<float>(coverW) : 0.0f;
    const float spareH = coverH > 0 ? boundsH - static_cast<float>(coverH) : 0.0f;
    if (coverW > 0 && coverH > 0) {
        width = coverW;
        height = coverH;
    }
    // An opaque, upright picture at its own size is cut, not drawn: the same pixels, and no
    // drawing surface (in the browser a canvas's round trip, much of a start-up).
    const bool whole = std::fmod(spareW, 2.0f) == 0.0f && std::fmod(spareH, 2.0f) == 0.0f;
    if (o == ImageOrientationUp && scale == 1.0f && boundsH == H && whole && !picture.hasAlpha())
        return Image(width, height,
                     picture.opaqueArea(static_cast<int>(spareW / 2), static_cast<int>(spareH / 2),
                                        width, height),
                     picture.alphaInfo());
    brumelo::BitmapContext context(width, height, brumelo::BitmapContext::Format::RGBA);
    if (spareW != 0.0f || spareH != 0.0f) context.translate(-spareW / 2, spareH / 2);
    // An image context's user space starts y-down from the top-left.
    context.translate(0, height);
    context.scale(1, -1);
    if (o == ImageOrientationRight || o == ImageOrientationLeft) {
        context.scale(-scale, scale);
        context.translate(-H, 0);
    } else {
        context.scale(scale, -scale);
        // The turned mirror codes stand the picture W high: lifting it by H would cut W - H
        // off one end and leave an empty band at the other.
        const bool turnedMirror =
            o == ImageOrientationLeftMirrored || o == ImageOrientationRightMirrored;
        context.translate(0, -(turnedMirror ? W : H));
    }
    context.concat(t);
    context.drawImage(picture, 0, 0, W, H);
    Image result = context.makeImage();
    result.setAlphaInfo(picture.alphaInfo());
    return result;
}

}  // namespace

Image scaleAndRotateImage(const Image& picture) {
    const float W = static_cast<float>(picture.width());
    const float H = static_cast<float>(picture.height());
    const int o = picture.orientation();
    if (o < 0 || o > 7) throw std::logic_error("Invalid image orientation");

    float boundsW = W, boundsH = H;
    if (W > 480 || H > 480) {
        const float ratio = W / H;
        if (ratio > 1) {
            boundsW = 480;
            boundsH = 480 / ratio;
        } else {
            boundsW = ratio * 480;
            boundsH = 480;
        }
    }
    return uprightImage(picture, boundsW, boundsH);
}

namespace brumelo {

CoverPicture coverPicture(const Image& picture, float paneWidth, float paneHeight) {
    if (paneWidth <= 0 || paneHeight <= 0) {
        paneWidth = paneWidthPoints();
        paneHeight = paneHeightPoints();
    }
    const int o = picture.orientation();
    if (o < 0 || o > 7) throw std::logic_error("Invalid image orientation");
    const bool turned = o == ImageOrientationLeft || o == ImageOrientationRight ||
                        o == ImageOrientationLeftMirrored || o == ImageOrientationRightMirrored;
    const float W = static_cast<float>(picture.width());
    const float H = static_cast<float>(picture.height());
    const float uprightW = turned ? H : W, uprightH = turned ? W : H;
    // As many pixels a point as the picture has to give where it covers the pane, 1 to 4.
    const float density =
        std::clamp(std::floor(std::min(uprightW / paneWidth, uprightH / paneHeight) * 4.0f) / 4.0f,
                   1.0f, kMaxPicturePixelsPerPoint);
    const int coverW = static_cast<int>(std::lround(paneWidth * density));
    const int coverH = static_cast<int>(std::lround(paneHeight * density));
    const float scale = std::max(coverW / uprightW, coverH / uprightH);
    Image covered = uprightImage(picture, W * scale, H * scale, coverW, coverH);
    return {std::move(covered), density};
}

int pickedPictureShorterSide() {
    return static_cast<int>(std::max(paneWidthPoints(), paneHeightPoints()) *
                            kMaxPicturePixelsPerPoint);
}

}  // namespace brumelo

void TenzoAppDelegate::pickImage() {
    imagePickerController.reset();
    brumelo::FileChooser::Options options;
    options.interactive = !brumelo::settings().headless;
    options.keepShorterSide = brumelo::pickedPictureShorterSide();
    auto chooser = std::make_unique<brumelo::FileChooser>(
        [](const std::optional<std::string>& path) {
            TenzoAppDelegate* app = TenzoAppDelegate::getInstance();
            if (!app) return;
            if (path)
                app->useBackgroundFile(*path);
            else
                app->imagePickerControllerDidCancel();
        },
        options);
    imagePickerController = std::move(chooser);
    imagePickerController->open("Choose background");
}

void TenzoAppDelegate::imagePickerControllerDidCancel() {
    // The picker keeps its object until the next pick; its dialog is already closed.
}

void TenzoAppDelegate::imagePickerControllerDidFinishPickingImage(
    const std::shared_ptr<Image>& picture) {
    if (!picture || picture->empty()) return;
    // A picture chosen is a still background again.
    brumelo::stopLiveCamera();
    const Image upright = needsImageWorkaround() ? scaleAndRotateImage(*picture) : *picture;
    if (glassLook()) {
        // The glass look fills the pane at the screen's density; the classic picture is kept
        // as it always was, and stored first: a dense copy older than it is not used.
        const brumelo::CoverPicture cover = brumelo::coverPicture(*picture);
        showDenseBackground(cover.image);
        storePicture(upright, getCustomBGURL(), "not stored");
        storePicture(cover.image, getDenseBackgroundPath(), "dense copy not stored");
    } else {
        showBackground(upright);
        // A dense copy of an older picture must not come back in place of this one.
        std::error_code ec;
        std::filesystem::remove(getDenseBackgroundPath(), ec);
        storePicture(upright, getCustomBGURL(), "not stored");
    }
}

void TenzoAppDelegate::useBackgroundFile(const std::string& path) {
    std::string error;
    const auto bytes = brumelo::readWholeFile(path, brumelo::kMaxPictureFileBytes, &error);
    if (!bytes) {
        const bool tooLarge = error.find("too large") != std::string::npos;
        refusePicture(path, error, tooLarge);
        return;
    }
    // Enough for the densest cover in any orientation, and never a 48-megapixel photo whole.
    brumelo::ImageResult decoded = brumelo::decodeImageReduced(bytes->data(), bytes->size(),
                                                               brumelo::pickedPictureShorterSide());
    if (!decoded) {
        const bool tooLarge = decoded.error.find("too large") != std::string::npos;
        refusePicture(path, decoded.error, tooLarge);
        return;
    }
    if (decoded.image->width() > brumelo::kMaxPictureSide ||
        decoded.image->height() > brumelo::kMaxPictureSide) {
        refusePicture(path, "picture too large", true);
        return;
    }
    imagePickerControllerDidFinishPickingImage(decoded.image);
}

namespace brumelo {

// The glass look's own default: a photograph shows the frost and the lenses off where the
// drawn evening, which stays the stored picture and the classic look's, would look flat.
static bool showGlassDefault() {
    std::string path = settings().resourceDir + "/" + kGlassDefaultPicture;
    std::error_code ec;
    const bool standIn = !std::filesystem::is_regular_file(path, ec);
    if (standIn) path = settings().resourceDir + "/" + kGlassFirstPicture;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    const ImageResult photo = decodeImageFile(path);
    if (!photo) {
        std::fprintf(stderr, "background: %s: %s\n", path.c_str(), photo.error.c_str());
        return false;
    }
    showDenseBackground(coverPicture(*photo.image).image);
    standInShows = standIn;
    return true;
}

void glassPictureArrived() {
    if (!standInShows) return;
    standInShows = false;
    std::error_code ec;
    if (std::filesystem::is_regular_file(
            settings().resourceDir + "/" + kGlassDefaultPicture, ec))
        showGlassDefault();
}

// The drawn evening: the classic look's picture and the first stored one.
static std::string shippedPicturePath() { return settings().resourceDir + "/back1.png"; }

// First launch: the shipped picture is stored, and the person given a copy of it.
static void storeShippedPicture() {
    std::string error;
    const auto bytes = readWholeFile(shippedPicturePath(), kMaxPictureFileBytes, &error);
    if (!bytes) {
        std::fprintf(stderr, "background: %s\n", error.c_str());
        return;
    }
    if (saveNewFile(picturesFolder(settings().picturesDir), "back1", ".png", *bytes, &error)
            .empty())
        std::fprintf(stderr, "background: not saved to pictures: %s\n", error.c_str());
    if (!writeFileAtomically(getCustomBGURL(), *bytes, &error))
        std::fprintf(stderr, "background: not stored: %s\n", error.c_str());
}

void loadStoredBackground() {
    const std::string stored = getCustomBGURL();
    std::string error;
    std::error_code ec;
    // The dense copy stands for the stored picture only if it was written after it.
    const auto denseTime = std::filesystem::last_write_time(getDenseBackgroundPath(), ec);
    const bool denseCurrent =
        !ec && std::filesystem::is_regular_file(getDenseBackgroundPath(), ec) && !ec &&
        denseTime >= std::filesystem::last_write_time(stored, ec) && !ec;
    if (glassLook() && denseCurrent) {
        const auto bytes = readWholeFile(getDenseBackgroundPath(), kMaxPictureFileBytes, &error);
        ImageResult decoded = bytes ? decodeImage(*bytes) : ImageResult{nullptr, error};
        const float density =
            decoded ? static_cast<float>(decoded.image->width()) / paneWidthPoints() : 0.0f;
        if (decoded && density >= 1.0f && density <= kMaxPicturePixelsPerPoint) {
            showDenseBackground(*decoded.image);
            return;
        }
        std::fprintf(stderr, "background: cannot show %s: using %s\n",
                     getDenseBackgroundPath().c_str(), stored.c_str());
    }
    const std::string shipped = shippedPicturePath();
    if (std::filesystem::exists(std::filesystem::symlink_status(stored, ec))) {
        // A stored picture that cannot be used is left as it is: the default shows instead.
        const auto bytes = readWholeFile(stored, kMaxPictureFileBytes, &error);
        if (glassLook() && bytes && *bytes == readWholeFile(shipped, kMaxPictureFileBytes) &&
            showGlassDefault())
            return;
        ImageResult decoded = bytes ? decodeImage(*bytes) : ImageResult{nullptr, error};
        // Beyond this the drawing surfaces give up, and the background would come out blank.
        if (decoded &&
            (decoded.image->width() > kMaxPictureSide || decoded.image->height() > kMaxPictureSide))
            decoded = {nullptr, "picture too large"};
        if (decoded)
            showBackground(*decoded.image);
        else
            std::fprintf(stderr, "background: cannot show %s (%s): using the default\n",
                         stored.c_str(), decoded.error.c_str());
        return;
    }
    if (glassLook()) showGlassDefault();
    // It comes later: stored then.
    if (settings().shippedPictureLater && !std::filesystem::exists(shipped, ec)) return;
    storeShippedPicture();
}

void shippedPictureArrived() {
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(getCustomBGURL(), ec)))
        storeShippedPicture();
}

void showStoredBackgroundForLook() {
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(getCustomBGURL(), ec)))
        loadStoredBackground();
}

void pollImagePicker() {
    if (imagePickerController) imagePickerController->poll();
}

bool imagePickerVisible() { return imagePickerController && imagePickerController->waiting(); }

void answerImagePicker(const std::optional<std::string>& path) {
    if (imagePickerController && imagePickerController->waiting()) {
        imagePickerController->answer(path);
        return;
    }
    if (path)
        if (TenzoAppDelegate* app = TenzoAppDelegate::getInstance()) app->useBackgroundFile(*path);
}

}  // namespace brumelo
