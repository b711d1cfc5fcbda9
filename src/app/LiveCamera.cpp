#include "app/LiveCamera.h"

#include <GLES/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

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

// A texture for frames of this size, which covers the pane centred and cropped.
bool prepareTexture(Live& l, int width, int height) {
    if (width <= 0 || height <= 0) return false;
    if (!l.texture || width != l.width || height != l.height) {
        l.texture =
            Texture2D::initWithSize({static_cast<float>(width), static_cast<float>(height)}, 1.0f);
        if (!l.texture) return false;
        l.width = width;
        l.height = height;
    }
    // The pane's shape may have changed since the last frame.
    l.texture->setPixelsPerPoint(std::min(static_cast<float>(width) / paneWidthPoints(),
                                          static_cast<float>(height) / paneHeightPoints()));
    return true;
}

// The newest frame into the texture: straight from the camera where it can, else its pixels.
bool takeAndUpload(Live& l) {
    int width = 0, height = 0;
    if (l.camera->newFrameSize(width, height))
        return prepareTexture(l, width, height) && l.camera->uploadFrame(l.texture->name());
    if (!l.camera->takeFrame(l.frame)) return false;
    const Camera::Frame& f = l.frame;
    if (f.rgba.size() < static_cast<std::size_t>(f.width) * f.height * 4 ||
        !prepareTexture(l, f.width, f.height))
        return false;
    GLint previous = 0, alignment = 4;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glBindTexture(GL_TEXTURE_2D, l.texture->name());
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, f.width, f.height, GL_RGBA, GL_UNSIGNED_BYTE,
                    f.rgba.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
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
