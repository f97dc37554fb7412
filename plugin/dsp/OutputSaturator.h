#pragma once

#include "PortableMath.h"

#include <emmintrin.h>

// Sine-shaped output saturation: a quarter sine scaled so that small signals
// pass with a gain of about 0.98982 and inputs beyond +-10^0.9 give +-10^0.85.
namespace output_saturator {
constexpr double kInputScale = 0.12589254117941673;  // 10^-0.9
constexpr double kOutputScale = 7.0794578438413795;  // 10^0.85
constexpr double kSinOfLimit = 0.706825181105366;    // sin(0.785)
} // namespace output_saturator

inline double OutputSaturator(double x)
{
    using namespace output_saturator;
    double t = kInputScale * x;
    if (t > 1.0)
        t = 1.0;
    if (t < -1.0)
        t = -1.0;
    double s = PortableSinQuarter(0.785 * t) / kSinOfLimit;
    if (s < -1.0)
        s = -1.0;
    if (s > 1.0)
        s = 1.0;
    return kOutputScale * s;
}

// Both channels at once, each lane exactly as the scalar form (NaN included:
// the limits are written so that a NaN passes them as it does above).
inline __m128d OutputSaturator(__m128d x)
{
    using namespace output_saturator;
    __m128d t = _mm_mul_pd(_mm_set1_pd(kInputScale), x);
    t = _mm_min_pd(_mm_set1_pd(1.0), t);   // 1 < t ? 1 : t
    t = _mm_max_pd(_mm_set1_pd(-1.0), t);  // -1 > t ? -1 : t
    __m128d s = _mm_div_pd(PortableSinQuarter(_mm_mul_pd(_mm_set1_pd(0.785), t)), _mm_set1_pd(kSinOfLimit));
    s = _mm_max_pd(_mm_set1_pd(-1.0), s);
    s = _mm_min_pd(_mm_set1_pd(1.0), s);
    return _mm_mul_pd(_mm_set1_pd(kOutputScale), s);
}
