#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

class Image;

// Mails the picture on the screen: a mailto URL whose HTML body holds it inline as a JPEG data
// URL, opened with the desktop's URL opener. recipient may be empty.
void emailImage(const std::string& recipient);

namespace brumelo {

// The escaped mailto URL for a JPEG picture, as emailImage opens it, shown at width x height.
std::string emailImageURL(const std::string& recipient, std::span<const std::uint8_t> jpeg,
                          int width = 320, int height = 480);

// Escapes as UTF-8 %XX every byte that may not stand in a URL; the URL's delimiters and the
// other characters a URL allows stay as they are.
std::string escapeURLText(const std::string& text);

// The screen as it is now (the steam screen's screenshot of the screen frame buffer), or
// nullptr when there is no screen yet.
std::shared_ptr<Image> takeScreenshot();

// "Save your Brumie": the screen as a new PNG in the pictures folder. Returns its path, or empty
// after logging why it failed.
std::string saveScreenshotToPictures();

}  // namespace brumelo
