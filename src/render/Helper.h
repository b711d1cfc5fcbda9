#pragma once

// Small geometry records the drawing code passes around, in single precision as GL wants them.
namespace brumelo {

struct PointF {
    float x = 0.0f;
    float y = 0.0f;
};

struct SizeF {
    float width = 0.0f;
    float height = 0.0f;
};

struct RectF {
    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
};

}  // namespace brumelo

// Where (x, y) lies against the rectangle of the given centre and size: 0 inside (edges too),
// 2 right of it, 1 left, 3 beyond the high-y edge, 4 beyond the low-y edge (tested in that order).
int pointInRect(float x, float y, float centerX, float centerY, float width, float height);
