#include "steam/DropletsScreen.h"

#include <GLES/glext.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <cmath>
#include <cstring>

#include "app/Settings.h"
#include "app/TenzoAppDelegate.h"
#include "physics/Knode.h"
#include "physics/Random.h"
#include "platform/GLExtensions.h"
#include "platform/Image.h"
#include "render/Globals.h"
#include "render/Texture2D.h"
#include "render/TextureFramebuffer.h"
#include "render/Touch.h"
#include "render/Viewport.h"
#include "steam/Droplet.h"
#include "steam/FrostedGlass.h"
#include "steam/GlassLook.h"
#include "steam/SurfaceTrack.h"

namespace {
// Everything that changes the steam draws untextured into the alpha channel only.
void beginSteamAlphaDrawing(GLenum sourceFactor, GLenum destinationFactor) {
    glEnable(GL_BLEND);
    glBlendFunc(sourceFactor, destinationFactor);
    glDisable(GL_TEXTURE_2D);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
}

void endSteamAlphaDrawing() {
    glEnable(GL_TEXTURE_2D);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

// In the glass look the steam lends the fog this much of its colour.
constexpr GLfloat kSteamTintInGlass = 0.3f;
// A finger's pass takes this much of the steam in the glass look.
constexpr GLfloat kWipeClear = 0.8f;

int percentDraw() { return static_cast<int>(brumelo::randomFraction() * 100.0f); }

double coordinateDraw(float span) {
    return static_cast<double>(brumelo::randomFraction() * span) - span / 2.0;
}

// The pane's rectangle in points, centred.
brumelo::RectF paneRect() {
    return {-paneWidthPoints() / 2, -paneHeightPoints() / 2, paneWidthPoints(), paneHeightPoints()};
}

// One screen-sized quad in one colour, as a four-vertex triangle strip.
void drawScreenQuad(GLfloat r, GLfloat g, GLfloat b, GLfloat alpha) {
    const auto w = static_cast<GLfloat>(paneHalfWidth()),
               h = static_cast<GLfloat>(paneHalfHeight());
    const GLfloat vertices[12] = {-w, -h, 0, w, -h, 0, -w, h, 0, w, h, 0};
    const GLfloat colors[16] = {r, g, b, alpha, r, g, b, alpha, r, g, b, alpha, r, g, b, alpha};
    // Texturing is off; a stale coordinate array left enabled must not be read.
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, vertices);
    glColorPointer(4, GL_FLOAT, 0, colors);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

// `first` on unit 0 over a strip of four vertices, the units from 1 up to below `end` set up
// already; then those units plain and off again, and unit 0 the active one.
void drawStripOnUnitsBelow(const Texture2D& first, const GLfloat* vertices,
                           const GLfloat* coordinates, GLenum end) {
    glActiveTexture(GL_TEXTURE0);
    glClientActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, first.name());
    glColorPointer(4, GL_FLOAT, 0, first.colors());
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, vertices);
    glTexCoordPointer(2, GL_FLOAT, 0, coordinates);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    for (GLenum unit = end; unit > GL_TEXTURE1;) {
        --unit;
        glActiveTexture(unit);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glDisable(GL_TEXTURE_2D);
        glClientActiveTexture(unit);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glActiveTexture(GL_TEXTURE0);
    glClientActiveTexture(GL_TEXTURE0);
}

// A texture drawn over the screen centred, over `over` points: as a picture's rows (upside
// down, as the background is drawn), or as a frame buffer's (laid out as the screen).
struct Layer {
    const Texture2D* texture = nullptr;
    brumelo::SizeF over{};
    bool likeScreen = false;
};

// The steam as drawAtPoint draws it, then on the next texture units the fogged view added to
// it and, where the units allow, the background mixed in by what the steam leaves clear
// (GL_COMBINE's interpolation by the steam's alpha): one pass for what two or three blended
// ones over the whole screen would cost. The steam's alpha is kept.
void drawSteamWithLayers(const Texture2D& steam, const Layer& frost, const Layer& background) {
    const brumelo::SizeF size = steam.drawnSize();
    const GLfloat x0 = -size.width / 2, y0 = -size.height / 2;
    const GLfloat x1 = size.width / 2, y1 = size.height / 2;
    const GLfloat vertices[12] = {x0, y0, 0, x1, y0, 0, x0, y1, 0, x1, y1, 0};
    const GLfloat coordinates[8] = {0.0f, steam.maxT(), steam.maxS(), steam.maxT(),
                                    0.0f, 0.0f,         steam.maxS(), 0.0f};
    GLfloat layerCoordinates[2][8];
    GLenum unit = GL_TEXTURE1;
    auto add = [&](const Layer& layer, GLfloat* coords) {
        const Texture2D& t = *layer.texture;
        for (int k = 0; k < 4; ++k) {
            const GLfloat up = (vertices[k * 3 + 1] + layer.over.height / 2) / layer.over.height;
            coords[k * 2] = t.maxS() * (vertices[k * 3] + layer.over.width / 2) / layer.over.width;
            coords[k * 2 + 1] = t.maxT() * (layer.likeScreen ? 1.0f - up : up);
        }
        glActiveTexture(unit);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, t.name());
        glClientActiveTexture(unit);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, coords);
        ++unit;
    };
    if (frost.texture) {
        add(frost, layerCoordinates[0]);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_ADD);
    }
    if (background.texture) {
        add(background, layerCoordinates[1]);
        // What is there so far where the steam lies, the background where it does not.
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_INTERPOLATE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SRC0_RGB, GL_PREVIOUS);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_SRC1_RGB, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB, GL_SRC_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_SRC2_RGB, GL_PREVIOUS);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND2_RGB, GL_SRC_ALPHA);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_REPLACE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SRC0_ALPHA, GL_PREVIOUS);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA, GL_SRC_ALPHA);
    }
    drawStripOnUnitsBelow(steam, vertices, coordinates, unit);
}

// `from` drawn over `rect` as drawInRect draws it, each pixel the mean of four linear samples a
// quarter of a target pixel (`ds`, `dt` in texture coordinates) off its centre on texture
// units 0 to 3: where the target has a quarter of the texels across, the 4 x 4 texels two
// halvings would average, in one pass.
void drawFourSamples(const Texture2D& from, const brumelo::RectF& rect, GLfloat ds, GLfloat dt) {
    const GLfloat x0 = rect.x, y0 = rect.y, x1 = rect.x + rect.width, y1 = rect.y + rect.height;
    const GLfloat vertices[12] = {x0, y0, 0, x1, y0, 0, x0, y1, 0, x1, y1, 0};
    const GLfloat base[8] = {0.0f, from.maxT(), from.maxS(), from.maxT(),
                             0.0f, 0.0f,        from.maxS(), 0.0f};
    static constexpr GLfloat kSides[4][2] = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    GLfloat coordinates[4][8];
    for (int k = 0; k < 4; ++k)
        for (int corner = 0; corner < 4; ++corner) {
            coordinates[k][corner * 2] = base[corner * 2] + kSides[k][0] * ds;
            coordinates[k][corner * 2 + 1] = base[corner * 2 + 1] + kSides[k][1] * dt;
        }
    for (int k = 1; k < 4; ++k) {
        const auto unit = static_cast<GLenum>(GL_TEXTURE0 + k);
        glActiveTexture(unit);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, from.name());
        // The running mean: this sample weighs one in k + 1 against those before it.
        const GLfloat share = 1.0f / static_cast<GLfloat>(k + 1);
        const GLfloat constant[4] = {share, share, share, share};
        glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, constant);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_INTERPOLATE);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_INTERPOLATE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SRC0_RGB, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SRC0_ALPHA, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SRC1_RGB, GL_PREVIOUS);
        glTexEnvi(GL_TEXTURE_ENV, GL_SRC1_ALPHA, GL_PREVIOUS);
        glTexEnvi(GL_TEXTURE_ENV, GL_SRC2_RGB, GL_CONSTANT);
        glTexEnvi(GL_TEXTURE_ENV, GL_SRC2_ALPHA, GL_CONSTANT);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB, GL_SRC_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB, GL_SRC_COLOR);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND2_RGB, GL_SRC_ALPHA);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA, GL_SRC_ALPHA);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_ALPHA, GL_SRC_ALPHA);
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND2_ALPHA, GL_SRC_ALPHA);
        glClientActiveTexture(unit);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, coordinates[k]);
    }
    drawStripOnUnitsBelow(from, vertices, coordinates[0], GL_TEXTURE4);
}

// Texture units the fixed-function pipeline has (GL ES 1.1 promises 2).
int textureUnits() {
    static const int units = [] {
        GLint n = 2;
        glGetIntegerv(GL_MAX_TEXTURE_UNITS, &n);
        return static_cast<int>(n);
    }();
    return units;
}

}  // namespace

DropletsScreen::DropletsScreen(Viewport* viewport) : Kworld(viewport) {}

DropletsScreen::~DropletsScreen() = default;

std::shared_ptr<DropletsScreen> DropletsScreen::initDropletsScreen(Viewport* viewport) {
    auto screen = std::make_shared<DropletsScreen>(viewport);
    screen->setGroupMax(groupMaxForPane());
    const brumelo::PaneSize pane = paneSize();
    // In the upper half of the screen, short of the top tenth of it.
    const double reach = -216.0 * (pane.height / 480.0);
    for (int i = 0; i < 2; ++i) {
        std::int32_t first = brumelo::random();
        std::int32_t second = brumelo::random();
        double x =
            static_cast<double>(brumelo::randomFraction(first) * static_cast<float>(pane.width)) -
            paneHalfWidth();
        double y = brumelo::randomFraction(second) * reach;
        screen->addDroplet({x, y, 0.0});
    }
    screen->resetBackgroundTextureRandom();
    screen->fingerTracks_.reserve(10);
    screen->backgroundTextureIsPhoto_ = false;
    screen->debugTexture2_.reset();
    screen->debugTexture1_.reset();
    screen->frames_ = 0;
    screen->isIpodTouchVariable_ = isIPodTouch();
    return screen;
}

void DropletsScreen::resetBackgroundTextureRandom() {
    still_ = _textures[1];
    if (!live_) backgroundTexture_ = still_;
    dirty_.addAll();
}

void DropletsScreen::resetBackgroundTextureWithImage(const Image& image) {
    still_ = Texture2D::initWithImage(&image);
    if (!live_) backgroundTexture_ = still_;
    dirty_.addAll();
}

void DropletsScreen::resetBackgroundTextureWithDenseImage(const Image& image,
                                                          float pixelsPerPoint) {
    still_ = Texture2D::initWithDenseImage(image, pixelsPerPoint);
    if (!live_) backgroundTexture_ = still_;
    dirty_.addAll();
}

void DropletsScreen::showLiveFrame(const std::shared_ptr<Texture2D>& frame) {
    if (!frame) return;
    live_ = true;
    liveFrameNew_ = true;
    backgroundTexture_ = frame;
    dirty_.addAll();
}

void DropletsScreen::endLiveBackground() {
    if (!live_) return;
    live_ = false;
    backgroundTexture_ = still_;
    liveFrost_.clear();
    frost_.reset();
    dirty_.addAll();
}

brumelo::SizeF DropletsScreen::backgroundReach() const {
    std::array<double, 2> lenses{0.0, 0.0};
    if (drewGlass_ && glass_) {
        for (const auto& node : nodes())
            if (dynamic_cast<const Droplet*>(node.get())) glass_->widenLensReach(*node, lenses);
        glass_->widenTinyLensReach(lenses);
    }
    // Room for a step of the droplets before they are drawn.
    constexpr double kStep = 8.0;
    return {static_cast<float>(std::max(paneHalfWidth(), lenses[0] + kStep)),
            static_cast<float>(std::max(paneHalfHeight(), lenses[1] + kStep))};
}

void DropletsScreen::addDroplet(_Vector3f p) {
    if (droplets_.size() > kMaxDroplets - 1) return;
    float mass = static_cast<float>(brumelo::randomFraction() * 0.001 + 0.0005);
    auto droplet = Droplet::initWithParams(static_cast<float>(p.x), static_cast<float>(p.y), mass,
                                           2, 0.0, this);
    droplet->setElasticity(0.3);
    setLimits(*droplet);
    droplet->setRemoveOffScreen(true);
    droplet->setBounceOnRect(false);
    droplets_.push_back(droplet);
}

void DropletsScreen::setLimits(Droplet& droplet) {
    const double w = paneHalfWidth(), h = paneHalfHeight();
    droplet.setRemoveTopLimit(h);
    droplet.setBounceTopLimit(h);
    droplet.setRemoveBottomLimit(-h);
    droplet.setBounceBottomLimit(-h);
    droplet.setRemoveRightLimit(w);
    droplet.setBounceRightLimit(w);
    droplet.setRemoveLeftLimit(-w);
    droplet.setBounceLeftLimit(-w);
}

std::int32_t DropletsScreen::groupMaxForPane() {
    // The phone's grid numbers its cells up to 117 and takes up to 120; a larger pane has more
    // columns and rows, and as much to spare.
    const brumelo::PaneSize pane = paneSize();
    return pane.width / 35 + 9 * (pane.height / 40) + 3;
}

void DropletsScreen::paneChanged() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    setGroupMax(groupMaxForPane());
    const double w = paneHalfWidth(), h = paneHalfHeight();
    std::vector<std::shared_ptr<Droplet>> off;
    for (const auto& droplet : droplets_) {
        setLimits(*droplet);
        if (std::abs(droplet->data[3]) > w || std::abs(droplet->data[7]) > h)
            off.push_back(droplet);
    }
    // Drops the pane no longer holds leave it; the rest run on as they were.
    for (const auto& droplet : off) removeNode(droplet.get());
    updateBspIndexes();
    dirty_.addAll();
}

void DropletsScreen::addRandomDroplet() {
    const brumelo::PaneSize pane = paneSize();
    double x = coordinateDraw(static_cast<float>(pane.width));
    double y = coordinateDraw(static_cast<float>(pane.height));
    addDroplet({x, y, 0.0});
}

void DropletsScreen::eraseDroplet(Knode* node) {
    auto found =
        std::find_if(droplets_.begin(), droplets_.end(),
                     [node](const std::shared_ptr<Droplet>& d) { return d.get() == node; });
    if (found == droplets_.end()) return;
    // Trail marks not yet burnt would stay in the world for good once nobody draws them.
    SurfaceTrack& trail = *(*found)->track();
    for (const auto& mark : trail.points()) Kworld::removeNode(mark.get());
    trail.removeDrawnNodes();
    droplets_.erase(found);
}

void DropletsScreen::removeNode(Knode* node) {
    Kworld::removeNode(node);
    eraseDroplet(node);
}

void DropletsScreen::checkAddObjectToRemove(Knode* node) {
    Kworld::checkAddObjectToRemove(node);
    eraseDroplet(node);
}

void DropletsScreen::addTrackPoint(const Touch& touch, _Vector3f point) {
    auto found = fingerTracks_.find(touch.identifier);
    if (found == fingerTracks_.end()) {
        bool first = fingerTracks_.empty();
        auto track = SurfaceTrack::initTrackWithSoundFromPoint(this, first, point);
        found = fingerTracks_.emplace(touch.identifier, std::move(track)).first;
    }
    found->second->addPointWithRadius(point, 25.0);
}

void DropletsScreen::stopMusic(const Touch& touch) {
    auto found = fingerTracks_.find(touch.identifier);
    if (found == fingerTracks_.end()) {
        my_custom_handler(nullptr);
        return;
    }
    std::shared_ptr<SurfaceTrack> track = found->second;
    bindSteamFramebuffer();
    if (GlassLook* glass = glassLook()) {
        glass->wipeBand(*track, 1.0, kWipeClear);
        track->dropMarks();
        glass->endBand(*track, kWipeClear);
        track->stopMusic();
        fingerTracks_.erase(found);
        return;
    }
    track->stopMusic();
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    beginSteamAlphaDrawing(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    noteMarksDirty(*track);
    track->draw();
    endSteamAlphaDrawing();
    fingerTracks_.erase(found);
}

void MyCFDictionaryApplierFunction(const void*, SurfaceTrack* value, void*) {
    if (value) value->draw();
}

void DropletsScreen::updatePhysics(double interval, Viewport* viewport) {
    for (const auto& droplet : droplets_) droplet->makeTrack();
    Kworld::updatePhysics(interval, viewport);
    updateBspIndexes();
}

std::int32_t DropletsScreen::calcCollisionGroup(Droplet* droplet, double dx, double dy) {
    double x = droplet->data[3] + dx;
    double y = droplet->data[7] + dy;
    auto column = static_cast<std::int32_t>((x + paneHalfWidth()) / 35.0);
    auto row = static_cast<std::int32_t>((y + paneHalfHeight()) / 40.0);
    droplet->setBspIndexX(column);
    droplet->setBspIndexY(row);
    // Nine, not ten, per row: the last column shares its number with the next row's first.
    return column + 9 * row;
}

void DropletsScreen::updateBspIndexes() {
    clearAllIntraCollisionGroups();
    for (const auto& droplet : droplets_) {
        double r = droplet->radius();
        std::int32_t centre = calcCollisionGroup(droplet.get(), 0, 0);
        std::int32_t left = calcCollisionGroup(droplet.get(), -r, 0);
        std::int32_t right = calcCollisionGroup(droplet.get(), r, 0);
        std::int32_t below = calcCollisionGroup(droplet.get(), 0, r);
        std::int32_t above = calcCollisionGroup(droplet.get(), 0, -r);
        addNodeToIntraCollisionGroup(droplet.get(), centre);
        for (std::int32_t group : {left, right, below, above}) {
            if (group != centre) addNodeToIntraCollisionGroup(droplet.get(), group);
        }
        droplet->data[2] = static_cast<float>(droplet->data[2] * 0.94);
        droplet->data[6] = static_cast<float>(droplet->data[6] * 0.94);
    }
}

_Vector3f DropletsScreen::getGravityVector() {
    _Vector3f g = gravity();
    g.z = 0.0;
    if (lengthV3(&g) < 0.25) return {0.0, 0.0, 0.0};
    return g;
}

void DropletsScreen::bindSteamFramebuffer() const {
    if (_textures[0]) glBindFramebufferOES(GL_FRAMEBUFFER_OES, _textures[0]->fbo());
}

void DropletsScreen::makeMoreSteamy() {
    dirty_.addAll();
    const Texture2D* writing = glassWriting();
    bindSteamFramebuffer();
    beginSteamAlphaDrawing(GL_ONE, GL_ONE);
    if (writing) {
        // Where it was wiped, fog settles at half the pace: old writing shows for a while.
        drawScreenQuad(0, 0, 0, 0.01f);
        drawAddingAlpha(*writing, 0.01f);
    } else {
        drawScreenQuad(0, 0, 0, 0.02f);
    }
    endSteamAlphaDrawing();
}

const Texture2D* DropletsScreen::glassWriting() {
    return drewGlass_ && glass_ ? glass_->writing() : nullptr;
}

void drawAddingAlpha(const Texture2D& texture, GLfloat alpha) {
    // The texture's alpha times `alpha`, with the caller's blending.
    const GLfloat colors[16] = {1, 1, 1, alpha, 1, 1, 1, alpha, 1, 1, 1, alpha, 1, 1, 1, alpha};
    // Over the whole pane, as the steam it weighs.
    const auto w = static_cast<GLfloat>(paneHalfWidth()),
               h = static_cast<GLfloat>(paneHalfHeight());
    const GLfloat vertices[12] = {-w, -h, 0, w, -h, 0, -w, h, 0, w, h, 0};
    const GLfloat s = texture.maxS(), t = texture.maxT();
    const GLfloat coords[8] = {0, t, s, t, 0, 0, s, 0};
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture.name());
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, vertices);
    glColorPointer(4, GL_FLOAT, 0, colors);
    glTexCoordPointer(2, GL_FLOAT, 0, coords);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisable(GL_TEXTURE_2D);
}

void DropletsScreen::makeLessSteamy(double amount) {
    dirty_.addAll();
    bindSteamFramebuffer();
    beginSteamAlphaDrawing(GL_ZERO, GL_ONE_MINUS_SRC_ALPHA);
    drawScreenQuad(0, 0, 0, static_cast<GLfloat>(amount));
    endSteamAlphaDrawing();
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, 0);
}

void DropletsScreen::blowDroplets(double level) {
    double k = 45000.0 * level;
    for (const auto& droplet : droplets_) {
        // From the bottom edge, right of centre, wherever that edge lies.
        _Vector3f d{static_cast<double>(droplet->data[3] - 130.0f),
                    static_cast<double>(droplet->data[7] - static_cast<float>(paneHalfHeight())),
                    0.0};
        double n = lengthV3(&d);
        // A droplet right on the blow point has no direction to go: it gets no push.
        if (n == 0.0) continue;
        auto angle = static_cast<float>(std::atan2(d.y, d.x));
        double f = k / (n * n);
        droplet->accumulatePushXY(f * std::cos(angle), f * std::sin(angle));
    }
}

void DropletsScreen::updateSoundLevel(double level) {
    if (level > 0.7) {
        makeMoreSteamy();
        if (percentDraw() > 97) addRandomDroplet();
        blowDroplets(level);
    } else {
        if (percentDraw() > 98) makeLessSteamy(0.004);
    }
    _Vector3f g = getGravityVector();
    if (lengthV3(&g) > 1.3) {
        if (isIpodTouchVariable_ && fingerDown) {
            if (percentDraw() > 97) addRandomDroplet();
            makeMoreSteamy();
        } else {
            if (percentDraw() > 90) addRandomDroplet();
            makeLessSteamy(0.01);
        }
    }
}

void DropletsScreen::noteMarksDirty(const SurfaceTrack& track, double width) {
    if (!partialRedraw_) return;
    for (const auto& mark : track.points()) {
        // A smooth point's edge is antialiased a pixel beyond its size.
        const float reach = static_cast<float>(mark->radius() * width) * 0.5f + 1.0f;
        const float x = mark->data[3], y = mark->data[7];
        dirty_.add(x - reach, y - reach, x + reach, y + reach);
    }
}

GlassLook* DropletsScreen::glassLook() {
    const bool glass = brumelo::settings().look == brumelo::Look::Glass;
    // The other look draws every pixel of a droplet or trail differently.
    if (glass != drewGlass_) dirty_.addAll();
    drewGlass_ = glass;
    if (!glass) return nullptr;
    if (!glass_) glass_ = std::make_unique<GlassLook>();
    return glass_.get();
}

float DropletsScreen::backgroundCover() const {
    if (!backgroundTexture_ || paneCoverScale() == 1.0f) return 1.0f;
    // A picture made for another pane (a dense copy from before the window changed) covers
    // this one too.
    const brumelo::SizeF size = backgroundTexture_->drawnSize();
    if (size.width <= 0 || size.height <= 0) return paneCoverScale();
    return std::max(paneWidthPoints() / size.width, paneHeightPoints() / size.height);
}

void DropletsScreen::prepareFrost() {
    if (!backgroundTexture_ || live_) screenBackground_.reset();
    if (!backgroundTexture_) {
        frost_.reset();
        return;
    }
    if (live_) {
        // The fog follows every other camera frame: a blur this wide shows no lag of a
        // frame, and its passes cost a tenth of the frame.
        if (!frostLive() || (liveFrameNew_ && ++liveFramesSinceFog_ >= 2)) {
            liveFramesSinceFog_ = 0;
            if (!prepareLiveFrost()) frost_.reset();
        }
        liveFrameNew_ = false;
        return;
    }
    if (frost_ && frostOf_.lock() == backgroundTexture_ && frostScale_ == contentScaleFactor &&
        frost_->contentSize().width == paneWidthPoints() &&
        frost_->contentSize().height == paneHeightPoints())
        return;
    frost_ = frost::makeFrostedTexture(*backgroundTexture_, paneWidthPoints(), paneHeightPoints(),
                                       contentScaleFactor, backgroundCover());
    prepareScreenBackground();
    frostOf_ = backgroundTexture_;
    frostScale_ = contentScaleFactor;
    dirty_.addAll();
}

brumelo::SizeF DropletsScreen::backgroundDrawnSize() const {
    const brumelo::SizeF size = backgroundTexture_->drawnSize();
    const float cover = backgroundCover();
    if (cover == 1.0f) return size;
    // A point more each way: filtered, the picture's outer texels blend with what lies past it
    // in the texture.
    return {(size.width + 2) * cover, (size.height + 2) * cover};
}

bool DropletsScreen::backgroundCoversPane() const {
    if (!backgroundTexture_) return false;
    const brumelo::SizeF size = backgroundDrawnSize();
    return size.width >= paneWidthPoints() && size.height >= paneHeightPoints();
}

bool DropletsScreen::backgroundTexelPerPixel() const {
    // Centred texel for pixel, the picture samples exactly and cheaper unfiltered.
    const brumelo::SizeF size = backgroundTexture_->drawnSize();
    const float s = contentScaleFactor;
    auto even = [](float pixels) { return std::fmod(pixels, 2.0f) == 0.0f; };
    return backgroundCover() == 1.0f && backgroundTexture_->pixelsPerPoint() == s &&
           even(size.width * s) && even(size.height * s);
}

brumelo::SizeF DropletsScreen::backgroundRect() {
    backgroundTexture_->setFilter(backgroundTexelPerPixel() ? GL_NEAREST : GL_LINEAR);
    return backgroundDrawnSize();
}

void DropletsScreen::drawBackground() {
    const brumelo::SizeF size = backgroundRect();
    backgroundTexture_->drawInRect({-size.width / 2, -size.height / 2, size.width, size.height});
}

void DropletsScreen::prepareScreenBackground() {
    screenBackground_.reset();
    // Only where the picture is filtered to the screen and covers all of it: elsewhere drawing
    // it is as cheap, or the glass shows past its edges.
    if (backgroundTexelPerPixel() || !backgroundCoversPane()) return;
    const float s = contentScaleFactor;
    GLint framebuffer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &framebuffer);
    auto copy = Texture2D::initWithSize({paneWidthPoints(), paneHeightPoints()}, s);
    if (copy && createFramebufferObjectForTexture(*copy, true)) {
        GLint viewport[4] = {0, 0, 0, 0};
        glGetIntegerv(GL_VIEWPORT, viewport);
        glViewport(0, 0, screenPixels(paneWidthPoints()), screenPixels(paneHeightPoints()));
        glEnable(GL_TEXTURE_2D);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glEnableClientState(GL_VERTEX_ARRAY);
        glDisable(GL_BLEND);
        glPushMatrix();
        glScalef(1, -1, 1);
        drawBackground();
        glPopMatrix();
        glEnable(GL_BLEND);
        glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
        // The picture drawn just as the composite draws it: a texel a pixel from now on.
        copy->setFilter(GL_NEAREST);
        screenBackground_ = std::move(copy);
    }
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, static_cast<GLuint>(framebuffer));
}

bool DropletsScreen::prepareLiveFrost() {
    // Halved down to a sixteenth and back up to a quarter: each linear step averages what the
    // last one left, so a moving picture blurs smoothly without a CPU pass. With four texture
    // units the way down takes two halvings a pass: each pass costs the rasteriser more than
    // its pixels.
    static constexpr int kHalvings[] = {1, 2, 3, 4, 3, 2};
    static constexpr int kTwoAPass[] = {2, 4, 3, 2};
    const bool fourSamples = textureUnits() >= 4;
    const int passes = static_cast<int>(fourSamples ? std::size(kTwoAPass) : std::size(kHalvings));
    const int* levels = fourSamples ? kTwoAPass : kHalvings;
    const float paneW = paneWidthPoints(), paneH = paneHeightPoints();
    // A pane of another shape needs passes of its own.
    if (liveFrostPane_.width != paneW || liveFrostPane_.height != paneH) liveFrost_.clear();
    GLint framebuffer = 0, viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &framebuffer);
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (liveFrost_.empty()) {
        for (int i = 0; i < passes; ++i) {
            const int level = levels[i];
            const float ppp = 1.0f / static_cast<float>(1 << level);
            const auto w = static_cast<unsigned>(std::lround(paneW * ppp));
            const auto h = static_cast<unsigned>(std::lround(paneH * ppp));
            auto pass =
                Texture2D::initWithSize({static_cast<float>(w), static_cast<float>(h)}, 1.0f);
            if (!pass) return false;
            if (!createFramebufferObjectForTexture(*pass, true)) {
                liveFrost_.clear();
                glBindFramebufferOES(GL_FRAMEBUFFER_OES, static_cast<GLuint>(framebuffer));
                return false;
            }
            liveFrost_.push_back(std::move(pass));
        }
        liveFrostPane_ = {paneW, paneH};
    }
    // Each pass stretched over the pane exactly: their sides are rounded.
    const brumelo::RectF pane = paneRect();
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ZERO);
    const Texture2D* from = backgroundTexture_.get();
    backgroundTexture_->setFilter(GL_LINEAR);
    for (std::size_t i = 0; i < liveFrost_.size(); ++i) {
        Texture2D& to = *liveFrost_[i];
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, to.fbo());
        glViewport(0, 0, static_cast<GLsizei>(std::lround(to.contentSize().width)),
                   static_cast<GLsizei>(std::lround(to.contentSize().height)));
        const bool last = i + 1 == liveFrost_.size();
        GLfloat* tint = const_cast<Texture2D*>(from)->colors();
        GLfloat kept[16];
        std::copy(tint, tint + 16, kept);
        // Fog scatters light back: the picture dimmer, lifted towards a cold white.
        if (last)
            for (int corner = 0; corner < 4; ++corner)
                for (int ch = 0; ch < 3; ++ch) tint[corner * 4 + ch] = frost::kLiveShare;
        // Where the picture lies, centred at its size, or a pass, over the pane.
        const brumelo::SizeF over =
            i == 0 ? from->drawnSize() : brumelo::SizeF{pane.width, pane.height};
        const brumelo::RectF rect{-over.width / 2, -over.height / 2, over.width, over.height};
        auto draw = [&] {
            if (fourSamples && i < 2) {
                // A quarter of the target's pixel, in the source's texture coordinates.
                const GLfloat ds =
                    0.25f * pane.width / to.contentSize().width * from->maxS() / over.width;
                const GLfloat dt =
                    0.25f * pane.height / to.contentSize().height * from->maxT() / over.height;
                drawFourSamples(*from, rect, ds, dt);
            } else {
                from->drawInRect(rect);
            }
        };
        if (i == 0) {
            // The picture as the composite draws it, so the passes are laid out as the screen.
            glClearColor(0, 0, 0, 1);
            glClear(GL_COLOR_BUFFER_BIT);
            // Opaque whatever the frame's alpha: the composite multiplies the steam by it.
            glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
            glPushMatrix();
            glScalef(1, -1, 1);
            draw();
            glPopMatrix();
            glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        } else {
            draw();
        }
        std::copy(kept, kept + 16, tint);
        if (last) {
            glBlendFunc(GL_ONE, GL_ONE);
            glDisable(GL_TEXTURE_2D);
            drawScreenQuad(frost::kLiveLift[0], frost::kLiveLift[1], frost::kLiveLift[2], 0.0f);
            glEnable(GL_TEXTURE_2D);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        }
        from = &to;
    }
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, static_cast<GLuint>(framebuffer));
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    frost_ = liveFrost_.back();
    dirty_.addAll();
    return true;
}

void DropletsScreen::drawOnTexture1(Viewport*, double) {
    if (GlassLook* glass = glassLook()) {
        // Smooth bands, which note where they change themselves.
        glass->burnTrails(droplets_);
        for (const auto& [key, track] : fingerTracks_) {
            glass->wipeBand(*track, 1.0, kWipeClear);
            track->dropMarks();
        }
        for (const auto& droplet : droplets_) droplet->track()->dropMarks();
        return;
    }
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    beginSteamAlphaDrawing(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    for (const auto& [key, track] : fingerTracks_) {
        noteMarksDirty(*track);
        MyCFDictionaryApplierFunction(&key, track.get(), nullptr);
    }
    for (const auto& droplet : droplets_) {
        noteMarksDirty(*droplet->track());
        droplet->drawTrack();
    }
    endSteamAlphaDrawing();
}

double markEdge(double diameterPoints) {
    const double inner = 1.0 - 2.0 / std::max(diameterPoints, 2.0);
    return inner * inner;
}

const Texture2D* DropletsScreen::markSprite(double diameterPoints) {
    const int bucket = std::clamp(static_cast<int>(std::log2(std::max(diameterPoints, 1.0))), 0,
                                  static_cast<int>(markSprites_.size()) - 1);
    std::shared_ptr<Texture2D>& sprite = markSprites_[static_cast<std::size_t>(bucket)];
    if (!sprite) {
        // The profile a smooth point of this many pixels has, at any number of pixels: from
        // the centre, 1 - d over d (squared distance in radii) up to the one-pixel edge ring,
        // whose level it keeps; scaled so its top is 1 (the marks' alpha carries the rest).
        constexpr int kSide = 64, kSamples = 4;
        const double edge = markEdge(std::exp2(bucket + 0.5));
        std::vector<std::uint8_t> alpha(kSide * kSide);
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                double sum = 0;
                for (int sy = 0; sy < kSamples; ++sy)
                    for (int sx = 0; sx < kSamples; ++sx) {
                        const double px = (x + (sx + 0.5) / kSamples) / kSide * 2 - 1;
                        const double py = (y + (sy + 0.5) / kSamples) / kSide * 2 - 1;
                        const double d = px * px + py * py;
                        if (d <= 1.0) sum += std::max(1.0 - d, 1.0 - edge);
                    }
                alpha[static_cast<std::size_t>(y * kSide + x)] =
                    static_cast<std::uint8_t>(std::lround(sum / (kSamples * kSamples) * 255));
            }
        sprite = Texture2D::initWithDataPixelFormatPixelsWidePixelsHighContentSize(
            alpha.data(), TexturePixelFormat::A8, kSide, kSide, {kSide, kSide});
    }
    return sprite.get();
}

bool DropletsScreen::coversScreen(const Viewport* viewport) const {
    if (!viewport) return false;
    const _Vector3f camera = viewport->cameraPosition();
    return viewport->width() == paneSize().width && viewport->height() == paneSize().height &&
           viewport->screenLocationX() == 0 && viewport->screenLocationY() == 0 &&
           camera.x == 0.0 && camera.y == 0.0 && camera.z == 1.0;
}

void DropletsScreen::compositeLayers(const DirtyRegion::Rect* clip) {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    if (frames_ <= 0) {
        // The thinning leaves frame buffer 0 bound; the screen here is an off-screen frame
        // buffer, so drawing goes back to whichever one the caller bound.
        GLint target = 0;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &target);
        makeLessSteamy(0.025);
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, static_cast<GLuint>(target));
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    GlassLook* glass = drewGlass_ ? glass_.get() : nullptr;
    bool pictureDrawn = false;
    // Past a picture that does not cover the pane the glass shows only the steam and, as much
    // as the steam weighs, the fogged view: drawn in passes of their own there.
    const bool covered = glass && backgroundCoversPane();
    if (_textures[0]) {
        if (glass) {
            // The fogged view brings most of the fog's light; the steam's own colour a little.
            GLfloat* tint = _textures[0]->colors();
            GLfloat kept[16];
            std::copy(tint, tint + 16, kept);
            for (int corner = 0; corner < 4; ++corner)
                for (int ch = 0; ch < 3; ++ch) tint[corner * 4 + ch] = kSteamTintInGlass;
            // The frame's alpha takes the steam's own: fog hides as much as it weighs. The
            // fogged view comes with it, to be kept as much as the steam weighs.
            glBlendFunc(GL_ONE, GL_ZERO);
            Layer fog, picture;
            if (frost_ && covered) {
                fog = {frost_.get(), frost_->drawnSize(), frostLive()};
                if (frostLive()) fog.over = {paneWidthPoints(), paneHeightPoints()};
            }
            if (covered && textureUnits() >= 3) {
                if (screenBackground_)
                    picture = {screenBackground_.get(), {paneWidthPoints(), paneHeightPoints()},
                               true};
                else if (backgroundTexture_)
                    picture = {backgroundTexture_.get(), backgroundRect(), false};
            }
            drawSteamWithLayers(*_textures[0], fog, picture);
            pictureDrawn = picture.texture != nullptr;
            std::copy(kept, kept + 16, tint);
        } else {
            _textures[0]->drawAtPoint(0.0f, 0.0f);
        }
    }

    glPushMatrix();
    glScalef(1, -1, 1);
    glBlendFunc(GL_ONE_MINUS_DST_ALPHA, GL_DST_ALPHA);
    // The glass look reads the steam's weight from the frame's alpha afterwards.
    if (glass) glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    if (pictureDrawn) {
        // Mixed in with the steam already.
    } else if (glass && screenBackground_) {
        // A frame buffer's picture is laid out as the screen's, not as a picture's rows.
        glScalef(1, -1, 1);
        screenBackground_->drawInRect(paneRect());
    } else if (backgroundTexture_) {
        drawBackground();
    }
    if (glass && frost_ && !covered) {
        glBlendFunc(GL_DST_ALPHA, GL_ONE);
        if (frostLive()) {
            glScalef(1, -1, 1);
            frost_->drawInRect(paneRect());
        } else {
            frost_->drawAtPoint(0.0f, 0.0f);
        }
    }
    if (glass) glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glPopMatrix();

    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    inClip_.clear();
    for (const DrawnDroplet& d : drawing_) {
        if (clip && (d.box.maxX < clip->minX || d.box.minX > clip->maxX ||
                     d.box.maxY < clip->minY || d.box.minY > clip->maxY))
            continue;
        inClip_.push_back(d.droplet);
    }
    if (glass) {
        glass->drawDroplets(inClip_, backgroundTexture_.get(), clip);
    } else {
        for (Droplet* droplet : inClip_) droplet->drawTextured();
    }

    glPushMatrix();
    glScalef(1, -1, 1);
    if (debugTexture1_) debugTexture1_->drawAtPoint(0.0f, 0.0f);
    if (debugTexture2_) debugTexture2_->drawAtPoint(0.0f, 60.0f);
    glPopMatrix();
}

void DropletsScreen::drawOnViewportTextured(Viewport* viewport, bool) {
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        if (viewport) viewport->setupView();
        GlassLook* glass = glassLook();
        if (glass) prepareFrost();
        // In the glass look a drop is drawn larger than its picture.
        const float grow = glass ? static_cast<float>(GlassLook::kDropScale) : 1.0f;
        drawing_.clear();
        for (const auto& node : nodes()) {
            auto* droplet = dynamic_cast<Droplet*>(node.get());
            if (!droplet) continue;
            const auto box = droplet->texturedBounds();
            // One unit more all round: filtering and rasterisation reach past the exact box.
            const float x = droplet->data[3], y = droplet->data[7];
            drawing_.push_back({droplet, box ? DirtyRegion::Rect{x + (box->minX - x) * grow - 1,
                                                                 y + (box->minY - y) * grow - 1,
                                                                 x + (box->maxX - x) * grow + 1,
                                                                 y + (box->maxY - y) * grow + 1}
                                             : DirtyRegion::Rect{}});
        }
        const bool partial = partialRedraw_ && frames_ > 0 && coversScreen(viewport) &&
                             !debugTexture1_ && !debugTexture2_;
        if (partial) {
            for (const DirtyRegion::Rect& box : drawnBoxes_) dirty_.add(box);
            for (const DrawnDroplet& d : drawing_) dirty_.add(d.box);
        }
        // Without partial redraws the changes only need forgetting.
        if (glass) glass->noteChanges(dirty_);
        if (!partial || dirty_.all()) {
            compositeLayers(nullptr);
        } else if (!dirty_.empty()) {
            glEnable(GL_SCISSOR_TEST);
            for (const DirtyRegion::Rect& r : dirty_.rects()) {
                const DirtyRegion::Pixels p = DirtyRegion::toPixels(r, contentScaleFactor);
                glScissor(p.x, p.y, p.width, p.height);
                compositeLayers(&r);
            }
            glDisable(GL_SCISSOR_TEST);
        }
        if (!partial) dirty_.addAll();
        lastRegion_ = dirty_;
        dirty_.clear();
        drawnBoxes_.clear();
        for (const DrawnDroplet& d : drawing_) drawnBoxes_.push_back(d.box);
    }
    frames_ += 1;
}

std::shared_ptr<Image> DropletsScreen::getScreenshot() {
    const int width = screenPixels(paneSize().width), height = screenPixels(paneSize().height);
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    // The fourth byte is the frame buffer's alpha, not part of the picture.
    for (std::size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;
    Image bottomUp(width, height, std::move(pixels), ImageAlpha::NoneSkipLast);
    return flipImage(bottomUp);
}

std::shared_ptr<Image> flipImage(const Image& image) {
    const int width = image.width(), height = image.height();
    const std::size_t rowBytes = static_cast<std::size_t>(std::max(width, 0)) * 4;
    std::vector<std::uint8_t> flipped(image.pixels().size());
    for (int y = 0; y < height; ++y) {
        std::memcpy(flipped.data() + static_cast<std::size_t>(height - 1 - y) * rowBytes,
                    image.pixels().data() + static_cast<std::size_t>(y) * rowBytes, rowBytes);
    }
    if (image.empty()) return std::make_shared<Image>();
    return std::make_shared<Image>(width, height, std::move(flipped), image.alphaInfo(),
                                   image.orientation());
}

void DropletsScreen::reset() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    dirty_.addAll();
    createFramebufferObjectForTexture(_textures[0], false);
    std::vector<std::shared_ptr<Droplet>> gone;
    gone.swap(droplets_);
    for (const auto& droplet : gone) Kworld::removeNode(droplet.get());
}
