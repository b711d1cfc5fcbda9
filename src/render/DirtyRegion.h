#pragma once

#include <cstddef>
#include <vector>

// The parts of the screen that changed since the frame was last composited, in world units
// (x -160..160, y -240..240 down the screen on the phone's pane). Redrawing only these gives the
// same pixels as redrawing everything, for a fraction of the fill.
class DirtyRegion {
  public:
    struct Rect {
        float minX = 0, minY = 0, maxX = 0, maxY = 0;
        float area() const { return (maxX - minX) * (maxY - minY); }
    };

    // A rectangle of a frame buffer that shows the screen at `scale` pixels a point, in GL's
    // window coordinates (origin bottom-left), rounded outwards.
    struct Pixels {
        int x = 0, y = 0, width = 0, height = 0;
    };
    static Pixels toPixels(const Rect& r, float scale);

    // More separate rectangles than this cost more in draw calls than they save in pixels.
    static constexpr std::size_t kMaxRects = 12;

    // Clipped to the screen; an empty or off-screen rectangle adds nothing.
    void add(float minX, float minY, float maxX, float maxY);
    void add(const Rect& r) { add(r.minX, r.minY, r.maxX, r.maxY); }
    // The whole screen changed.
    void addAll();
    void clear();

    bool empty() const { return !all_ && rects_.empty(); }
    bool all() const { return all_; }
    // Disjoint enough to be drawn one after another; empty when all() is set.
    const std::vector<Rect>& rects() const { return rects_; }

  private:
    void mergeInto(std::size_t keep, std::size_t drop);

    std::vector<Rect> rects_;
    bool all_ = false;
};
