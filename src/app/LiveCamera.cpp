#include "app/LiveCamera.h"

#include <GLES/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "app/AlertView.h"
#include "app/Settings.h"
#include "app/TenzoAppDelegate.h"
#include "app/WindowOverlay.h"
#include "platform/Camera.h"
#include "render/Globals.h"
#include "render/Texture2D.h"
#include "steam/DropletsScreen.h"

namespace brumelo {
namespace {

struct Live {
    std::unique_ptr<Camera> camera;
    Camera::Frame frame;
    std::vector<std::uint8_t> rows;  // a cropped frame's rows, packed
    std::shared_ptr<Texture2D> texture;
    int width = 0, height = 0;  // of the frames the texture holds
    bool hidden = false;
};

Live& live() {
    static Live state;
    return state;
}

DropletsScreen* screen() {
    TenzoAppDelegate* app = TenzoAppDelegate::getInstance();
    return app ? app->dropletScreen().get() : nullptr;
}

void release() {
    Live& l = live();
    l.frame = {};
    l.camera.reset();
    l.texture.reset();
    l.width = l.height = 0;
    if (DropletsScreen* s = screen()) s->endLiveBackground();
}

void sayWhy(const std::string& why) {
    std::fprintf(stderr, "camera: %s; the still picture is back\n", why.c_str());
    AlertView::showAndKeep(std::make_shared<AlertView>(
        "Live camera", "The camera cannot be shown: " + why + ".", nullptr, "Dismiss",
        std::vector<std::string>{}));
}

// A frame covers the pane centred and cropped, at this many of its pixels a point.
float coverDensity(int width, int height) {
    return std::min(static_cast<float>(width) / paneWidthPoints(),
                    static_cast<float>(height) / paneHeightPoints());
}

// A texture for frames of this size; `fresh` when it holds none yet.
bool prepareTexture(Live& l, int width, int height, bool& fresh) {
    fresh = false;
    if (width <= 0 || height <= 0) return false;
    if (!l.texture || width != l.width || height != l.height) {
        l.texture =
            Texture2D::initWithSize({static_cast<float>(width), static_cast<float>(height)}, 1.0f);
        if (!l.texture) return false;
        l.width = width;
        l.height = height;
        fresh = true;
    }
    // The pane's shape may have changed since the last frame.
    l.texture->setPixelsPerPoint(coverDensity(width, height));
    return true;
}

// The columns and rows of a frame the next picture can show, where they lie in the frame:
// the pane's and as far as the lenses see, a texel to spare each side for filtering. The rest
// is not uploaded: about half of a landscape camera's frame behind a portrait pane.
struct Span {
    int from = 0, count = 0;
};
Span shownSpan(int whole, float reachPoints, float pixelsPerPoint) {
    const float middle = static_cast<float>(whole) / 2.0f, half = reachPoints * pixelsPerPoint;
    const int from = std::clamp(static_cast<int>(std::floor(middle - half)) - 1, 0, whole);
    const int to = std::clamp(static_cast<int>(std::ceil(middle + half)) + 1, from, whole);
    return {from, to - from};
}

// The newest frame into the texture: straight from the camera where it can, else the part of
// its pixels the picture shows.
bool takeAndUpload(Live& l) {
    int width = 0, height = 0;
    bool fresh = false;
    if (l.camera->newFrameSize(width, height))
        return prepareTexture(l, width, height, fresh) && l.camera->uploadFrame(l.texture->name());
    if (!l.camera->takeFrame(l.frame)) return false;
    Camera::Frame& f = l.frame;
    if (!f.rgba || f.stride < static_cast<std::size_t>(f.width) * 4 ||
        !prepareTexture(l, f.width, f.height, fresh)) {
        l.frame = {};
        return false;
    }
    Span across{0, f.width}, down{0, f.height};
    if (!fresh) {
        // A texture's first frame goes in whole: what lies past the part shown later is then
        // at worst a little old, never blank.
        DropletsScreen* s = screen();
        const brumelo::SizeF reach =
            s ? s->backgroundReach()
              : brumelo::SizeF{paneWidthPoints() / 2, paneHeightPoints() / 2};
        const float density = coverDensity(f.width, f.height);
        across = shownSpan(f.width, reach.width, density);
        down = shownSpan(f.height, reach.height, density);
    }
    const std::size_t row = static_cast<std::size_t>(across.count) * 4;
    const std::uint8_t* rows = f.rgba + f.stride * static_cast<std::size_t>(down.from) +
                               static_cast<std::size_t>(across.from) * 4;
    // GL ES 1.1 takes tightly packed rows only.
    if (f.stride != row) {
        l.rows.resize(row * static_cast<std::size_t>(down.count));
        for (int y = 0; y < down.count; ++y)
            std::memcpy(l.rows.data() + row * static_cast<std::size_t>(y),
                        rows + f.stride * static_cast<std::size_t>(y), row);
        rows = l.rows.data();
    }
    GLint previous = 0, alignment = 4;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glBindTexture(GL_TEXTURE_2D, l.texture->name());
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, across.from, down.from, across.count, down.count, GL_RGBA,
                    GL_UNSIGNED_BYTE, rows);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    // The camera's buffer goes back to it at once: a camera has few.
    l.frame = {};
    return true;
}

}  // namespace

void startLiveCamera() {
    Live& l = live();
    if (l.camera) return;
    Camera::Options options;
    options.device = settings().cameraDevice;
    options.pipeline = settings().cameraPipeline;
    options.paced = settings().headless;
    std::string why;
    l.camera = Camera::open(options, &why);
    if (!l.camera) {
        sayWhy(why.empty() ? "no camera was found" : why);
        return;
    }
    std::fprintf(stderr, "camera: on\n");
    if (l.hidden) l.camera->setVisible(false);
}

void stopLiveCamera() {
    if (!live().camera) return;
    release();
    std::fprintf(stderr, "camera: off\n");
}

void toggleLiveCamera() {
    if (liveCameraOn())
        stopLiveCamera();
    else
        startLiveCamera();
}

bool liveCameraOn() { return live().camera != nullptr; }

void pollLiveCamera() {
    Live& l = live();
    if (!l.camera || l.hidden) return;
    if (takeAndUpload(l)) {
        if (DropletsScreen* s = screen()) s->showLiveFrame(l.texture);
        return;
    }
    const std::string why = l.camera->failure();
    if (why.empty()) return;
    release();
    sayWhy(why);
}

void setLiveCameraVisible(bool visible) {
    Live& l = live();
    l.hidden = !visible;
    if (l.camera) l.camera->setVisible(visible);
}

void drawCameraMark(int screenX, int screenY, int screenWidth, int /*screenHeight*/,
                    int windowWidth, int windowHeight) {
    if (!liveCameraOn() || screenWidth <= 0 || windowWidth <= 0 || windowHeight <= 0) return;
    const GLfloat scale = static_cast<GLfloat>(screenWidth) / 320.0f;
    const GLfloat cx = static_cast<GLfloat>(screenX) + 14.0f * scale;
    const GLfloat cy = static_cast<GLfloat>(screenY) + 14.0f * scale;
    constexpr int kSides = 16;
    GLfloat vertices[2 * (kSides + 2) * 2];
    GLfloat colors[4 * (kSides + 2) * 2];
    // A dark ring, then the red dot inside it, each a fan around its centre.
    const GLfloat radii[2] = {6.5f * scale, 5.0f * scale};
    const GLfloat tones[2][4] = {{0.0f, 0.0f, 0.0f, 0.45f}, {0.95f, 0.12f, 0.1f, 1.0f}};
    for (int fan = 0; fan < 2; ++fan)
        for (int i = 0; i < kSides + 2; ++i) {
            const int at = fan * (kSides + 2) + i;
            const double angle = 2.0 * M_PI * (i - 1) / kSides;
            vertices[at * 2] = i == 0 ? cx : cx + radii[fan] * static_cast<GLfloat>(std::cos(angle));
            vertices[at * 2 + 1] =
                i == 0 ? cy : cy + radii[fan] * static_cast<GLfloat>(std::sin(angle));
            std::copy(tones[fan], tones[fan] + 4, colors + at * 4);
        }
    const WindowOverlay overlay(windowWidth, windowHeight);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, vertices);
    glColorPointer(4, GL_FLOAT, 0, colors);
    glDrawArrays(GL_TRIANGLE_FAN, 0, kSides + 2);
    glDrawArrays(GL_TRIANGLE_FAN, kSides + 2, kSides + 2);
}

}  // namespace brumelo
