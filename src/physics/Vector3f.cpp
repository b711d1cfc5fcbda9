#include "physics/Vector3f.h"

#include <cmath>

_Vector3f* setV3(_Vector3f* v, double x, double y, double z) {
    v->x = x;
    v->y = y;
    v->z = z;
    return v;
}

void copyToV3(_Vector3f* dst, const _Vector3f* src) { *dst = *src; }

_Vector3f* subtractV3(_Vector3f* out, const _Vector3f* a, const _Vector3f* b) {
    const double x = a->x - b->x, y = a->y - b->y, z = a->z - b->z;
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}

_Vector3f* clearV3(_Vector3f* v) { return setV3(v, 0.0, 0.0, 0.0); }

void addSelfV3(_Vector3f* v, const _Vector3f* w) {
    const _Vector3f s{v->x + w->x, v->y + w->y, v->z + w->z};
    *v = s;
}

void subtractSelfV3(_Vector3f* v, const _Vector3f* w) {
    const _Vector3f s{v->x - w->x, v->y - w->y, v->z - w->z};
    *v = s;
}

void divideSelfV3(_Vector3f* v, double s) {
    v->x /= s;
    v->y /= s;
    v->z /= s;
}

void multiplySelfV3(_Vector3f* v, double s) {
    v->x *= s;
    v->y *= s;
    v->z *= s;
}

double lengthV3(const _Vector3f* v) { return std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z); }

double dotV3(const _Vector3f* a, const _Vector3f* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z;
}

double getAngleXYrads(const _Vector3f* v) { return std::atan2(v->y, v->x); }

double distanceV3(const _Vector3f* a, const _Vector3f* b) {
    const double dx = a->x - b->x, dy = a->y - b->y, dz = a->z - b->z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}
