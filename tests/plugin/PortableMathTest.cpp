// exp, log and sin of our own against the C library over the ranges the
// processing uses them in, the special values, and the SSE2 pair forms
// against the scalar ones.

#include "dsp/PortableMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <utility>

namespace {

// Distance in units in the last place (doubles ordered as integers).
std::int64_t Ulps(double a, double b)
{
    std::int64_t x = 0, y = 0;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    if (x < 0)
        x = std::numeric_limits<std::int64_t>::min() - x;
    if (y < 0)
        y = std::numeric_limits<std::int64_t>::min() - y;
    return x > y ? x - y : y - x;
}

std::uint64_t Bits(double v)
{
    std::uint64_t b = 0;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Measured worst case: 1 unit in the last place from the C library's result
// for each function (glibc, 2 million arguments per range). The library is
// itself within about half a unit of the exact value.
constexpr std::int64_t kWorstUlps = 1;

TEST(PortableMathTest, CloseToTheCLibraryWhereTheProcessingUsesThem)
{
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::int64_t worstExp = 0, worstLog = 0, worstSin = 0;
    for (int n = 0; n < 2000000; ++n) {
        // Gains in dB times ln 10 / 20 (and twice that), also far beyond any audio.
        const double x = n % 2 ? -20.0 * unit(random) : -700.0 * unit(random) + 5.0;
        worstExp = std::max(worstExp, Ulps(PortableExp(x), std::exp(x)));
        // Envelopes from denormal to far above full scale.
        const double e = std::exp(-745.0 * unit(random) + 80.0);
        worstLog = std::max(worstLog, Ulps(PortableLog(e), std::log(e)));
        const double s = (2.0 * unit(random) - 1.0) * 0.785398;
        worstSin = std::max(worstSin, Ulps(PortableSinQuarter(s), std::sin(s)));
    }
    EXPECT_LE(worstExp, kWorstUlps);
    EXPECT_LE(worstLog, kWorstUlps);
    EXPECT_LE(worstSin, kWorstUlps);
}

TEST(PortableMathTest, SpecialValues)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(PortableExp(0.0), 1.0);
    EXPECT_EQ(PortableExp(-0.0), 1.0);
    EXPECT_EQ(PortableExp(-800.0), 0.0);
    EXPECT_EQ(PortableExp(-inf), 0.0);
    EXPECT_EQ(PortableExp(710.0), inf);
    EXPECT_LE(Ulps(PortableExp(709.7), std::exp(709.7)), kWorstUlps);  // 2^1024 would overflow
    EXPECT_TRUE(std::isnan(PortableExp(nan)));
    EXPECT_EQ(PortableLog(1.0), 0.0);
    EXPECT_EQ(PortableLog(0.0), -inf);
    EXPECT_EQ(PortableLog(inf), inf);
    EXPECT_TRUE(std::isnan(PortableLog(-1.0)));
    EXPECT_TRUE(std::isnan(PortableLog(nan)));
    EXPECT_LE(Ulps(PortableLog(4.9e-324), std::log(4.9e-324)), kWorstUlps);
    EXPECT_EQ(Bits(PortableSinQuarter(0.0)), Bits(0.0));
    EXPECT_EQ(Bits(PortableSinQuarter(-0.0)), Bits(-0.0));
    EXPECT_TRUE(std::isnan(PortableSinQuarter(nan)));
}

TEST(PortableMathTest, PairFormsGiveTheScalarBits)
{
    std::mt19937_64 random(4);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double specials[] = {0.0, -0.0, -708.5, 709.5, 710.0, -inf, inf, nan};
    const double logSpecials[] = {0.0,  -0.0, 4.9e-324, 1e-310, 2.2250738585072014e-308, 1.4142135623730951,
                                  1.4142135623730954, 1.0, -1.0, inf, -inf, nan};
    for (int n = 0; n < 200000; ++n) {
        double a = -100.0 * unit(random) + 1.0;
        double b = n % 1000 < 8 ? specials[n % 1000] : -100.0 * unit(random);
        alignas(16) double lanes[2];
        _mm_store_pd(lanes, PortableExp(_mm_set_pd(b, a)));
        ASSERT_EQ(Bits(lanes[0]), Bits(PortableExp(a))) << a;
        ASSERT_EQ(Bits(lanes[1]), Bits(PortableExp(b))) << b;
        a = (2.0 * unit(random) - 1.0) * 0.785;
        b = n % 1000 < 8 ? specials[n % 1000] : (2.0 * unit(random) - 1.0) * 0.785;
        _mm_store_pd(lanes, PortableSinQuarter(_mm_set_pd(b, a)));
        ASSERT_EQ(Bits(lanes[0]), Bits(PortableSinQuarter(a))) << a;
        ASSERT_EQ(Bits(lanes[1]), Bits(PortableSinQuarter(b))) << b;
        // Envelopes from denormal to far above full scale, one lane special.
        a = std::exp(-745.0 * unit(random) + 80.0);
        b = n % 1000 < 12 ? logSpecials[n % 1000] : std::exp(-745.0 * unit(random) + 80.0);
        if (n % 2)
            std::swap(a, b);
        _mm_store_pd(lanes, PortableLog(_mm_set_pd(b, a)));
        ASSERT_EQ(Bits(lanes[0]), Bits(PortableLog(a))) << a;
        ASSERT_EQ(Bits(lanes[1]), Bits(PortableLog(b))) << b;
    }
}

} // namespace
