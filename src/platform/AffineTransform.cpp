#include "platform/AffineTransform.h"

#include <cmath>

namespace brumelo {

AffineTransform AffineTransform::rotation(double radians) {
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    return {c, s, -s, c, 0.0, 0.0};
}

AffineTransform AffineTransform::concat(const AffineTransform& o) const {
    return {o.a * a + o.c * b, o.b * a + o.d * b,          o.a * c + o.c * d,
            o.b * c + o.d * d, o.a * tx + o.c * ty + o.tx, o.b * tx + o.d * ty + o.ty};
}

}  // namespace brumelo
