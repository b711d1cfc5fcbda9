#include "render/DirtyRegion.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "render/Globals.h"

namespace {

float halfWidth() { return static_cast<float>(paneHalfWidth()); }
float halfHeight() { return static_cast<float>(paneHalfHeight()); }
// Past this share of the screen one full redraw is cheaper than many pieces.
constexpr float kFullShare = 0.5f;
// Overlapping pieces merge unless their union is this much larger than the two (a diagonal
// trail's pieces would become its whole bounding box).
constexpr float kMergeGrowth = 1.25f;

DirtyRegion::Rect unite(const DirtyRegion::Rect& a, const DirtyRegion::Rect& b) {
    return {std::min(a.minX, b.minX), std::min(a.minY, b.minY), std::max(a.maxX, b.maxX),
            std::max(a.maxY, b.maxY)};
}

bool overlap(const DirtyRegion::Rect& a, const DirtyRegion::Rect& b) {
    return a.minX <= b.maxX && b.minX <= a.maxX && a.minY <= b.maxY && b.minY <= a.maxY;
}

}  // namespace

void DirtyRegion::add(float minX, float minY, float maxX, float maxY) {
    if (all_) return;
    Rect r{std::max(minX, -halfWidth()), std::max(minY, -halfHeight()), std::min(maxX, halfWidth()),
           std::min(maxY, halfHeight())};
    if (!(r.minX < r.maxX && r.minY < r.maxY)) return;
    // Overlapping pieces would be drawn twice: they become one where that adds little.
    for (std::size_t i = 0; i < rects_.size();) {
        const Rect both = unite(r, rects_[i]);
        if (overlap(rects_[i], r) && both.area() <= kMergeGrowth * (r.area() + rects_[i].area())) {
            r = both;
            rects_.erase(rects_.begin() + static_cast<std::ptrdiff_t>(i));
            i = 0;
        } else {
            ++i;
        }
    }
    rects_.push_back(r);
    while (rects_.size() > kMaxRects) {
        // The pair whose union wastes the least.
        std::size_t bestI = 0, bestJ = 1;
        float bestWaste = std::numeric_limits<float>::max();
        for (std::size_t i = 0; i < rects_.size(); ++i)
            for (std::size_t j = i + 1; j < rects_.size(); ++j) {
                float waste =
                    unite(rects_[i], rects_[j]).area() - rects_[i].area() - rects_[j].area();
                if (waste < bestWaste) bestWaste = waste, bestI = i, bestJ = j;
            }
        mergeInto(bestI, bestJ);
    }
    float total = 0;
    for (const Rect& piece : rects_) total += piece.area();
    if (total > kFullShare * 4.0f * halfWidth() * halfHeight()) addAll();
}

void DirtyRegion::mergeInto(std::size_t keep, std::size_t drop) {
    rects_[keep] = unite(rects_[keep], rects_[drop]);
    rects_.erase(rects_.begin() + static_cast<std::ptrdiff_t>(drop));
}

DirtyRegion::Pixels DirtyRegion::toPixels(const Rect& r, float scale) {
    const auto x0 = static_cast<int>(std::floor((r.minX + halfWidth()) * scale));
    const auto y0 = static_cast<int>(std::floor((halfHeight() - r.maxY) * scale));
    const auto x1 = static_cast<int>(std::ceil((r.maxX + halfWidth()) * scale));
    const auto y1 = static_cast<int>(std::ceil((halfHeight() - r.minY) * scale));
    return {x0, y0, x1 - x0, y1 - y0};
}

void DirtyRegion::addAll() {
    all_ = true;
    rects_.clear();
}

void DirtyRegion::clear() {
    all_ = false;
    rects_.clear();
}
