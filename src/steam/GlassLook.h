#pragma once

#include <GLES/gl.h>

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "physics/Kworld.h"
#include "render/DirtyRegion.h"

class Droplet;
class Knode;
class SurfaceTrack;
class Texture2D;

// The glass look: every droplet a small lens of water that shows the background behind it,
// upside down and drawn in from around it, with a dark edge, a bright rim below and a highlight
// above; trails are streaks more than half as wide as their drops, with a wet sheen that dries
// in twenty seconds. Fixed-function GL ES 1.1 with two texture units: unit 0 the background with
// texture coordinates computed here per vertex, unit 1 an alpha mask made from the droplet's own
// picture (GL_MODULATE keeps unit 0's colour and multiplies its alpha by the mask).
class GlassLook {
  public:
    // How much further from the centre the lens samples than the point it shows: the view
    // through a drop is flipped and takes in about twice its width.
    static constexpr double kLensZoom = 2.1;
    // The zoom grows towards the edge by this much, as a dome bends the light more there.
    static constexpr double kLensEdgeBend = 0.7;
    // Drops are drawn this much larger than the classic pictures: lenses need room to show.
    static constexpr double kDropScale = 1.15;
    // Trail streaks are this many times as wide as the classic trail's marks.
    static constexpr double kTrailWidth = 1.7;

    GlassLook();
    ~GlassLook();
    GlassLook(const GlassLook&) = delete;
    GlassLook& operator=(const GlassLook&) = delete;

    // With the steam's frame buffer bound, before the wipes are burnt in: widens the droplets'
    // new trail marks into streaks in the steam, and keeps them for the sheen.
    void burnTrails(const std::vector<std::shared_ptr<Droplet>>& droplets);

    // Over the composited steam and background, in place of the droplet pictures: the sheen of
    // the wet trails, then for each droplet its lens and its rim. The frame's alpha must still
    // hold the steam's weight, as the composite left it (the steam's alpha). Leaves texture
    // unit 0 active and the blending at source alpha, one minus source alpha.
    // With a clip, only the sheen that reaches into it is drawn.
    void drawDroplets(const std::vector<Droplet*>& droplets, const Texture2D* background,
                      const DirtyRegion::Rect* clip = nullptr);

    // With the steam's frame buffer bound: wipes a stroke's new marks into the steam as one
    // smooth band that joins the band the stroke left last time, its width following the marks'
    // sizes (times `width`) smoothed, its edges fading over a point or two, its start rounded;
    // its middle takes `clear` of the steam. The marks stay for the caller to drop. Remembered,
    // the band is also written into writing().
    void wipeBand(SurfaceTrack& track, double width, float clear, bool remember = true);
    // The stroke ends: its band gets a rounded end.
    void endBand(SurfaceTrack& track, float clear, bool remember = true);
    // Where the glass was wiped, kept for the run: the alpha of this screen-sized texture is 1
    // where it never was and falls with every wipe. Fog settles slower there. nullptr when no
    // frame buffer could be made.
    const Texture2D* writing();

    // Where the sheen changed since the last call (new and dried marks; everywhere it lies when
    // it dried a step).
    void noteChanges(DirtyRegion& region);

    // Where the lens samples the picture for a point of the drop: offset (dx, dy) from the drop's
    // centre, at relative distance rho (0 centre, 1 edge) from it. Flipped about the centre.
    static std::array<double, 2> lensSample(double cx, double cy, double dx, double dy, double rho);

    // Widens `reach` (from the pane's centre, across and up or down, in points) to take in all
    // that the lenses of this droplet and of the tiny drops sample of the background.
    void widenLensReach(const Knode& droplet, std::array<double, 2>& reach) const;
    void widenTinyLensReach(std::array<double, 2>& reach) const;

    // Where a lens is drawn: world = centre + m (u, v), with (u, v) over the unit square [-1, 1]^2
    // of its picture, u across, v down.
    struct Frame {
        double cx = 0, cy = 0;
        double m[4] = {0, 0, 0, 0};  // row-major
        double dx(double u, double v) const { return m[0] * u + m[1] * v; }
        double dy(double u, double v) const { return m[2] * u + m[3] * v; }
    };
    // The tiny drops running drops left behind, which stay until a drop passes over them.
    struct TinyDrop {
        float x, y, radius;
        const Droplet* leftBy;  // until it has moved off, the drop that left it
    };
    const std::vector<TinyDrop>& tinyDrops() const { return tinyDrops_; }

  private:
    struct Mask {
        std::shared_ptr<Texture2D> alpha;  // A8, laid out as the droplet picture
        std::shared_ptr<Texture2D> rim;    // premultiplied RGBA, over the unit square
    };
    const Mask& maskFor(const Texture2D& picture);
    struct WetMark {
        GLfloat x, y, halfWidth;
        int frame;  // when it was left
    };
    // One side of a streak's sheen as a triangle strip: two vertices a mark.
    struct Strip {
        std::vector<GLfloat> vertices, colors;
    };
    // The wet trail of one drop, which outlives the drop until it has dried.
    struct Streak {
        std::weak_ptr<Droplet> droplet;
        std::vector<WetMark> marks;  // oldest first
        std::array<Strip, 2> strips;
        int preparedFrame = -1;  // the frame the strips were made for
        int phase = 0;           // offsets the frames it dries a step on
    };
    Streak& streakOf(const std::shared_ptr<Droplet>& droplet);
    void noteSheen(const Streak& wet, std::size_t from, std::size_t to);
    void prepareSheen(Streak& wet) const;
    void drawSheen(const DirtyRegion::Rect* clip);
    void drawLens(const Frame& f, const std::vector<GLfloat>& disc, const Mask& mask,
                  const Texture2D& background);
    // The lens's vertices into the arrays from vertex `at` on; false when there is no picture.
    bool lensVertices(const Frame& f, const std::vector<GLfloat>& disc, const Mask& mask,
                      const Texture2D& background, std::size_t at);
    void drawLensArrays(const Mask& mask, const Texture2D& background, std::size_t n);
    void drawRim(const Frame& f, const Mask& mask);
    void drawTinyDrops(const Texture2D* background, const DirtyRegion::Rect* clip);
    void leaveAndPickUpTinyDrops(const std::vector<std::shared_ptr<Droplet>>& droplets);
    void drawCap(float x, float y, float half, float nx, float ny, float clear);
    // Runs the drawing again into the writing, with the same state.
    template <class Draw>
    void inWriting(const Draw& draw);
    void noteBox(float x0, float y0, float x1, float y1, float reach);

    // The lens mesh over the unit disc, as triangles: position and relative distance per vertex.
    std::vector<GLfloat> unitDisc_;  // x, y, rho
    std::vector<GLfloat> smallDisc_;  // the same, coarser, for tiny drops
    std::vector<TinyDrop> tinyDrops_;
    std::vector<GLfloat> tinyRims_, tinyRimCoords_, tinyRimColors_;
    std::uint32_t tinyDraws_ = 0x2545F491u;
    std::vector<GLfloat> vertices_, pictureCoords_, maskCoords_, colors_;
    std::array<std::vector<GLfloat>, 3> bandVertices_, bandColors_;  // edge, middle, edge
    struct BandPoint {
        float x, y, half;
    };
    std::vector<BandPoint> band_;
    std::vector<GLfloat> capVertices_, capColors_;
    std::shared_ptr<Texture2D> writing_;
    float writingScale_ = 0.0f;
    std::unordered_map<std::uint64_t, Mask> masks_;
    std::vector<Streak> streaks_;
    int frame_ = 0;  // frames whose trails were burnt
    std::vector<DirtyRegion::Rect> sheenChanges_;
    int nextPhase_ = 0;
};
