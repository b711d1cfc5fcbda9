#pragma once

#include <GLES/gl.h>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "physics/Kworld.h"
#include "render/DirtyRegion.h"
#include "render/Helper.h"

class Droplet;
class GlassLook;
class Image;
class SurfaceTrack;
class Texture2D;
struct Touch;

// The steamed-up window: a world whose nodes are droplets and wipe marks. The steam is the alpha
// channel of the shared steam texture (entry 0 of _textures): 1 fogged, 0 clear. Everything that
// changes it draws into that texture with colour writes masked to alpha.
class DropletsScreen : public Kworld {
  public:
    static constexpr std::size_t kMaxDroplets = 7;

    explicit DropletsScreen(Viewport* viewport);
    // The screen with two droplets in the upper half and the default background.
    static std::shared_ptr<DropletsScreen> initDropletsScreen(Viewport* viewport);
    static std::shared_ptr<DropletsScreen> initDropletsScreen(
        const std::shared_ptr<Viewport>& viewport) {
        return initDropletsScreen(viewport.get());
    }
    ~DropletsScreen() override;

    // Background.
    void resetBackgroundTextureRandom();
    void resetBackgroundTextureWithImage(const Image& image);
    // A picture of `pixelsPerPoint` pixels a point, drawn at its size in points.
    void resetBackgroundTextureWithDenseImage(const Image& image, float pixelsPerPoint);
    // A live picture (a camera's newest frame in `frame`) shown in place of the still one, which
    // is kept: pictures set meanwhile replace the still one and show once the live one ends.
    void showLiveFrame(const std::shared_ptr<Texture2D>& frame);
    void endLiveBackground();
    bool liveBackground() const { return live_; }
    // How far from the pane's centre, across and up or down, the next frame may show of the
    // background, in points: the pane, and in the glass look as far as the lenses see.
    brumelo::SizeF backgroundReach() const;

    // Droplets. Requests beyond kMaxDroplets are ignored.
    void addDroplet(_Vector3f position);
    void addRandomDroplet();
    void removeNode(Knode* node) override;
    void checkAddObjectToRemove(Knode* node) override;

    // Finger wipes: one track per touch identifier.
    void addTrackPoint(const Touch& touch, _Vector3f point);
    void stopMusic(const Touch& touch);

    // Physics.
    void updatePhysics(double interval, Viewport* viewport) override;
    void updateBspIndexes();
    std::int32_t calcCollisionGroup(Droplet* droplet, double dx, double dy);
    _Vector3f getGravityVector() override;

    // Steam.
    void makeMoreSteamy();
    void makeLessSteamy(double amount);
    void blowDroplets(double level);
    void updateSoundLevel(double level);

    // Drawing. The first burns this frame's wipes into the steam (its frame buffer bound by the
    // caller); the second composites steam, background and droplets into the bound frame buffer.
    void drawOnTexture1(Viewport* viewport, double level);
    void drawOnViewportTextured(Viewport* viewport, bool textured) override;
    void drawOnViewport(Viewport* viewport, bool textured) {
        drawOnViewportTextured(viewport, textured);
    }
    // The bound frame buffer's pixels (the pane's points), upright, as an opaque picture.
    std::shared_ptr<Image> getScreenshot();

    // The pane took a new size (paneSize()): the droplets' limits, the collision grid's numbers
    // and the next composite follow it; droplets outside it leave.
    void paneChanged();
    // The largest collision-group number the grid gives on the present pane.
    static std::int32_t groupMaxForPane();

    // A fresh frame buffer on the steam texture (its content kept) and no droplets.
    void reset();

    // Off (the default), every composite redraws the whole screen. On, it redraws only what
    // changed since the last one (the bound frame buffer must keep its pixels between frames):
    // the same picture for far less fill.
    void setPartialRedraw(bool on) { partialRedraw_ = on; }
    bool partialRedraw() const { return partialRedraw_; }
    // The disc a wipe mark of this size is drawn with on a dense frame buffer: the profile a
    // smooth point has at one pixel a point, which a smooth point of more pixels has not.
    const Texture2D* markSprite(double diameterPoints);

    // The next composite redraws everything (the frame buffer was remade).
    void setNeedsDisplay() { dirty_.addAll(); }
    // What the last composite changed: empty when nothing, all() when everything.
    const DirtyRegion& lastCompositeRegion() const { return lastRegion_; }

    const std::vector<std::shared_ptr<Droplet>>& droplets() const { return droplets_; }
    const std::unordered_map<std::int64_t, std::shared_ptr<SurfaceTrack>>& fingerTracks() const {
        return fingerTracks_;
    }
    const std::shared_ptr<Texture2D>& backgroundTexture() const { return backgroundTexture_; }
    bool backgroundTextureIsPhoto() const { return backgroundTextureIsPhoto_; }
    bool isIpodTouchVariable() const { return isIpodTouchVariable_; }
    void setIsIpodTouchVariable(bool v) { isIpodTouchVariable_ = v; }
    const std::shared_ptr<Texture2D>& debugTexture1() const { return debugTexture1_; }
    void setDebugTexture1(std::shared_ptr<Texture2D> t) { debugTexture1_ = std::move(t); }
    const std::shared_ptr<Texture2D>& debugTexture2() const { return debugTexture2_; }
    void setDebugTexture2(std::shared_ptr<Texture2D> t) { debugTexture2_ = std::move(t); }
    std::int32_t frames() const { return frames_; }
    float totalSteamLevel() const { return totalSteamLevel_; }
    std::recursive_mutex& lock() { return lock_; }
    // In the glass look, where the glass was wiped this run (see GlassLook::writing); else
    // nullptr.
    const Texture2D* glassWriting();

  private:
    void eraseDroplet(Knode* node);
    // Bounce and removal at the pane's edges.
    static void setLimits(Droplet& droplet);
    void bindSteamFramebuffer() const;
    // The steam, the background and the droplets over whatever the scissor lets through.
    void compositeLayers(const DirtyRegion::Rect* clip);
    // Where a track's marks will clear the steam, drawn `width` times their size.
    void noteMarksDirty(const SurfaceTrack& track, double width = 1.0);
    bool coversScreen(const Viewport* viewport) const;
    GlassLook* glassLook();  // the glass look's drawing when it is chosen, else nullptr
    // The fogged view of the background for the glass look, made again when the background or
    // the density changed.
    void prepareFrost();
    // The fogged view of a moving picture, blurred on the GPU by halving it down to a few
    // points a pixel and back up; false when no frame buffer could be made.
    bool prepareLiveFrost();
    // The background as the composite draws it, before the steam (the matrix flipped).
    void drawBackground();
    // The points it covers, centred, its filter set for them.
    brumelo::SizeF backgroundRect();
    brumelo::SizeF backgroundDrawnSize() const;  // the same, the filter untouched
    bool backgroundCoversPane() const;
    // A still background the screen samples filtered, drawn once into a texture laid out as
    // the screen, for the glass look to draw a texel a pixel.
    void prepareScreenBackground();
    // How much the background is scaled to cover the pane.
    float backgroundCover() const;
    // Whether the background lies texel for pixel on the screen, centred.
    bool backgroundTexelPerPixel() const;
    // frost_ is the moving picture's, a frame buffer's laid out as the screen's.
    bool frostLive() const { return frost_ && !liveFrost_.empty() && frost_ == liveFrost_.back(); }

    std::vector<std::shared_ptr<Droplet>> droplets_;
    std::unordered_map<std::int64_t, std::shared_ptr<SurfaceTrack>> fingerTracks_;
    std::shared_ptr<Texture2D> backgroundTexture_;
    bool backgroundTextureIsPhoto_ = false;
    bool isIpodTouchVariable_ = false;
    std::shared_ptr<Texture2D> debugTexture1_;
    std::shared_ptr<Texture2D> debugTexture2_;
    std::int32_t frames_ = 0;
    float totalSteamLevel_ = 0.0f;
    std::recursive_mutex lock_;

    std::array<std::shared_ptr<Texture2D>, 9> markSprites_;
    bool partialRedraw_ = false;
    DirtyRegion dirty_;
    DirtyRegion lastRegion_;
    // The droplets of this composite with the boxes they cover, and last composite's boxes.
    struct DrawnDroplet {
        Droplet* droplet;
        DirtyRegion::Rect box;
    };
    std::vector<DrawnDroplet> drawing_;
    std::vector<DirtyRegion::Rect> drawnBoxes_;
    std::unique_ptr<GlassLook> glass_;
    bool drewGlass_ = false;        // the look of the last drawing
    std::shared_ptr<Texture2D> frost_;
    std::weak_ptr<Texture2D> frostOf_;
    float frostScale_ = 0.0f;
    std::shared_ptr<Texture2D> screenBackground_;  // see prepareScreenBackground
    std::shared_ptr<Texture2D> still_;  // the picture shown when no live one is
    bool live_ = false;
    bool liveFrameNew_ = false;
    int liveFramesSinceFog_ = 0;  // camera frames shown since the fog was last made
    std::vector<std::shared_ptr<Texture2D>> liveFrost_;  // the passes, smallest in the middle
    brumelo::SizeF liveFrostPane_{};                      // the pane they were made for
    std::vector<Droplet*> inClip_;  // the droplets a composite's piece draws
};

// Applied to every finger track when the wipes are burnt in: draws the track (none is skipped).
void MyCFDictionaryApplierFunction(const void* key, SurfaceTrack* value, void* context);

// Where the edge ring of a smooth point this many pixels wide begins, as a squared distance in
// radii; a mark's alpha is 1 / (1 - edge) times its own at the centre.
double markEdge(double diameterPoints);

// A screen-sized quad of the texture, its alpha times `alpha`, with the caller's blending.
void drawAddingAlpha(const Texture2D& texture, GLfloat alpha);

// The picture with its rows in reverse order (the same size and alpha kind).
std::shared_ptr<Image> flipImage(const Image& image);
