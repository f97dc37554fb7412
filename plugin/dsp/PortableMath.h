#pragma once

// exp, log and sin of our own for the per-sample paths. They use only
// additions, multiplications, one division and exact bit operations, in a
// fixed order (the project builds with -ffp-contract=off), so every compiler
// and C library gives the same bits: the Linux and Windows builds agree
// sample for sample. Each is within a few units in the last place of the
// exact value (the tests measure the worst case against the C library).

#include <emmintrin.h>

#include <cstdint>
#include <cstring>
#include <limits>

namespace portable_math {

inline double FromBits(std::uint64_t bits)
{
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

inline std::uint64_t ToBits(double v)
{
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

// ln 2 split so that k * kLn2High is exact for |k| < 2^11.
constexpr double kLn2High = 6.93147180369123816490e-01;
constexpr double kLn2Low = 1.90821492927058770002e-10;
constexpr double kInvLn2 = 1.44269504088896338700e+00;

} // namespace portable_math

// e^x. Below -708 (where the result leaves the normal range) it returns 0;
// above 709.78 infinity; NaN stays NaN.
inline double PortableExp(double x)
{
    using namespace portable_math;
    if (!(x > -708.0))
        return x != x ? x : 0.0;
    if (x > 709.78)
        return std::numeric_limits<double>::infinity();
    // x = k ln 2 + r, |r| <= ln 2 / 2 (k rounded half away from zero).
    const double t = x * kInvLn2;
    const int k = static_cast<int>(t < 0.0 ? t - 0.5 : t + 0.5);
    const double r = (x - k * kLn2High) - k * kLn2Low;
    // Taylor series to r^13: the next term is below 5e-18 for |r| <= 0.347.
    double p = 1.0 / 6227020800.0;  // 1/13!
    p = p * r + 1.0 / 479001600.0;
    p = p * r + 1.0 / 39916800.0;
    p = p * r + 1.0 / 3628800.0;
    p = p * r + 1.0 / 362880.0;
    p = p * r + 1.0 / 40320.0;
    p = p * r + 1.0 / 5040.0;
    p = p * r + 1.0 / 720.0;
    p = p * r + 1.0 / 120.0;
    p = p * r + 1.0 / 24.0;
    p = p * r + 1.0 / 6.0;
    p = p * r + 0.5;
    p = p * r * r + r;  // e^r - 1, summed small terms first
    if (k > 1023)  // 2^k itself would overflow
        return (1.0 + p) * 2.0 * FromBits(static_cast<std::uint64_t>(k - 1 + 1023) << 52);
    return (1.0 + p) * FromBits(static_cast<std::uint64_t>(k + 1023) << 52);
}

// Natural logarithm. 0 gives -infinity, negative values and NaN give NaN,
// infinity gives infinity.
inline double PortableLog(double x)
{
    using namespace portable_math;
    if (!(x > 0.0))
        return x == 0.0 ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
    if (x == std::numeric_limits<double>::infinity())
        return x;
    int e = 0;
    if (x < 2.2250738585072014e-308) {  // denormal: make it normal first
        x *= 18014398509481984.0;        // 2^54
        e = -54;
    }
    const std::uint64_t bits = ToBits(x);
    e += static_cast<int>((bits >> 52) & 0x7ff) - 1023;
    double m = FromBits((bits & 0x000fffffffffffffull) | 0x3ff0000000000000ull);  // [1, 2)
    if (m > 1.4142135623730951) {
        m *= 0.5;
        ++e;
    }
    // ln m = 2 atanh(s) with s = (m - 1) / (m + 1), |s| <= 0.1716:
    // 2 (s + s^3/3 + s^5/5 + ...), to s^25 (the next term is below 1e-20).
    const double f = m - 1.0;
    const double s = f / (2.0 + f);
    const double s2 = s * s;
    double p = 1.0 / 25.0;
    p = p * s2 + 1.0 / 23.0;
    p = p * s2 + 1.0 / 21.0;
    p = p * s2 + 1.0 / 19.0;
    p = p * s2 + 1.0 / 17.0;
    p = p * s2 + 1.0 / 15.0;
    p = p * s2 + 1.0 / 13.0;
    p = p * s2 + 1.0 / 11.0;
    p = p * s2 + 1.0 / 9.0;
    p = p * s2 + 1.0 / 7.0;
    p = p * s2 + 1.0 / 5.0;
    p = p * s2 + 1.0 / 3.0;
    // f - s f = 2 s exactly in real numbers; written this way the largest
    // term f is added last and the rounding stays small.
    const double hfsq = 0.5 * f * f;
    const double lnM = f - (hfsq - s * (hfsq + 2.0 * s2 * p));
    return e * kLn2High + (lnM + e * kLn2Low);
}

// sin x for |x| <= pi / 4 (the saturator's range, |x| <= 0.785). Outside it
// the series loses accuracy; NaN stays NaN.
inline double PortableSinQuarter(double x)
{
    using namespace portable_math;
    // Taylor series to x^17: the next term is below 1e-19 for |x| <= pi / 4.
    const double x2 = x * x;
    double p = -1.0 / 355687428096000.0;  // -1/17!
    p = p * x2 + 1.0 / 1307674368000.0;
    p = p * x2 - 1.0 / 6227020800.0;
    p = p * x2 + 1.0 / 39916800.0;
    p = p * x2 - 1.0 / 362880.0;
    p = p * x2 + 1.0 / 5040.0;
    p = p * x2 - 1.0 / 120.0;
    p = p * x2 + 1.0 / 6.0;
    // The result has the sign of x; the sign bit is copied so that -0 stays -0.
    const double r = x - x * x2 * p;
    return FromBits(ToBits(r) | (ToBits(x) & 0x8000000000000000ull));
}

// The same functions on the two lanes of an SSE2 register, with the scalar
// forms' operations in the same order: each lane gets the scalar result.

inline __m128d PortableExp(__m128d x)
{
    using namespace portable_math;
    const __m128d inRange = _mm_and_pd(_mm_cmpgt_pd(x, _mm_set1_pd(-708.0)), _mm_cmple_pd(x, _mm_set1_pd(709.0)));
    if (_mm_movemask_pd(inRange) != 3) {
        alignas(16) double lanes[2];
        _mm_store_pd(lanes, x);
        return _mm_set_pd(PortableExp(lanes[1]), PortableExp(lanes[0]));
    }
    const __m128d t = _mm_mul_pd(x, _mm_set1_pd(kInvLn2));
    const __m128d negative = _mm_cmplt_pd(t, _mm_setzero_pd());
    const __m128d rounded = _mm_or_pd(_mm_and_pd(negative, _mm_sub_pd(t, _mm_set1_pd(0.5))),
                                      _mm_andnot_pd(negative, _mm_add_pd(t, _mm_set1_pd(0.5))));
    const __m128i k = _mm_cvttpd_epi32(rounded);
    const __m128d kd = _mm_cvtepi32_pd(k);
    const __m128d r = _mm_sub_pd(_mm_sub_pd(x, _mm_mul_pd(kd, _mm_set1_pd(kLn2High))), _mm_mul_pd(kd, _mm_set1_pd(kLn2Low)));
    __m128d p = _mm_set1_pd(1.0 / 6227020800.0);
    p = _mm_add_pd(_mm_mul_pd(p, r), _mm_set1_pd(1.0 / 479001600.0));
    p = _mm_add_pd(_mm_mul_pd(p, r), _mm_set1_pd(1.0 / 39916800.0));
    p = _mm_add_pd(_mm_mul_pd(p, r), _mm_set1_pd(1.0 / 3628800.0));
    p = _mm_add_pd(_mm_mul_pd(p, r), _mm_set1_pd(1.0 / 362880.0));
    p = _mm_add_pd(_mm_mul_pd(p, r), _mm_set1_pd(1.0 / 40320.0));
    p = _mm_add_pd(_mm_mul_pd(p, r), _mm_set1_pd(1.0 / 5040.0));
    p = _mm_add_pd(_mm_mul_pd(p, r), _mm_set1_pd(1.0 / 720.0));
    p = _mm_add_pd(_mm_mul_pd(p, r), _mm_set1_pd(1.0 / 120.0));
    p = _mm_add_pd(_mm_mul_pd(p, r), _mm_set1_pd(1.0 / 24.0));
    p = _mm_add_pd(_mm_mul_pd(p, r), _mm_set1_pd(1.0 / 6.0));
    p = _mm_add_pd(_mm_mul_pd(p, r), _mm_set1_pd(0.5));
    p = _mm_add_pd(_mm_mul_pd(_mm_mul_pd(p, r), r), r);
    const __m128i biased = _mm_unpacklo_epi32(_mm_add_epi32(k, _mm_set1_epi32(1023)), _mm_setzero_si128());
    const __m128d scale = _mm_castsi128_pd(_mm_slli_epi64(biased, 52));
    return _mm_mul_pd(_mm_add_pd(_mm_set1_pd(1.0), p), scale);
}

// Lanes that are not normal positive finite numbers (zero, denormal,
// negative, infinite, NaN) take the scalar form.
inline __m128d PortableLog(__m128d x)
{
    using namespace portable_math;
    const __m128d normal = _mm_and_pd(_mm_cmpge_pd(x, _mm_set1_pd(2.2250738585072014e-308)),
                                      _mm_cmplt_pd(x, _mm_set1_pd(std::numeric_limits<double>::infinity())));
    if (_mm_movemask_pd(normal) != 3) {
        alignas(16) double lanes[2];
        _mm_store_pd(lanes, x);
        return _mm_set_pd(PortableLog(lanes[1]), PortableLog(lanes[0]));
    }
    const __m128i bits = _mm_castpd_si128(x);
    // The biased exponents (the sign bits are 0) as the low two integers.
    const __m128i biased = _mm_shuffle_epi32(_mm_srli_epi64(bits, 52), _MM_SHUFFLE(3, 1, 2, 0));
    __m128d e = _mm_sub_pd(_mm_cvtepi32_pd(biased), _mm_set1_pd(1023.0));
    __m128d m = _mm_castsi128_pd(_mm_or_si128(_mm_and_si128(bits, _mm_set1_epi64x(0x000fffffffffffffll)),
                                              _mm_set1_epi64x(0x3ff0000000000000ll)));
    const __m128d above = _mm_cmpgt_pd(m, _mm_set1_pd(1.4142135623730951));
    m = _mm_or_pd(_mm_and_pd(above, _mm_mul_pd(m, _mm_set1_pd(0.5))), _mm_andnot_pd(above, m));
    e = _mm_add_pd(e, _mm_and_pd(above, _mm_set1_pd(1.0)));
    const __m128d f = _mm_sub_pd(m, _mm_set1_pd(1.0));
    const __m128d s = _mm_div_pd(f, _mm_add_pd(_mm_set1_pd(2.0), f));
    const __m128d s2 = _mm_mul_pd(s, s);
    __m128d p = _mm_set1_pd(1.0 / 25.0);
    p = _mm_add_pd(_mm_mul_pd(p, s2), _mm_set1_pd(1.0 / 23.0));
    p = _mm_add_pd(_mm_mul_pd(p, s2), _mm_set1_pd(1.0 / 21.0));
    p = _mm_add_pd(_mm_mul_pd(p, s2), _mm_set1_pd(1.0 / 19.0));
    p = _mm_add_pd(_mm_mul_pd(p, s2), _mm_set1_pd(1.0 / 17.0));
    p = _mm_add_pd(_mm_mul_pd(p, s2), _mm_set1_pd(1.0 / 15.0));
    p = _mm_add_pd(_mm_mul_pd(p, s2), _mm_set1_pd(1.0 / 13.0));
    p = _mm_add_pd(_mm_mul_pd(p, s2), _mm_set1_pd(1.0 / 11.0));
    p = _mm_add_pd(_mm_mul_pd(p, s2), _mm_set1_pd(1.0 / 9.0));
    p = _mm_add_pd(_mm_mul_pd(p, s2), _mm_set1_pd(1.0 / 7.0));
    p = _mm_add_pd(_mm_mul_pd(p, s2), _mm_set1_pd(1.0 / 5.0));
    p = _mm_add_pd(_mm_mul_pd(p, s2), _mm_set1_pd(1.0 / 3.0));
    const __m128d hfsq = _mm_mul_pd(_mm_mul_pd(_mm_set1_pd(0.5), f), f);
    const __m128d inner = _mm_add_pd(hfsq, _mm_mul_pd(_mm_mul_pd(_mm_set1_pd(2.0), s2), p));
    const __m128d lnM = _mm_sub_pd(f, _mm_sub_pd(hfsq, _mm_mul_pd(s, inner)));
    return _mm_add_pd(_mm_mul_pd(e, _mm_set1_pd(kLn2High)), _mm_add_pd(lnM, _mm_mul_pd(e, _mm_set1_pd(kLn2Low))));
}

inline __m128d PortableSinQuarter(__m128d x)
{
    const __m128d x2 = _mm_mul_pd(x, x);
    __m128d p = _mm_set1_pd(-1.0 / 355687428096000.0);
    p = _mm_add_pd(_mm_mul_pd(p, x2), _mm_set1_pd(1.0 / 1307674368000.0));
    p = _mm_sub_pd(_mm_mul_pd(p, x2), _mm_set1_pd(1.0 / 6227020800.0));
    p = _mm_add_pd(_mm_mul_pd(p, x2), _mm_set1_pd(1.0 / 39916800.0));
    p = _mm_sub_pd(_mm_mul_pd(p, x2), _mm_set1_pd(1.0 / 362880.0));
    p = _mm_add_pd(_mm_mul_pd(p, x2), _mm_set1_pd(1.0 / 5040.0));
    p = _mm_sub_pd(_mm_mul_pd(p, x2), _mm_set1_pd(1.0 / 120.0));
    p = _mm_add_pd(_mm_mul_pd(p, x2), _mm_set1_pd(1.0 / 6.0));
    const __m128d r = _mm_sub_pd(x, _mm_mul_pd(_mm_mul_pd(x, x2), p));
    return _mm_or_pd(r, _mm_and_pd(x, _mm_set1_pd(-0.0)));
}
