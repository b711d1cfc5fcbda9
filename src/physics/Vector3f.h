#pragma once

// Positions, velocities, forces and camera positions: three doubles, copied by value.
// The functions take pointers to caller-owned records and may be given the same record twice.
struct _Vector3f {
    double x;
    double y;
    double z;
};

_Vector3f* setV3(_Vector3f* v, double x, double y, double z);
void copyToV3(_Vector3f* dst, const _Vector3f* src);
_Vector3f* subtractV3(_Vector3f* out, const _Vector3f* a, const _Vector3f* b);
_Vector3f* clearV3(_Vector3f* v);
void addSelfV3(_Vector3f* v, const _Vector3f* w);
void subtractSelfV3(_Vector3f* v, const _Vector3f* w);
void divideSelfV3(_Vector3f* v, double s);
void multiplySelfV3(_Vector3f* v, double s);
double lengthV3(const _Vector3f* v);
double dotV3(const _Vector3f* a, const _Vector3f* b);
// Radians from +x towards +y, -pi..pi; z is ignored.
double getAngleXYrads(const _Vector3f* v);
double distanceV3(const _Vector3f* a, const _Vector3f* b);
