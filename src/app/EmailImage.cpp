#include "app/EmailImage.h"

#include <algorithm>
#include <cstdio>

#include "app/BackgroundPictures.h"
#include "app/Credits.h"
#include "app/NSDataAdditions.h"
#include "app/Settings.h"
#include "app/TenzoAppDelegate.h"
#include "platform/GLExtensions.h"
#include "platform/Image.h"
#include "platform/PictureFiles.h"
#include "platform/UrlOpener.h"
#include "render/Globals.h"
#include "steam/DropletsScreen.h"

namespace brumelo {

namespace {
bool allowedInURL(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    // Unreserved marks, then the reserved delimiters of RFC 3986.
    static const char kAllowed[] = "-._~:/?#[]@!$&'()*+,;=";
    for (const char* p = kAllowed; *p; ++p)
        if (static_cast<unsigned char>(*p) == c) return true;
    return false;
}
}  // namespace

std::string escapeURLText(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (unsigned char c : text) {
        if (allowedInURL(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::string emailImageURL(const std::string& recipient, std::span<const std::uint8_t> jpeg,
                          int width, int height) {
    const std::string text = NSDataAdditions::base64Encoding(jpeg);
    const std::string link = std::string("<a href=\"") + credits::storePageURL + "\">Brumelo</a>";
    const std::string intro = "I created the following image with " + link +
                              ". You can only see the image from your iPhone Mail.app:<br/>";
    const std::string outro = "<hr/>Get " + link +
                              " from the App Store while it's on SALE and make your own steamy "
                              "pics!";
    const std::string url =
        "mailto:" + recipient + "?subject=" + "Check this out! - Brumelo" + "&body=" + intro +
        "<img src=\"data:image/" + "jpg" + ";base64," + text + "\" alt=\"" +
        "Brumelo image unavailable, please see this from your iPhone Mail.app" + "\" width=\"" +
        std::to_string(width) + "\" height=\"" + std::to_string(height) + "\">" + outro;
    return escapeURLText(url);
}

std::shared_ptr<Image> takeScreenshot() {
    TenzoAppDelegate* app = TenzoAppDelegate::getInstance();
    if (!app || !app->dropletScreen()) return nullptr;
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &previous);
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, viewFramebuffer);
    std::shared_ptr<Image> picture = app->dropletScreen()->getScreenshot();
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, static_cast<GLuint>(previous));
    return picture;
}

std::string saveScreenshotToPictures() {
    const std::shared_ptr<Image> picture = takeScreenshot();
    if (!picture || picture->empty()) {
        std::fprintf(stderr, "save picture: no screen picture to save\n");
        return {};
    }
    std::string error;
    const std::vector<std::uint8_t> png = encodePNG(*picture, &error);
    if (png.empty()) {
        std::fprintf(stderr, "save picture: %s\n", error.c_str());
        return {};
    }
    const std::string path =
        saveNewFile(picturesFolder(settings().picturesDir), "Brumie", ".png", png, &error);
    if (path.empty()) std::fprintf(stderr, "save picture: %s\n", error.c_str());
    return path;
}

}  // namespace brumelo

namespace {

// The picture at width x height pixels, each the mean of the pixels it covers.
Image shrunk(const Image& picture, int width, int height) {
    const int pw = picture.width(), ph = picture.height();
    std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        const int y0 = y * ph / height, y1 = std::max(y0 + 1, (y + 1) * ph / height);
        for (int x = 0; x < width; ++x) {
            const int x0 = x * pw / width, x1 = std::max(x0 + 1, (x + 1) * pw / width);
            unsigned sum[3] = {0, 0, 0};
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx)
                    for (int c = 0; c < 3; ++c)
                        sum[c] += picture.pixels()[(static_cast<std::size_t>(sy) * pw + sx) * 4 +
                                                   static_cast<std::size_t>(c)];
            const auto n = static_cast<unsigned>((y1 - y0) * (x1 - x0));
            std::uint8_t* p = out.data() + (static_cast<std::size_t>(y) * width + x) * 4;
            for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>((sum[c] + n / 2) / n);
            p[3] = 255;
        }
    }
    return Image(width, height, std::move(out), ImageAlpha::NoneSkipLast);
}

}  // namespace

void emailImage(const std::string& recipient) {
    const std::shared_ptr<Image> picture = brumelo::takeScreenshot();
    std::vector<std::uint8_t> jpeg;
    // A dense screen's picture would outgrow what a mail link can carry: the mail gets the
    // pane's points at one pixel each.
    const brumelo::PaneSize pane = paneSize();
    if (picture && !picture->empty()) {
        if (picture->width() <= pane.width)
            jpeg = brumelo::encodeJPEG(*picture, 0.8);
        else if (pane == brumelo::PaneSize{})
            jpeg = brumelo::encodeJPEG(scaleAndRotateImage(*picture), 0.8);
        else
            jpeg = brumelo::encodeJPEG(shrunk(*picture, pane.width, pane.height), 0.8);
    }
    brumelo::openURL(brumelo::emailImageURL(recipient, jpeg, pane.width, pane.height),
                     brumelo::settings().openUrlCommand);
}
