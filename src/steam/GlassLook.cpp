#include "steam/GlassLook.h"

#include <GLES/glext.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "physics/Knode.h"
#include "platform/GLExtensions.h"
#include "render/Globals.h"
#include "render/Texture2D.h"
#include "render/TextureFramebuffer.h"
#include "steam/Droplet.h"
#include "steam/FrostedGlass.h"
#include "steam/SurfaceTrack.h"

namespace {

// The lens mesh: rings closer together towards the edge, where the view bends most.
constexpr int kSegments = 24;
constexpr float kRings[] = {0.0f, 0.3f, 0.55f, 0.74f, 0.87f, 0.95f, 1.0f};
constexpr int kRimSize = 128;

// A trail's band is this many times as wide as its marks and takes this much of the steam
// each time a drop passes; a fresh streak lightens the
// picture by this much, and dries in kDryFrames (20 seconds).
constexpr double kTrailBand = 1.3;
// A drop leaves a tiny one behind about once in this many marks (two points apart); so many
// stay at most.
constexpr float kTinyDropChance = 1.0f / 45.0f;
constexpr std::size_t kMaxTinyDrops = 60;
constexpr GLfloat kTrailClear = 0.8f;
constexpr double kSheen = 0.32;
constexpr int kDryFrames = 1000;
// The sheen dries in steps of this many frames (each well under the eye's notice), each streak
// on frames of its own, so that no frame redraws every streak at once.
constexpr int kDryStep = 20;

double smoothstep(double e0, double e1, double x) {
    const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// Where the classic drawing puts a droplet's picture: the unit square stretched along the
// direction of travel but not turned.
using DropFrame = GlassLook::Frame;

bool frameOf(const Knode& node, DropFrame& f) {
    const Texture2D* picture = node.texture().get();
    if (!picture || picture->pixelsWide() + picture->pixelsHigh() == 0) return false;
    const double s = node.radius() / (0.5 * (picture->pixelsWide() + picture->pixelsHigh())) *
                     GlassLook::kDropScale;
    const double sx = s * node.textureSizeFactorX(), sy = s * node.textureSizeFactorY();
    const double a = node.angularPosition() * std::numbers::pi / 180.0;
    const double c = std::cos(a), n = std::sin(a);
    // Turned to the direction of travel, stretched, turned back.
    const double r00 = c * c * sx + n * n * sy, r01 = c * n * (sx - sy),
                 r11 = n * n * sx + c * c * sy;
    const double hw = 0.5 * picture->pixelsWide() * picture->maxS();
    const double hh = 0.5 * picture->pixelsHigh() * picture->maxT();
    f.cx = node.data[3];
    f.cy = node.data[7];
    f.m[0] = r00 * hw;
    f.m[1] = r01 * hh;
    f.m[2] = r01 * hw;
    f.m[3] = r11 * hh;
    return true;
}

DropFrame tinyFrame(const GlassLook::TinyDrop& tiny) {
    DropFrame f;
    f.cx = tiny.x;
    f.cy = tiny.y;
    f.m[0] = f.m[3] = tiny.radius * 1.15;
    return f;
}

void clampToEdge(const Texture2D& texture) {
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, texture.name());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
}

// The light on a drop over the unit square, premultiplied: a dark edge, darker above, where
// the drop bends the view away; a bright crescent inside its lower edge where it focuses the
// light; a highlight up and to the left. ax and ay are the drop's half-width and half-height in
// the square.
std::vector<std::uint8_t> rimPixels(double ax, double ay) {
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(kRimSize) * kRimSize * 4);
    const double tilt = 35.0 * std::numbers::pi / 180.0;
    for (int j = 0; j < kRimSize; ++j) {
        // Row 0 is t = 0, the bottom of the drop on the screen.
        const double v = 1.0 - 2.0 * (j + 0.5) / kRimSize;
        for (int i = 0; i < kRimSize; ++i) {
            const double u = 2.0 * (i + 0.5) / kRimSize - 1.0;
            const double x = u / ax, y = v / ay, q = std::hypot(x, y);
            const double cover = std::clamp((1.0 - q) * ax * kRimSize / 2.0 + 0.5, 0.0, 1.0);
            const double dark = 0.5 * smoothstep(0.74, 0.985, q) * (0.75 - 0.3 * y);
            const double crescent =
                0.7 * std::exp(-std::pow((q - 0.84) / 0.08, 2)) * smoothstep(0.1, 0.9, y);
            const double hx = x + 0.34, hy = y + 0.44;
            const double along = hx * std::cos(tilt) + hy * std::sin(tilt);
            const double across = -hx * std::sin(tilt) + hy * std::cos(tilt);
            const double h = std::hypot(along / 0.2, across / 0.12);
            const double highlight = std::min(
                1.0, 0.95 * (1.0 - smoothstep(0.45, 1.0, h)) + 0.18 * std::exp(-h * h / 4));
            const double body = 0.05 + 0.07 * smoothstep(-0.2, 1.0, y);  // water holds some light
            const double light = 1.0 - (1.0 - crescent) * (1.0 - highlight) * (1.0 - body);
            const double alpha = (light + dark * (1.0 - light)) * cover;
            const auto white = static_cast<std::uint8_t>(std::lround(light * cover * 255.0));
            std::uint8_t* p = rgba.data() + (static_cast<std::size_t>(j) * kRimSize + i) * 4;
            p[0] = p[1] = p[2] = white;
            p[3] = static_cast<std::uint8_t>(std::lround(alpha * 255.0));
        }
    }
    return rgba;
}

}  // namespace

namespace {
// A lens mesh over the unit disc, as triangles: position and relative distance per vertex.
std::vector<GLfloat> discMesh(const float* rings, int ringCount, int segments) {
    std::vector<GLfloat> disc;
    auto push = [&](int ring, int segment) {
        const double phi = 2.0 * std::numbers::pi * segment / segments;
        const float rho = rings[ring];
        disc.push_back(rho * static_cast<float>(std::cos(phi)));
        disc.push_back(rho * static_cast<float>(std::sin(phi)));
        disc.push_back(rho);
    };
    for (int k = 0; k < segments; ++k) {
        push(0, k);
        push(1, k);
        push(1, k + 1);
        for (int r = 1; r + 1 < ringCount; ++r) {
            push(r, k);
            push(r + 1, k);
            push(r + 1, k + 1);
            push(r, k);
            push(r + 1, k + 1);
            push(r, k + 1);
        }
    }
    return disc;
}
// Tiny drops are a few pixels across: a fan of eight shows them as well as rings would, and
// the rasteriser pays for every triangle however small.
constexpr float kSmallRings[] = {0.0f, 1.0f};
}  // namespace

GlassLook::GlassLook()
    : unitDisc_(discMesh(kRings, static_cast<int>(std::size(kRings)), kSegments)),
      smallDisc_(discMesh(kSmallRings, static_cast<int>(std::size(kSmallRings)), 8)) {}

GlassLook::~GlassLook() = default;

std::array<double, 2> GlassLook::lensSample(double cx, double cy, double dx, double dy,
                                            double rho) {
    const double zoom = kLensZoom * (1.0 + kLensEdgeBend * rho * rho);
    return {cx - zoom * dx, cy - zoom * dy};
}

const GlassLook::Mask& GlassLook::maskFor(const Texture2D& picture) {
    const std::uint64_t key = (static_cast<std::uint64_t>(picture.name()) << 32) |
                              (static_cast<std::uint64_t>(picture.pixelsWide() & 0xFFFF) << 16) |
                              (picture.pixelsHigh() & 0xFFFF);
    if (auto found = masks_.find(key); found != masks_.end()) return found->second;

    const int w = static_cast<int>(picture.pixelsWide()),
              h = static_cast<int>(picture.pixelsHigh());
    const int cw = std::max(1, static_cast<int>(picture.contentSize().width));
    const int ch = std::max(1, static_cast<int>(picture.contentSize().height));
    const std::vector<std::uint8_t> rgba = frost::readTexture(picture);
    std::vector<std::uint8_t> alpha(static_cast<std::size_t>(w) * h, 0);
    bool opaque = true;
    for (std::size_t i = 0; i < alpha.size() && !rgba.empty(); ++i) {
        // The picture's translucent body counts as water: its outline is the shape.
        alpha[i] = static_cast<std::uint8_t>(std::min(255, rgba[i * 4 + 3] * 6));
        if (rgba[i * 4 + 3] < 250) opaque = false;
    }
    if (rgba.empty() || opaque) {
        // A picture without an outline of its own: a round drop.
        for (int j = 0; j < h; ++j) {
            for (int i = 0; i < w; ++i) {
                const double u = 2.0 * (i + 0.5) / cw - 1.0, v = 1.0 - 2.0 * (j + 0.5) / ch;
                const double edge = (0.9 - std::hypot(u, v)) * cw / 2.0 + 0.5;
                alpha[static_cast<std::size_t>(j) * w + i] =
                    static_cast<std::uint8_t>(std::lround(std::clamp(edge, 0.0, 1.0) * 255.0));
            }
        }
    }
    // The outline's half-width and half-height, through the middle of the picture.
    int across = 0, down = 0;
    for (int i = 0; i < cw && i < w; ++i)
        across += alpha[static_cast<std::size_t>(std::min(ch / 2, h - 1)) * w + i] >= 128;
    for (int j = 0; j < ch && j < h; ++j)
        down += alpha[static_cast<std::size_t>(j) * w + std::min(cw / 2, w - 1)] >= 128;
    const double ax = across > 0 ? static_cast<double>(across) / cw : 0.9;
    const double ay = down > 0 ? static_cast<double>(down) / ch : 0.9;

    Mask mask;
    mask.alpha = Texture2D::initWithDataPixelFormatPixelsWidePixelsHighContentSize(
        alpha.data(), TexturePixelFormat::A8, picture.pixelsWide(), picture.pixelsHigh(),
        picture.contentSize());
    const std::vector<std::uint8_t> rim = rimPixels(ax, ay);
    mask.rim = Texture2D::initWithDataPixelFormatPixelsWidePixelsHighContentSize(
        rim.data(), TexturePixelFormat::RGBA8888, kRimSize, kRimSize, {kRimSize, kRimSize});
    if (mask.alpha) clampToEdge(*mask.alpha);
    if (mask.rim) clampToEdge(*mask.rim);
    return masks_.emplace(key, std::move(mask)).first->second;
}

void GlassLook::burnTrails(const std::vector<std::shared_ptr<Droplet>>& droplets) {
    ++frame_;
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    for (const auto& droplet : droplets) {
        const auto& marks = droplet->track()->points();
        if (marks.empty()) continue;
        wipeBand(*droplet->track(), kTrailBand, kTrailClear, false);
        glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
        Streak& wet = streakOf(droplet);
        for (const auto& mark : marks) {
            const GLfloat x = mark->data[3], y = mark->data[7];
            const auto width = static_cast<GLfloat>(mark->radius() * kTrailWidth);
            // The sheen needs far fewer points than the steam.
            const bool spaced = wet.marks.empty() ||
                                std::hypot(x - wet.marks.back().x, y - wet.marks.back().y) >= 4;
            if (!spaced) continue;
            wet.marks.push_back({x, y, width / 2, frame_});
            // A new mark also turns the strip at the one before.
            noteSheen(wet, wet.marks.size() >= 3 ? wet.marks.size() - 3 : 0, wet.marks.size());
        }
    }
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glEnable(GL_TEXTURE_2D);

    // Dry marks go; so do streaks that are dry and whose drop has gone.
    for (auto& wet : streaks_) {
        auto fresh = std::find_if(wet.marks.begin(), wet.marks.end(),
                                  [&](const WetMark& m) { return frame_ - m.frame < kDryFrames; });
        const auto dry = static_cast<std::size_t>(fresh - wet.marks.begin());
        if (dry == 0) continue;
        noteSheen(wet, 0, std::min(wet.marks.size(), dry + 2));
        wet.marks.erase(wet.marks.begin(), fresh);
    }
    std::erase_if(streaks_, [](const Streak& w) { return w.marks.empty() && w.droplet.expired(); });
    leaveAndPickUpTinyDrops(droplets);
}

void GlassLook::leaveAndPickUpTinyDrops(const std::vector<std::shared_ptr<Droplet>>& droplets) {
    auto draw = [this] {
        tinyDraws_ ^= tinyDraws_ << 13;
        tinyDraws_ ^= tinyDraws_ >> 17;
        tinyDraws_ ^= tinyDraws_ << 5;
        return static_cast<float>(tinyDraws_ >> 8) / 16777216.0f;
    };
    auto note = [this](const TinyDrop& t) { noteBox(t.x, t.y, t.x, t.y, t.radius * 2.5f + 1.0f); };
    // A drop passing over a tiny one takes it in.
    std::erase_if(tinyDrops_, [&](TinyDrop& t) {
        for (const auto& droplet : droplets) {
            const double reach = droplet->radius() * kDropScale + t.radius;
            const bool over = std::hypot(droplet->data[3] - t.x, droplet->data[7] - t.y) < reach;
            if (droplet.get() == t.leftBy) {
                if (!over) t.leftBy = nullptr;
                continue;
            }
            if (over) {
                note(t);
                return true;
            }
        }
        return false;
    });
    // Now and then a running drop leaves a little of itself behind, beside its path.
    for (const auto& droplet : droplets) {
        for (const auto& mark : droplet->track()->points()) {
            if (draw() > kTinyDropChance) continue;
            const auto r = static_cast<float>(droplet->radius());
            const TinyDrop tiny{mark->data[3] + (draw() - 0.5f) * r * 1.6f,
                                mark->data[7] + (draw() - 0.5f) * r * 0.6f,
                                r * (0.16f + 0.14f * draw()), droplet.get()};
            if (tinyDrops_.size() >= kMaxTinyDrops) {
                note(tinyDrops_.front());
                tinyDrops_.erase(tinyDrops_.begin());
            }
            tinyDrops_.push_back(tiny);
            note(tiny);
        }
    }
}

template <class Draw>
void GlassLook::inWriting(const Draw& draw) {
    if (!writing()) return;
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &bound);
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, writing_->fbo());
    draw();
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, static_cast<GLuint>(bound));
}

void GlassLook::noteBox(float x0, float y0, float x1, float y1, float reach) {
    sheenChanges_.push_back({std::min(x0, x1) - reach, std::min(y0, y1) - reach,
                             std::max(x0, x1) + reach, std::max(y0, y1) + reach});
}

namespace {
// A band's edge fades over this many points, less on a narrow one.
float bandFade(float half) { return std::clamp(half * 0.35f, 0.75f, 2.5f); }
constexpr int kCapSegments = 12;

// Bands take steam away only: their alpha is how much.
void beginErasingSteam() {
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ZERO, GL_ONE_MINUS_SRC_ALPHA);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
}

void endErasingSteam() {
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glEnable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}
}  // namespace

void GlassLook::drawCap(float x, float y, float half, float nx, float ny, float clear) {
    // Half a disc on the side of (ny, -nx) turned by the sign of the normal's caller: from n
    // round to -n. The caller passes the normal so that the half faces the way it wants.
    const float dx = ny, dy = -nx;
    const float inner = half - bandFade(half);
    std::vector<GLfloat>& v = capVertices_;
    std::vector<GLfloat>& c = capColors_;
    v.clear();
    c.clear();
    auto at = [&](int i, float r) {
        const double a = std::numbers::pi * i / kCapSegments;
        const auto cs = static_cast<float>(std::cos(a)), sn = static_cast<float>(std::sin(a));
        return std::array<GLfloat, 2>{x + r * (nx * cs + dx * sn), y + r * (ny * cs + dy * sn)};
    };
    auto put = [&](std::array<GLfloat, 2> p, float alpha) {
        v.insert(v.end(), {p[0], p[1]});
        c.insert(c.end(), {0.0f, 0.0f, 0.0f, alpha});
    };
    for (int i = 0; i < kCapSegments; ++i) {
        put({x, y}, clear);
        put(at(i, inner), clear);
        put(at(i + 1, inner), clear);
        put(at(i, inner), clear);
        put(at(i, half), 0.0f);
        put(at(i + 1, half), 0.0f);
        put(at(i, inner), clear);
        put(at(i + 1, half), 0.0f);
        put(at(i + 1, inner), clear);
    }
    glVertexPointer(2, GL_FLOAT, 0, v.data());
    glColorPointer(4, GL_FLOAT, 0, c.data());
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(v.size() / 2));
    noteBox(x, y, x, y, half + 1.0f);
}

void GlassLook::wipeBand(SurfaceTrack& track, double width, float clear, bool remember) {
    const auto& marks = track.points();
    if (marks.empty()) return;
    SurfaceTrack::BandEnd& end = track.bandEnd();
    band_.clear();
    float half = end.valid ? end.half : 0.0f;
    if (end.valid) band_.push_back({end.x, end.y, end.half});
    for (const auto& mark : marks) {
        const float x = mark->data[3], y = mark->data[7];
        const auto target = static_cast<float>(0.5 * mark->radius() * width);
        // The marks' sizes are drawn at random: the band follows them slowly, as a finger's
        // pressure changes.
        half = band_.empty() ? target : half + 0.04f * (target - half);
        if (!band_.empty() && std::hypot(x - band_.back().x, y - band_.back().y) < 0.5f) continue;
        band_.push_back({x, y, half});
    }
    if (band_.size() < 2) {
        if (!end.valid) end = {true, false, band_[0].x, band_[0].y, band_[0].half, 0.0f, 0.0f};
        return;
    }

    beginErasingSteam();

    const std::size_t n = band_.size();
    for (int k = 0; k < 3; ++k) {
        bandVertices_[static_cast<std::size_t>(k)].clear();
        bandColors_[static_cast<std::size_t>(k)].clear();
    }
    float nx = 0, ny = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const BandPoint& p = band_[i];
        if (i == 0 && end.valid && end.capped) {
            nx = end.nx;
            ny = end.ny;
        } else {
            const BandPoint& a = band_[i == 0 ? 0 : i - 1];
            const BandPoint& b = band_[i + 1 == n ? i : i + 1];
            const float dx = b.x - a.x, dy = b.y - a.y;
            const float length = std::max(1e-3f, std::hypot(dx, dy));
            nx = -dy / length;
            ny = dx / length;
        }
        const float inner = p.half - bandFade(p.half);
        GLfloat across[4][2] = {{p.x + nx * p.half, p.y + ny * p.half},
                                {p.x + nx * inner, p.y + ny * inner},
                                {p.x - nx * inner, p.y - ny * inner},
                                {p.x - nx * p.half, p.y - ny * p.half}};
        if (i > 0) {
            // On the inside of a turn tighter than the band is wide the edge would run back
            // over itself and wipe twice: it waits where it was instead.
            const BandPoint& a = band_[i - 1];
            for (std::size_t k = 0; k < 4; ++k) {
                const GLfloat* before = &bandVertices_[std::min<std::size_t>(k, 2)]
                                             [(i - 1) * 4 + (k == 3 ? 2 : 0)];
                if ((across[k][0] - before[0]) * (p.x - a.x) +
                        (across[k][1] - before[1]) * (p.y - a.y) <
                    0) {
                    across[k][0] = before[0];
                    across[k][1] = before[1];
                }
            }
        }
        const GLfloat alpha[4] = {0.0f, clear, clear, 0.0f};
        for (std::size_t k = 0; k < 3; ++k) {
            bandVertices_[k].insert(bandVertices_[k].end(),
                                    {across[k][0], across[k][1], across[k + 1][0], across[k + 1][1]});
            bandColors_[k].insert(bandColors_[k].end(), {0.0f, 0.0f, 0.0f, alpha[k], 0.0f, 0.0f,
                                                          0.0f, alpha[k + 1]});
        }
        if (i == 0 && !(end.valid && end.capped)) {
            // The start of the stroke, rounded behind it.
            end.nx = nx;
            end.ny = ny;
        }
        if (i > 0) {
            const BandPoint& a = band_[i - 1];
            noteBox(a.x, a.y, p.x, p.y, std::max(a.half, p.half) + 1.0f);
        }
    }
    const bool capped = end.capped;
    const float startX = -end.nx, startY = -end.ny;
    auto draw = [&] {
        for (std::size_t k = 0; k < 3; ++k) {
            glVertexPointer(2, GL_FLOAT, 0, bandVertices_[k].data());
            glColorPointer(4, GL_FLOAT, 0, bandColors_[k].data());
            glDrawArrays(GL_TRIANGLE_STRIP, 0, static_cast<GLsizei>(n * 2));
        }
        if (!capped) drawCap(band_[0].x, band_[0].y, band_[0].half, startX, startY, clear);
    };
    draw();
    if (remember) inWriting(draw);
    end = {true, true, band_.back().x, band_.back().y, band_.back().half, nx, ny};
    endErasingSteam();
}

void GlassLook::endBand(SurfaceTrack& track, float clear, bool remember) {
    SurfaceTrack::BandEnd& end = track.bandEnd();
    if (!end.valid || !end.capped) return;
    beginErasingSteam();
    auto draw = [&] { drawCap(end.x, end.y, end.half, end.nx, end.ny, clear); };
    draw();
    if (remember) inWriting(draw);
    endErasingSteam();
    end = {};
}

const Texture2D* GlassLook::writing() {
    if (writing_ && writingScale_ == contentScaleFactor &&
        writing_->contentSize().width == paneWidthPoints() &&
        writing_->contentSize().height == paneHeightPoints())
        return writing_.get();
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &bound);
    // Opaque to start with: nothing written yet.
    writing_ = Texture2D::initWithSize({paneWidthPoints(), paneHeightPoints()}, contentScaleFactor);
    if (writing_ && !createFramebufferObjectForTexture(*writing_, true)) writing_.reset();
    if (writing_) writing_->setFilter(GL_NEAREST);
    writingScale_ = contentScaleFactor;
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, static_cast<GLuint>(bound));
    return writing_.get();
}

void GlassLook::noteSheen(const Streak& wet, std::size_t from, std::size_t to) {
    // One box over the marks: the strip runs between them, across gaps their own boxes leave.
    DirtyRegion::Rect box{1e9f, 1e9f, -1e9f, -1e9f};
    for (std::size_t i = from; i < to && i < wet.marks.size(); ++i) {
        const WetMark& m = wet.marks[i];
        const float reach = m.halfWidth + 1.0f;
        box.minX = std::min(box.minX, m.x - reach);
        box.minY = std::min(box.minY, m.y - reach);
        box.maxX = std::max(box.maxX, m.x + reach);
        box.maxY = std::max(box.maxY, m.y + reach);
    }
    if (box.minX <= box.maxX) sheenChanges_.push_back(box);
}

void GlassLook::noteChanges(DirtyRegion& region) {
    // A streak dries a step at a time: in between it stays as it was. It is redrawn in pieces
    // of a few marks, which follow a slanted streak closer than its bounding box.
    constexpr std::size_t kPiece = 6;
    for (const Streak& wet : streaks_) {
        if (wet.marks.size() < 2 || (frame_ + wet.phase) % kDryStep != 0) continue;
        for (std::size_t from = 0; from + 1 < wet.marks.size(); from += kPiece)
            noteSheen(wet, from, from + kPiece + 1);
    }
    for (const DirtyRegion::Rect& r : sheenChanges_) region.add(r);
    sheenChanges_.clear();
}

GlassLook::Streak& GlassLook::streakOf(const std::shared_ptr<Droplet>& droplet) {
    for (auto& wet : streaks_) {
        if (wet.droplet.lock() == droplet) return wet;
    }
    // Phases spread over the step, seven apart.
    nextPhase_ = (nextPhase_ + 7) % kDryStep;
    streaks_.push_back({droplet, {}, {}, -1, nextPhase_});
    return streaks_.back();
}

void GlassLook::drawLens(const Frame& f, const std::vector<GLfloat>& disc, const Mask& mask,
                         const Texture2D& background) {
    if (!mask.alpha || !lensVertices(f, disc, mask, background, 0)) return;
    drawLensArrays(mask, background, disc.size() / 3);
}

bool GlassLook::lensVertices(const Frame& f, const std::vector<GLfloat>& disc, const Mask& mask,
                             const Texture2D& background, std::size_t at) {
    // The background as it is drawn: its content centred on the screen, mirrored top to bottom.
    const double bw = background.drawnSize().width;
    const double bh = background.drawnSize().height;
    if (bw <= 0 || bh <= 0) return false;
    const double halfS = 0.5 / background.pixelsWide(), halfT = 0.5 / background.pixelsHigh();
    const std::size_t n = disc.size() / 3;
    vertices_.resize((at + n) * 2);
    pictureCoords_.resize((at + n) * 2);
    maskCoords_.resize((at + n) * 2);
    colors_.resize((at + n) * 4);
    GLfloat* vertices = vertices_.data() + at * 2;
    GLfloat* pictureCoords = pictureCoords_.data() + at * 2;
    GLfloat* maskCoords = maskCoords_.data() + at * 2;
    GLfloat* colors = colors_.data() + at * 4;
    for (std::size_t i = 0; i < n; ++i) {
        const double u = disc[i * 3], v = disc[i * 3 + 1], rho = disc[i * 3 + 2];
        const double dx = f.dx(u, v), dy = f.dy(u, v);
        vertices[i * 2] = static_cast<GLfloat>(f.cx + dx);
        vertices[i * 2 + 1] = static_cast<GLfloat>(f.cy + dy);
        const auto [px, py] = lensSample(f.cx, f.cy, dx, dy, rho);
        // Off the picture the lens shows the picture's edge, not the padding beyond it.
        const double s =
            std::clamp(background.maxS() * (px / bw + 0.5), halfS, background.maxS() - halfS);
        const double t =
            std::clamp(background.maxT() * (0.5 + py / bh), halfT, background.maxT() - halfT);
        pictureCoords[i * 2] = static_cast<GLfloat>(s);
        pictureCoords[i * 2 + 1] = static_cast<GLfloat>(t);
        maskCoords[i * 2] = static_cast<GLfloat>(mask.alpha->maxS() * (u + 1.0) / 2.0);
        maskCoords[i * 2 + 1] = static_cast<GLfloat>(mask.alpha->maxT() * (1.0 - v) / 2.0);
        // Darker towards the edge, where the view through a dome comes from far around.
        const double shade = 1.0 - 0.3 * smoothstep(0.5, 1.0, rho);
        colors[i * 4] = static_cast<GLfloat>(0.96 * shade);
        colors[i * 4 + 1] = static_cast<GLfloat>(0.98 * shade);
        colors[i * 4 + 2] = static_cast<GLfloat>(shade);
        colors[i * 4 + 3] = 1.0f;
    }
    return true;
}

void GlassLook::drawLensArrays(const Mask& mask, const Texture2D& background, std::size_t n) {
    glActiveTexture(GL_TEXTURE1);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, mask.alpha->name());
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glClientActiveTexture(GL_TEXTURE1);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 0, maskCoords_.data());
    glActiveTexture(GL_TEXTURE0);
    glClientActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, background.name());
    glTexCoordPointer(2, GL_FLOAT, 0, pictureCoords_.data());
    glVertexPointer(2, GL_FLOAT, 0, vertices_.data());
    glColorPointer(4, GL_FLOAT, 0, colors_.data());
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(n));

    glActiveTexture(GL_TEXTURE1);
    glDisable(GL_TEXTURE_2D);
    glClientActiveTexture(GL_TEXTURE1);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glActiveTexture(GL_TEXTURE0);
    glClientActiveTexture(GL_TEXTURE0);
}

void GlassLook::drawRim(const Frame& f, const Mask& mask) {
    if (!mask.rim) return;
    static const GLfloat corners[8] = {-1, -1, 1, -1, -1, 1, 1, 1};
    static const GLfloat coords[8] = {0, 1, 1, 1, 0, 0, 1, 0};
    static const GLfloat white[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    GLfloat quad[8];
    for (int k = 0; k < 4; ++k) {
        quad[k * 2] = static_cast<GLfloat>(f.cx + f.dx(corners[k * 2], corners[k * 2 + 1]));
        quad[k * 2 + 1] = static_cast<GLfloat>(f.cy + f.dy(corners[k * 2], corners[k * 2 + 1]));
    }
    glBindTexture(GL_TEXTURE_2D, mask.rim->name());
    glVertexPointer(2, GL_FLOAT, 0, quad);
    glTexCoordPointer(2, GL_FLOAT, 0, coords);
    glColorPointer(4, GL_FLOAT, 0, white);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);  // premultiplied
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

void GlassLook::drawTinyDrops(const Texture2D* background, const DirtyRegion::Rect* clip) {
    if (tinyDrops_.empty() || !_textures[2]) return;
    const Mask& mask = maskFor(*_textures[2]);
    // All in two draws, lenses then rims: there may be dozens.
    std::size_t lensVertexCount = 0;
    tinyRims_.clear();
    tinyRimCoords_.clear();
    tinyRimColors_.clear();
    static const GLfloat corners[12] = {-1, -1, 1, -1, -1, 1, -1, 1, 1, -1, 1, 1};
    static const GLfloat coords[12] = {0, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 0};
    for (const TinyDrop& tiny : tinyDrops_) {
        const float reach = tiny.radius * 2.0f;
        if (clip && (tiny.x + reach < clip->minX || tiny.x - reach > clip->maxX ||
                     tiny.y + reach < clip->minY || tiny.y - reach > clip->maxY))
            continue;
        const Frame f = tinyFrame(tiny);
        if (background && mask.alpha && lensVertices(f, smallDisc_, mask, *background, lensVertexCount))
            lensVertexCount += smallDisc_.size() / 3;
        for (int k = 0; k < 6; ++k) {
            tinyRims_.push_back(static_cast<GLfloat>(f.cx + f.dx(corners[k * 2], corners[k * 2 + 1])));
            tinyRims_.push_back(static_cast<GLfloat>(f.cy + f.dy(corners[k * 2], corners[k * 2 + 1])));
            tinyRimCoords_.insert(tinyRimCoords_.end(), {coords[k * 2], coords[k * 2 + 1]});
            tinyRimColors_.insert(tinyRimColors_.end(), {1.0f, 1.0f, 1.0f, 1.0f});
        }
    }
    if (lensVertexCount > 0) drawLensArrays(mask, *background, lensVertexCount);
    if (!tinyRims_.empty() && mask.rim) {
        glBindTexture(GL_TEXTURE_2D, mask.rim->name());
        glVertexPointer(2, GL_FLOAT, 0, tinyRims_.data());
        glTexCoordPointer(2, GL_FLOAT, 0, tinyRimCoords_.data());
        glColorPointer(4, GL_FLOAT, 0, tinyRimColors_.data());
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);  // premultiplied
        glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(tinyRims_.size() / 2));
    }
}

void GlassLook::prepareSheen(Streak& wet) const {
    const std::size_t n = wet.marks.size();
    // Three points across each mark: dry edges, the wettest middle; two strips, edge to middle
    // on either side.
    for (auto& side : wet.strips) {
        side.vertices.clear();
        side.colors.clear();
    }
    for (std::size_t i = 0; i < n; ++i) {
        const WetMark& a = wet.marks[i == 0 ? 0 : i - 1];
        const WetMark& b = wet.marks[i + 1 == n ? i : i + 1];
        const WetMark& m = wet.marks[i];
        const GLfloat dx = b.x - a.x, dy = b.y - a.y;
        const GLfloat length = std::max(1e-3f, std::hypot(dx, dy));
        const GLfloat nx = -dy / length * m.halfWidth, ny = dx / length * m.halfWidth;
        // Counted in whole steps of the streak's clock, so that it changes only every kDryStep.
        const int steps = (frame_ + wet.phase) / kDryStep - (m.frame + wet.phase) / kDryStep;
        const double dryness = std::min(1.0, static_cast<double>(steps) * kDryStep / kDryFrames);
        const auto wetness = static_cast<GLfloat>(kSheen * (1.0 - dryness) * (1.0 - dryness));
        for (int side = 0; side < 2; ++side) {
            const GLfloat sign = side == 0 ? 1.0f : -1.0f;
            Strip& strip = wet.strips[static_cast<std::size_t>(side)];
            // Edge then middle for the first strip, middle then edge for the second, as one
            // strip of the three points would run.
            const GLfloat edge[2] = {m.x + sign * nx, m.y + sign * ny};
            const GLfloat middle[2] = {m.x, m.y};
            const GLfloat* first = side == 0 ? edge : middle;
            const GLfloat* second = side == 0 ? middle : edge;
            strip.vertices.insert(strip.vertices.end(), {first[0], first[1], second[0], second[1]});
            const GLfloat firstShade = side == 0 ? 0.0f : wetness;
            const GLfloat secondShade = side == 0 ? wetness : 0.0f;
            strip.colors.insert(strip.colors.end(), 4, firstShade);
            strip.colors.insert(strip.colors.end(), 4, secondShade);
        }
    }
    wet.preparedFrame = frame_;
}

void GlassLook::drawSheen(const DirtyRegion::Rect* clip) {
    // The frame's alpha holds the steam's weight here (the composite keeps it for this look):
    // a wet streak lightens the picture as much as the picture shows, less as it dries.
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    glBlendFunc(GL_ONE_MINUS_DST_ALPHA, GL_ONE);
    auto draw = [](const Strip& strip, std::size_t from, std::size_t to) {
        glVertexPointer(2, GL_FLOAT, 0, strip.vertices.data() + from * 4);
        glColorPointer(4, GL_FLOAT, 0, strip.colors.data() + from * 8);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, static_cast<GLsizei>((to - from) * 2));
    };
    for (Streak& wet : streaks_) {
        const std::size_t n = wet.marks.size();
        if (n < 2) continue;
        if (wet.preparedFrame != frame_) prepareSheen(wet);
        // Only the runs of the strip that reach into the piece being drawn.
        std::size_t i = 0;
        while (i + 1 < n) {
            auto reaches = [&](std::size_t k) {
                if (!clip) return true;
                const WetMark& a = wet.marks[k];
                const WetMark& b = wet.marks[k + 1];
                const GLfloat r = std::max(a.halfWidth, b.halfWidth) + 1.0f;
                return std::min(a.x, b.x) - r <= clip->maxX &&
                       std::max(a.x, b.x) + r >= clip->minX &&
                       std::min(a.y, b.y) - r <= clip->maxY && std::max(a.y, b.y) + r >= clip->minY;
            };
            if (!reaches(i)) {
                ++i;
                continue;
            }
            std::size_t end = i + 1;
            while (end + 1 < n && reaches(end)) ++end;
            for (const Strip& strip : wet.strips) draw(strip, i, end + 1);
            i = end;
        }
    }
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
}

namespace {
// lensSample's zoom at a lens's edge, where it is largest.
constexpr double kWidestZoom = GlassLook::kLensZoom * (1.0 + GlassLook::kLensEdgeBend);

void widenReach(const GlassLook::Frame& f, std::array<double, 2>& reach) {
    const double across = std::abs(f.m[0]) + std::abs(f.m[1]);
    const double down = std::abs(f.m[2]) + std::abs(f.m[3]);
    reach[0] = std::max(reach[0], std::abs(f.cx) + kWidestZoom * across);
    reach[1] = std::max(reach[1], std::abs(f.cy) + kWidestZoom * down);
}
}  // namespace

void GlassLook::widenLensReach(const Knode& droplet, std::array<double, 2>& reach) const {
    Frame f;
    if (!droplet.invisible() && frameOf(droplet, f)) widenReach(f, reach);
}

void GlassLook::widenTinyLensReach(std::array<double, 2>& reach) const {
    for (const TinyDrop& tiny : tinyDrops_) widenReach(tinyFrame(tiny), reach);
}

void GlassLook::drawDroplets(const std::vector<Droplet*>& droplets, const Texture2D* background,
                             const DirtyRegion::Rect* clip) {
    glActiveTexture(GL_TEXTURE0);
    glClientActiveTexture(GL_TEXTURE0);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    drawSheen(clip);
    drawTinyDrops(background, clip);
    for (const Droplet* droplet : droplets) {
        if (droplet->invisible() || !droplet->texture()) continue;
        const Mask& mask = maskFor(*droplet->texture());
        Frame f;
        if (!frameOf(*droplet, f)) continue;
        if (background) drawLens(f, unitDisc_, mask, *background);
        drawRim(f, mask);
    }
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}
