#include "render/Globals.h"

#include <algorithm>
#include <cmath>

std::array<std::shared_ptr<Texture2D>, 4> _textures;
std::shared_ptr<GBMusicTrack> music2, music3, music4, music5;
std::shared_ptr<SimpleView> simpleViewGame;
std::shared_ptr<AudioRecorder> audioRecorder;
float audioLevels[4] = {0, 0, 0, 0};
float peakLevels[4] = {0, 0, 0, 0};
bool fingerDown = false;
GLuint viewFramebuffer = 0;
GLuint viewRenderbuffer = 0;
std::shared_ptr<Viewport> viewport1, viewport2, viewport3, viewportMenu, activeViewport;
int loops = 0;
float contentScaleFactor = 1.0f;

int screenPixels(double points) {
    return static_cast<int>(std::lround(points * static_cast<double>(contentScaleFactor)));
}

namespace {
brumelo::PaneSize pane;
}

const brumelo::PaneSize& paneSize() { return pane; }
void setPaneSize(brumelo::PaneSize size) { pane = size; }

float paneCoverScale() {
    return std::max(static_cast<float>(pane.width) / brumelo::kScreenWidth,
                    static_cast<float>(pane.height) / brumelo::kScreenHeight);
}
