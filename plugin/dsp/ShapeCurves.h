#pragma once

#include <emmintrin.h>

#include <array>
#include <cmath>
#include <cstdint>

// Character curves of the detector: table lookups with linear interpolation
// over input magnitudes 0 to 1.4 (flat beyond), one table for negative inputs
// (sign bit set, so also -0.0) and one for the others. Only the entries'
// magnitudes count; the result takes the sign of the input.
struct ShapeTable {
    std::array<float, 200> entries;
    float scale;  // table positions per unit of input: 199 / 1.4, rounded
    int length;
};

extern const ShapeTable kVcaNegativeTable;
extern const ShapeTable kVcaPositiveTable;
extern const ShapeTable kFetNegativeTable;
extern const ShapeTable kFetPositiveTable;
extern const ShapeTable kOptoNegativeTable;
extern const ShapeTable kOptoPositiveTable;

// The interpolated lookup shared by the three curves.
inline double LookUpShape(const ShapeTable& negative, const ShapeTable& positive, double x)
{
    const ShapeTable& table = std::signbit(x) ? negative : positive;
    const auto& e = table.entries;
    const int last = table.length - 1;
    const double p = static_cast<double>(table.scale) * std::fabs(x);
    double value;
    if (std::isnan(p)) {
        value = e[0];
    } else if (p >= last) {  // also infinite and huge inputs: the curve stays flat
        value = e[last];
    } else {
        const int i = static_cast<int>(p);
        const double f = p - i;
        value = static_cast<double>(e[i]) * (1.0 - f) + static_cast<double>(e[i + 1]) * f;
    }
    return std::copysign(std::fabs(value), x);
}

// Two inputs at once (the two channels), each lane as the scalar lookup gives
// it, without branches: the sign of audio changes too often to predict.
inline __m128d LookUpShapePair(const ShapeTable& negative, const ShapeTable& positive, __m128d x)
{
    const __m128d signBit = _mm_set1_pd(-0.0);
    // Each lane's table by its sign, selected in integer arithmetic (a
    // conditional would be compiled to a branch).
    const unsigned signs = static_cast<unsigned>(_mm_movemask_pd(x));
    const std::uintptr_t p0 = reinterpret_cast<std::uintptr_t>(&positive);
    const std::uintptr_t toNegative = reinterpret_cast<std::uintptr_t>(&negative) - p0;
    const ShapeTable& t0 = *reinterpret_cast<const ShapeTable*>(p0 + (toNegative & (0u - std::uintptr_t(signs & 1))));
    const ShapeTable& t1 = *reinterpret_cast<const ShapeTable*>(p0 + (toNegative & (0u - std::uintptr_t(signs >> 1))));
    const int last0 = t0.length - 1;
    const int last1 = t1.length - 1;
    const __m128d p = _mm_mul_pd(_mm_set_pd(t1.scale, t0.scale), _mm_andnot_pd(signBit, x));
    const __m128d last = _mm_set_pd(last1, last0);
    const __m128d beyond = _mm_cmpge_pd(p, last);
    // NaN and beyond look up position 0, whose result is then replaced or kept:
    // e[0] (1 - 0) + e[1] 0 has the magnitude of e[0].
    const __m128d inside = _mm_and_pd(_mm_cmplt_pd(p, last), p);
    const __m128i index = _mm_cvttpd_epi32(inside);
    const __m128d f = _mm_sub_pd(inside, _mm_cvtepi32_pd(index));
    const int i0 = _mm_cvtsi128_si32(index);
    const int i1 = _mm_cvtsi128_si32(_mm_srli_si128(index, 4));
    const __m128d below = _mm_set_pd(t1.entries[i1], t0.entries[i0]);
    const __m128d above = _mm_set_pd(t1.entries[i1 + 1], t0.entries[i0 + 1]);
    const __m128d between = _mm_add_pd(_mm_mul_pd(below, _mm_sub_pd(_mm_set1_pd(1.0), f)), _mm_mul_pd(above, f));
    const __m128d flat = _mm_set_pd(t1.entries[last1], t0.entries[last0]);
    const __m128d value = _mm_or_pd(_mm_and_pd(beyond, flat), _mm_andnot_pd(beyond, between));
    return _mm_or_pd(_mm_andnot_pd(signBit, value), _mm_and_pd(signBit, x));
}

inline double ShapeVca(double x)
{
    return LookUpShape(kVcaNegativeTable, kVcaPositiveTable, x);
}

inline double ShapeFet(double x)
{
    return LookUpShape(kFetNegativeTable, kFetPositiveTable, x);
}

inline constexpr double kOptoGain = 3.9810717055349727;  // 10^0.6

// Carries a gain of 10^0.6 of its own.
inline double ShapeOpto(double x)
{
    return LookUpShape(kOptoNegativeTable, kOptoPositiveTable, x) * kOptoGain;
}

inline __m128d ShapeVcaPair(__m128d x)
{
    return LookUpShapePair(kVcaNegativeTable, kVcaPositiveTable, x);
}

inline __m128d ShapeFetPair(__m128d x)
{
    return LookUpShapePair(kFetNegativeTable, kFetPositiveTable, x);
}

inline __m128d ShapeOptoPair(__m128d x)
{
    return _mm_mul_pd(LookUpShapePair(kOptoNegativeTable, kOptoPositiveTable, x), _mm_set1_pd(kOptoGain));
}
