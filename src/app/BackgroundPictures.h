#pragma once

#include <optional>
#include <string>

class Image;

// The stored background: "CustomBG.png" in the data folder.
std::string getCustomBGURL();

// The picture brought upright by its orientation code and scaled so that its longer side is at
// most 480 pixels. Throws std::logic_error("Invalid image orientation") for a code outside 0..7.
Image scaleAndRotateImage(const Image& picture);

namespace brumelo {

// Launch: shows the stored background, or on a first launch stores the shipped one (and saves
// a copy to the pictures folder). A stored file that cannot be decoded leaves the default
// background up and logs why.
void loadStoredBackground();

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
