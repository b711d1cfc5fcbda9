#pragma once

#include <optional>
#include <string>

#include "platform/Image.h"

// The stored background: "CustomBG.png" in the data folder.
std::string getCustomBGURL();
// Beside it, the same picture as the glass look shows it: covering the pane at its density.
std::string getDenseBackgroundPath();

// The picture brought upright by its orientation code and scaled so that its longer side is at
// most 480 pixels. Throws std::logic_error("Invalid image orientation") for a code outside 0..7.
Image scaleAndRotateImage(const Image& picture);

namespace brumelo {

// The glass look's picture while the person has chosen none, beside the shipped pictures.
constexpr const char* kGlassDefaultPicture = "window-view.jpg";
// Its stand-in, a quarter as wide and high, where the whole photo comes later (a page shows
// the stand-in on its first frame rather than wait for the download).
constexpr const char* kGlassFirstPicture = "window-view-first.jpg";

// The whole glass-look photo has arrived beside the shipped pictures, or will not: it replaces
// its stand-in if that still shows.
void glassPictureArrived();

// Pictures keep at most this many pixels a point.
constexpr float kMaxPicturePixelsPerPoint = 4.0f;

// The picture upright, covering a pane of this many points (the screen's, by default) centred
// and cropped, at as many
// pixels a point as it has to give (1 to kMaxPicturePixelsPerPoint, in quarters). Throws as
// scaleAndRotateImage does.
struct CoverPicture {
    Image image;
    float pixelsPerPoint = 1.0f;
};
CoverPicture coverPicture(const Image& picture, float paneWidth = 0, float paneHeight = 0);

// Pixels a picked picture's shorter side needs for the densest cover in any orientation: a
// larger photo may be decoded down to it.
int pickedPictureShorterSide();

// Launch: shows the stored background, or on a first launch stores the shipped one (and saves
// a copy to the pictures folder). A stored file that cannot be decoded leaves the default
// background up and logs why.
void loadStoredBackground();

// The look changed: the stored picture as this look shows it (covering the pane in the glass
// look), when one is stored.
void showStoredBackgroundForLook();

// The open picker, once a frame: lets the desktop's chooser answer.
void pollImagePicker();
// Whether a picker waits for an answer.
bool imagePickerVisible();
// Answers for the person (a script's pick line): a file, or nullopt to cancel. With no picker
// open a file is used as if dropped on the window.
void answerImagePicker(const std::optional<std::string>& path);

// Pictures larger than this on either side are refused (the drawing surfaces stop there).
constexpr int kMaxPictureSide = 32767;
// Files larger than this are not read at all.
constexpr std::size_t kMaxPictureFileBytes = 256u << 20;

}  // namespace brumelo
