#include "steam/SurfaceTrack.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <vector>

#include "app/TenzoAppDelegate.h"
#include "audio/GBMusicTrack.h"
#include "physics/Knode.h"
#include "physics/Random.h"
#include "render/Globals.h"
#include "render/Texture2D.h"
#include "steam/DropletsScreen.h"

namespace {

std::function<double()>& clockFunction() {
    static std::function<double()> clock;
    return clock;
}

int percentDraw() { return static_cast<int>(brumelo::randomFraction() * 100.0f); }

void pauseTrack(GBMusicTrack* track) {
    if (track) track->pause();
}

}  // namespace

SurfaceTrack::SurfaceTrack(DropletsScreen* screen, bool sound, _Vector3f start)
    : music_(sound ? music2.get() : nullptr),
      soundEnabled_(sound),
      dscreen_(screen),
      lastTapDownPosition_(start) {}

std::shared_ptr<SurfaceTrack> SurfaceTrack::initTrackWithSoundFromPoint(DropletsScreen* screen,
                                                                        bool sound,
                                                                        _Vector3f start) {
    return std::make_shared<SurfaceTrack>(screen, sound, start);
}

void SurfaceTrack::setClock(std::function<double()> clock) { clockFunction() = std::move(clock); }

double SurfaceTrack::now() {
    if (clockFunction()) return clockFunction()();
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SurfaceTrack::addPointWithRadius(_Vector3f p, double r) {
    if (!hasMark()) {
        addPointInternalWithRadius(p, r);
        return;
    }
    double dx = p.x - lastPoint_.x;
    double dy = p.y - lastPoint_.y;
    double dist = std::sqrt(dx * dx + dy * dy);
    if (dist > 1.0) {
        if (soundEnabled_) {
            double t = now();
            if (t - lastPlayedSound_ > 0.5) {
                bool start = false;
                if (percentDraw() >= 95) {
                    pauseTrack(music_);
                    start = true;
                }
                if (dist > 35.0) {
                    music_ = music5.get();
                } else if (dist > 26.0) {
                    music_ = music4.get();
                } else if (dist > 18.0) {
                    music_ = music3.get();
                } else if (dist > 10.0) {
                    music_ = music2.get();
                } else {
                    pauseTrack(music_);
                    music_ = nullptr;
                    start = false;
                }
                if (music_ && start) {
                    music_->setGain(0.2f);
                    music_->play();
                    lastPlayedSound_ = t;
                }
            }
        }
        int n = static_cast<int>(dist / 2.2) + 1;
        double stepX = dx / n, stepY = dy / n;
        _Vector3f at = lastPoint_;
        for (int i = 0; i < n; ++i) {
            at.x += stepX;
            at.y += stepY;
            at.z = 0.0;
            // Land the last mark exactly on the position, whatever the rounding of the steps.
            if (i == n - 1) at = {p.x, p.y, 0.0};
            addPointInternalWithRadius(at, r);
        }
    } else {
        pauseTrack(music_);
    }

    if (soundEnabled_) {
        double ddx = p.x - lastTapDownPosition_.x, ddy = p.y - lastTapDownPosition_.y;
        double distance = std::sqrt(ddx * ddx + ddy * ddy);
        double limit = 220 + static_cast<int>(brumelo::randomFraction() * 150.0f);
        if (distance > limit) {
            lastTapDownPosition_ = p;
            if (TenzoAppDelegate* app = TenzoAppDelegate::getInstance()) {
                if (const auto& screen = app->dropletScreen()) screen->addDroplet(p);
            }
        }
    }
}

void SurfaceTrack::addPointInternalWithRadius(_Vector3f p, double r) {
    double u = brumelo::randomFraction();
    double size = (0.75 + 0.5 * u) * r;
    double angle = 0.0;
    if (hasMark()) angle = std::atan2(p.y - lastPoint_.y, p.x - lastPoint_.x);
    auto mark = Knode::initWithParams(static_cast<float>(p.x), static_cast<float>(p.y), 0.0f, 1.0f,
                                      static_cast<float>(size), 0, _textures[2], 0.0, dscreen_);
    mark->setAnchor(true);
    points_.push_back(mark);
    mark->data[3] = static_cast<float>(p.x);
    mark->data[7] = static_cast<float>(p.y);
    mark->setAngularPosition(angle * 180.0 / std::numbers::pi + 90.0);
    lastPoint_ = {p.x, p.y, 0.0};
}

void drawTrackMarks(DropletsScreen* screen, const std::vector<std::shared_ptr<Knode>>& marks,
                    double width, float alpha) {
    if (marks.empty()) return;
    // One draw for the whole stroke, each mark its own size: kept between calls, so a frame's
    // marks cost no allocation.
    static std::vector<GLfloat> vertices, sizes, colors;
    vertices.clear();
    sizes.clear();
    colors.clear();
    const bool dense = contentScaleFactor > 1.0f;
    for (const auto& mark : marks) {
        const double diameter = mark->radius() * width;
        vertices.insert(vertices.end(), {mark->data[3], mark->data[7]});
        sizes.push_back(static_cast<GLfloat>(diameter) * contentScaleFactor);
        // A sprite's top is 1: the centre's alpha comes with the mark.
        const double a = dense ? alpha / (1.0 - markEdge(diameter)) : alpha;
        colors.insert(colors.end(), {0.0f, 0.0f, 0.0f, static_cast<GLfloat>(std::min(a, 1.0))});
    }
    // Texturing is off here; a stale coordinate array left enabled must not be read.
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_POINT_SIZE_ARRAY_OES);
    glVertexPointer(2, GL_FLOAT, 0, vertices.data());
    glColorPointer(4, GL_FLOAT, 0, colors.data());
    glPointSizePointerOES(GL_FLOAT, 0, sizes.data());
    const Texture2D* sprite =
        screen && dense ? screen->markSprite(marks.front()->radius() * width) : nullptr;
    if (sprite) {
        glDisable(GL_POINT_SMOOTH);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, sprite->name());
        glEnable(GL_POINT_SPRITE_OES);
        glTexEnvi(GL_POINT_SPRITE_OES, GL_COORD_REPLACE_OES, GL_TRUE);
    }
    glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(sizes.size()));
    if (sprite) {
        glTexEnvi(GL_POINT_SPRITE_OES, GL_COORD_REPLACE_OES, GL_FALSE);
        glDisable(GL_POINT_SPRITE_OES);
        glDisable(GL_TEXTURE_2D);
        glEnable(GL_POINT_SMOOTH);
    }
    glDisableClientState(GL_POINT_SIZE_ARRAY_OES);
}

void SurfaceTrack::draw() {
    drawTrackMarks(dscreen_, points_, 1.0, 0.1f);
    dropMarks();
}

void SurfaceTrack::dropMarks() {
    if (dscreen_)
        for (const auto& mark : points_) dscreen_->removeNode(mark.get());
    removeDrawnNodes();
}

void SurfaceTrack::removeDrawnNodes() { points_.clear(); }

void SurfaceTrack::stopMusic() {
    if (soundEnabled_) pauseTrack(music_);
    lastPoint_ = {kNoPoint, kNoPoint, kNoPoint};
    bandEnd_ = {};
}
