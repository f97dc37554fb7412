#include "WideLanes.h"

#include "OutputSaturator.h"
#include "PortableMath.h"
#include "ShapeCurves.h"
#include "compressor.h"

#include <immintrin.h>

#include <atomic>
#include <limits>

// Only the functions marked Wide are compiled for AVX2, and they run only
// when the processor has it: the rest of the program keeps the baseline
// instruction set. No FMA is enabled, so nothing can be contracted.
#define Wide __attribute__((target("avx2")))

namespace wide_lanes {

namespace {

bool Detect()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

const bool kAvailable = Detect();
std::atomic<bool> enabled{kAvailable};

constexpr double kNeperPerDb = compressor::kNeperPerDb;
constexpr double kDbPerNeper = compressor::kDbPerNeper;

Wide inline __m256d Set(double v)
{
    return _mm256_set1_pd(v);
}

Wide inline __m256d Select(__m256d mask, __m256d yes, __m256d no)
{
    return _mm256_or_pd(_mm256_and_pd(mask, yes), _mm256_andnot_pd(mask, no));
}

// PortableLog on four lanes, each a normal positive finite number.
Wide inline __m256d LogOfNormal(__m256d x)
{
    using namespace portable_math;
    const __m256i bits = _mm256_castpd_si256(x);
    const __m256i exponents = _mm256_permutevar8x32_epi32(_mm256_srli_epi64(bits, 52), _mm256_setr_epi32(0, 2, 4, 6, 0, 0, 0, 0));
    __m256d e = _mm256_sub_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(exponents)), Set(1023.0));
    __m256d m = _mm256_castsi256_pd(_mm256_or_si256(_mm256_and_si256(bits, _mm256_set1_epi64x(0x000fffffffffffffll)),
                                                    _mm256_set1_epi64x(0x3ff0000000000000ll)));
    const __m256d above = _mm256_cmp_pd(m, Set(1.4142135623730951), _CMP_GT_OQ);
    m = Select(above, _mm256_mul_pd(m, Set(0.5)), m);
    e = _mm256_add_pd(e, _mm256_and_pd(above, Set(1.0)));
    const __m256d f = _mm256_sub_pd(m, Set(1.0));
    const __m256d s = _mm256_div_pd(f, _mm256_add_pd(Set(2.0), f));
    const __m256d s2 = _mm256_mul_pd(s, s);
    __m256d p = Set(1.0 / 25.0);
    p = _mm256_add_pd(_mm256_mul_pd(p, s2), Set(1.0 / 23.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, s2), Set(1.0 / 21.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, s2), Set(1.0 / 19.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, s2), Set(1.0 / 17.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, s2), Set(1.0 / 15.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, s2), Set(1.0 / 13.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, s2), Set(1.0 / 11.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, s2), Set(1.0 / 9.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, s2), Set(1.0 / 7.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, s2), Set(1.0 / 5.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, s2), Set(1.0 / 3.0));
    const __m256d hfsq = _mm256_mul_pd(_mm256_mul_pd(Set(0.5), f), f);
    const __m256d inner = _mm256_add_pd(hfsq, _mm256_mul_pd(_mm256_mul_pd(Set(2.0), s2), p));
    const __m256d lnM = _mm256_sub_pd(f, _mm256_sub_pd(hfsq, _mm256_mul_pd(s, inner)));
    return _mm256_add_pd(_mm256_mul_pd(e, Set(kLn2High)), _mm256_add_pd(lnM, _mm256_mul_pd(e, Set(kLn2Low))));
}

// PortableExp on four lanes; lanes out of the polynomial's range go through
// the 128-bit form (and from there the scalar one).
Wide inline __m256d Exp(__m256d x)
{
    using namespace portable_math;
    const __m256d inRange = _mm256_and_pd(_mm256_cmp_pd(x, Set(-708.0), _CMP_GT_OQ), _mm256_cmp_pd(x, Set(709.0), _CMP_LE_OQ));
    if (_mm256_movemask_pd(inRange) != 15)
        return _mm256_setr_m128d(PortableExp(_mm256_castpd256_pd128(x)), PortableExp(_mm256_extractf128_pd(x, 1)));
    const __m256d t = _mm256_mul_pd(x, Set(kInvLn2));
    const __m256d negative = _mm256_cmp_pd(t, _mm256_setzero_pd(), _CMP_LT_OQ);
    const __m256d rounded = Select(negative, _mm256_sub_pd(t, Set(0.5)), _mm256_add_pd(t, Set(0.5)));
    const __m128i k = _mm256_cvttpd_epi32(rounded);
    const __m256d kd = _mm256_cvtepi32_pd(k);
    const __m256d r = _mm256_sub_pd(_mm256_sub_pd(x, _mm256_mul_pd(kd, Set(kLn2High))), _mm256_mul_pd(kd, Set(kLn2Low)));
    __m256d p = Set(1.0 / 6227020800.0);
    p = _mm256_add_pd(_mm256_mul_pd(p, r), Set(1.0 / 479001600.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, r), Set(1.0 / 39916800.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, r), Set(1.0 / 3628800.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, r), Set(1.0 / 362880.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, r), Set(1.0 / 40320.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, r), Set(1.0 / 5040.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, r), Set(1.0 / 720.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, r), Set(1.0 / 120.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, r), Set(1.0 / 24.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, r), Set(1.0 / 6.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, r), Set(0.5));
    p = _mm256_add_pd(_mm256_mul_pd(_mm256_mul_pd(p, r), r), r);
    const __m256i biased = _mm256_cvtepi32_epi64(_mm_add_epi32(k, _mm_set1_epi32(1023)));
    const __m256d scale = _mm256_castsi256_pd(_mm256_slli_epi64(biased, 52));
    return _mm256_mul_pd(_mm256_add_pd(Set(1.0), p), scale);
}

Wide inline __m256d GainsOf4(const GainCurve& c, __m256d envelopes)
{
    const __m256d magnitude = _mm256_andnot_pd(Set(-0.0), envelopes);
    __m256d quiet = _mm256_setzero_pd();
    if (c.straight >= 0.0) {
        quiet = _mm256_cmp_pd(magnitude, Set(c.quietBound), _CMP_LT_OQ);
        if (_mm256_movemask_pd(quiet) == 15)
            return _mm256_setzero_pd();
    }
    const __m256d heard = Select(quiet, Set(1.0), magnitude);
    const __m256d normal = _mm256_and_pd(_mm256_cmp_pd(heard, Set(2.2250738585072014e-308), _CMP_GE_OQ),
                                         _mm256_cmp_pd(heard, Set(std::numeric_limits<double>::infinity()), _CMP_LT_OQ));
    __m256d logarithm;
    if (_mm256_movemask_pd(normal) == 15) {
        logarithm = LogOfNormal(heard);
    } else {
        double lanes[4];
        _mm256_storeu_pd(lanes, heard);
        logarithm = _mm256_setr_pd(PortableLog(lanes[0]), PortableLog(lanes[1]), PortableLog(lanes[2]), PortableLog(lanes[3]));
    }
    const __m256d level = _mm256_mul_pd(logarithm, Set(kDbPerNeper));
    const __m256d slopes = Set(c.straight);
    const __m256d lower = Set(c.kneeLower);
    const __m256d kneeSlope =
        _mm256_mul_pd(_mm256_mul_pd(_mm256_div_pd(_mm256_sub_pd(level, lower), Set(c.kneeWidth)), Set(0.5)), slopes);
    const __m256d kneeGain = _mm256_mul_pd(_mm256_sub_pd(lower, level), kneeSlope);
    const __m256d g = _mm256_mul_pd(_mm256_sub_pd(Set(c.threshold), level), slopes);
    const __m256d lineGain = _mm256_and_pd(_mm256_cmp_pd(g, _mm256_setzero_pd(), _CMP_LT_OQ), g);
    __m256d inKnee = _mm256_and_pd(_mm256_cmp_pd(lower, level, _CMP_LT_OQ), _mm256_cmp_pd(level, Set(c.kneeUpper), _CMP_LT_OQ));
    if (!(c.kneeWidth > 0.0))
        inKnee = _mm256_setzero_pd();
    return _mm256_andnot_pd(quiet, Select(inKnee, kneeGain, lineGain));
}

Wide void GainsWide(const GainCurve& curve, const double* envelopes, double* gains, int count)
{
    for (int i = 0; i < count; i += 4)
        _mm256_storeu_pd(gains + i, GainsOf4(curve, _mm256_loadu_pd(envelopes + i)));
}

Wide void GainFactorsWide(const double* gains, double* factors, double* squares, int count)
{
    for (int i = 0; i < count; i += 4) {
        const __m256d g = _mm256_loadu_pd(gains + i);
        if (_mm256_movemask_pd(_mm256_cmp_pd(g, _mm256_setzero_pd(), _CMP_NEQ_UQ)) == 0) {
            _mm256_storeu_pd(factors + i, Set(1.0));
            _mm256_storeu_pd(squares + i, Set(1.0));
            continue;
        }
        // Each frame's two exponents side by side, as the 128-bit form has them.
        const __m256d single = _mm256_mul_pd(g, Set(kNeperPerDb));
        const __m256d twice = _mm256_mul_pd(_mm256_mul_pd(Set(2.0), g), Set(kNeperPerDb));
        const __m256d low = Exp(_mm256_unpacklo_pd(single, twice));   // g0, 2g0, g2, 2g2
        const __m256d high = Exp(_mm256_unpackhi_pd(single, twice));  // g1, 2g1, g3, 2g3
        _mm256_storeu_pd(factors + i, _mm256_unpacklo_pd(low, high));
        _mm256_storeu_pd(squares + i, _mm256_unpackhi_pd(low, high));
    }
}

Wide inline __m256d Frames(const double* h, int frame)
{
    return _mm256_loadu_pd(h + 2 * frame);
}

Wide void FoldedSumsWide(const double* taps, const double* h, int m, const double* centre, bool fixedCentre,
                         double offset, double* out, int count)
{
    const __m256d half = Set(0.5);
    const __m256d subtracted = Set(offset);
    const __m256d fixed = _mm256_broadcast_pd(reinterpret_cast<const __m128d*>(centre));
    for (int k = 0; k < count; k += 8) {
        __m256d acc[4];
        for (int j = 0; j < 4; ++j)
            acc[j] = _mm256_mul_pd(half, fixedCentre ? fixed : Frames(centre, k + 2 * j));
        for (int t = 0; t < 32; ++t) {
            const __m256d tap = Set(taps[t]);
            for (int j = 0; j < 4; ++j)
                acc[j] = _mm256_add_pd(acc[j], _mm256_mul_pd(tap, _mm256_add_pd(Frames(h, m + k + 2 * j - 31 + t),
                                                                                Frames(h, m + k + 2 * j - 32 - t))));
        }
        for (int j = 0; j < 4; ++j)
            _mm256_storeu_pd(out + 2 * (k + 2 * j), _mm256_sub_pd(acc[j], subtracted));
    }
}

Wide void ConstantSumsWide(const double* products, const double* centre, double offset, double* out, int count)
{
    const __m256d half = Set(0.5);
    for (int k = 0; k < count; k += 8) {
        __m256d acc[4];
        for (int j = 0; j < 4; ++j)
            acc[j] = _mm256_mul_pd(half, Frames(centre, k + 2 * j));
        for (int t = 0; t < 32; ++t) {
            const __m256d product = Set(products[t]);
            for (int j = 0; j < 4; ++j)
                acc[j] = _mm256_add_pd(acc[j], product);
        }
        for (int j = 0; j < 4; ++j)
            _mm256_storeu_pd(out + 2 * (k + 2 * j), _mm256_sub_pd(acc[j], Set(offset)));
    }
}

// A curve's two tables end to end (negative inputs first), for lookups that
// gather each lane's entries by one index.
struct JoinedTables {
    float entries[2 * 200 + 1];
    double scale;
    double last;
    int positiveStart;
    bool usable;  // both tables alike in size and scale
};

JoinedTables Join(const ShapeTable& negative, const ShapeTable& positive)
{
    JoinedTables joined{};
    joined.usable = negative.length == 200 && positive.length == 200 && negative.scale == positive.scale;
    if (!joined.usable)
        return joined;
    for (int i = 0; i < 200; ++i) {
        joined.entries[i] = negative.entries[i];
        joined.entries[200 + i] = positive.entries[i];
    }
    joined.scale = negative.scale;
    joined.last = 199;
    joined.positiveStart = 200;
    return joined;
}

const JoinedTables kVcaJoined = Join(kVcaNegativeTable, kVcaPositiveTable);
const JoinedTables kFetJoined = Join(kFetNegativeTable, kFetPositiveTable);
const JoinedTables kOptoJoined = Join(kOptoNegativeTable, kOptoPositiveTable);

// LookUpShape on four lanes.
Wide inline __m256d LookUp(const JoinedTables& t, __m256d x)
{
    const __m256d signBit = Set(-0.0);
    const __m256d p = _mm256_mul_pd(Set(t.scale), _mm256_andnot_pd(signBit, x));
    const __m256d last = Set(t.last);
    const __m256d beyond = _mm256_cmp_pd(p, last, _CMP_GE_OQ);
    const __m256d inside = _mm256_and_pd(_mm256_cmp_pd(p, last, _CMP_LT_OQ), p);
    const __m128i index = _mm256_cvttpd_epi32(inside);
    const __m256d f = _mm256_sub_pd(inside, _mm256_cvtepi32_pd(index));
    // The high halves of the lanes carry the signs: all ones for negative lanes.
    const __m128i negative = _mm_srai_epi32(
        _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(_mm256_castpd_si256(x), _mm256_setr_epi32(1, 3, 5, 7, 1, 3, 5, 7))),
        31);
    const __m128i at = _mm_add_epi32(index, _mm_andnot_si128(negative, _mm_set1_epi32(t.positiveStart)));
    const __m256d below = _mm256_cvtps_pd(_mm_i32gather_ps(t.entries, at, 4));
    const __m256d above = _mm256_cvtps_pd(_mm_i32gather_ps(t.entries + 1, at, 4));
    const __m256d between = _mm256_add_pd(_mm256_mul_pd(below, _mm256_sub_pd(Set(1.0), f)), _mm256_mul_pd(above, f));
    const int lastIndex = static_cast<int>(t.last);
    const __m256d flat = _mm256_blendv_pd(Set(t.entries[t.positiveStart + lastIndex]), Set(t.entries[lastIndex]), x);
    const __m256d value = _mm256_blendv_pd(between, flat, beyond);
    return _mm256_or_pd(_mm256_andnot_pd(signBit, value), _mm256_and_pd(signBit, x));
}

template <int Code>
Wide void ShapesWide(double* frames, int count)
{
    for (int k = 0; k < count; k += 2) {
        __m256d x = Frames(frames, k);
        if constexpr (Code >= 10)
            x = _mm256_mul_pd(LookUp(kOptoJoined, x), Set(kOptoGain));
        if constexpr (Code % 10 >= 5)
            x = LookUp(kFetJoined, x);
        if constexpr (Code % 5 == 1)
            x = LookUp(kVcaJoined, x);
        _mm256_storeu_pd(frames + 2 * k, x);
    }
}

// OutputSaturator on four lanes, with the limits written as there.
Wide inline __m256d Saturator(__m256d x)
{
    using namespace output_saturator;
    __m256d t = _mm256_mul_pd(Set(kInputScale), x);
    t = _mm256_min_pd(Set(1.0), t);
    t = _mm256_max_pd(Set(-1.0), t);
    const __m256d a = _mm256_mul_pd(Set(0.785), t);
    const __m256d a2 = _mm256_mul_pd(a, a);
    __m256d p = Set(-1.0 / 355687428096000.0);
    p = _mm256_add_pd(_mm256_mul_pd(p, a2), Set(1.0 / 1307674368000.0));
    p = _mm256_sub_pd(_mm256_mul_pd(p, a2), Set(1.0 / 6227020800.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, a2), Set(1.0 / 39916800.0));
    p = _mm256_sub_pd(_mm256_mul_pd(p, a2), Set(1.0 / 362880.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, a2), Set(1.0 / 5040.0));
    p = _mm256_sub_pd(_mm256_mul_pd(p, a2), Set(1.0 / 120.0));
    p = _mm256_add_pd(_mm256_mul_pd(p, a2), Set(1.0 / 6.0));
    const __m256d r = _mm256_sub_pd(a, _mm256_mul_pd(_mm256_mul_pd(a, a2), p));
    const __m256d sine = _mm256_or_pd(r, _mm256_and_pd(a, Set(-0.0)));
    __m256d s = _mm256_div_pd(sine, Set(kSinOfLimit));
    s = _mm256_max_pd(Set(-1.0), s);
    s = _mm256_min_pd(Set(1.0), s);
    return _mm256_mul_pd(Set(kOutputScale), s);
}

Wide void SaturateWide(const double* in, double* out, int count)
{
    for (int k = 0; k < count; k += 2)
        _mm256_storeu_pd(out + 2 * k, Saturator(Frames(in, k)));
}

Wide void SaturateDoubledWide(const double* in, double offset, double* out, int count)
{
    for (int k = 0; k < count; k += 2)
        _mm256_storeu_pd(out + 2 * k, _mm256_add_pd(Saturator(_mm256_mul_pd(Set(2.0), Frames(in, k))), Set(offset)));
}

} // namespace

int Saturate(const double* in, double* out, int count)
{
    if (!Enabled())
        return 0;
    const int done = count & ~1;
    SaturateWide(in, out, done);
    return done;
}

int SaturateDoubled(const double* in, double offset, double* out, int count)
{
    if (!Enabled())
        return 0;
    const int done = count & ~1;
    SaturateDoubledWide(in, offset, out, done);
    return done;
}

int Shapes(int code, double* frames, int count)
{
    if (!Enabled() || !kVcaJoined.usable || !kFetJoined.usable || !kOptoJoined.usable)
        return 0;
    const int done = count & ~1;
    switch (code) {
    case 1: ShapesWide<1>(frames, done); break;
    case 5: ShapesWide<5>(frames, done); break;
    case 6: ShapesWide<6>(frames, done); break;
    case 10: ShapesWide<10>(frames, done); break;
    case 11: ShapesWide<11>(frames, done); break;
    case 15: ShapesWide<15>(frames, done); break;
    case 16: ShapesWide<16>(frames, done); break;
    default: return 0;
    }
    return done;
}

int Gains(const GainCurve& curve, const double* envelopes, double* gains, int count)
{
    if (!Enabled())
        return 0;
    const int done = count & ~3;
    GainsWide(curve, envelopes, gains, done);
    return done;
}

int GainFactors(const double* gains, double* factors, double* squares, int count)
{
    if (!Enabled())
        return 0;
    const int done = count & ~3;
    GainFactorsWide(gains, factors, squares, done);
    return done;
}

int FoldedSums(const double* taps, const double* h, int m, const double* centre, bool fixedCentre, double offset,
               double* out, int count)
{
    if (!Enabled())
        return 0;
    const int done = count & ~7;
    FoldedSumsWide(taps, h, m, centre, fixedCentre, offset, out, done);
    return done;
}

int ConstantSums(const double* products, const double* centre, double offset, double* out, int count)
{
    if (!Enabled())
        return 0;
    const int done = count & ~7;
    ConstantSumsWide(products, centre, offset, out, done);
    return done;
}

bool Enabled()
{
    return enabled.load(std::memory_order_relaxed);
}

void SetEnabled(bool on)
{
    enabled.store(on && kAvailable, std::memory_order_relaxed);
}

} // namespace wide_lanes
