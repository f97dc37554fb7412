#include "dsp/dsp.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <utility>
#include <vector>

namespace {

// The measured magnitudes, indices 0 to 10, every twentieth and 199.
constexpr std::array<int, 21> kIndices = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10,
                                          20, 40, 60, 80, 100, 120, 140, 160, 180, 199};
using Column = std::array<double, 21>;
constexpr Column kVca = {0, 0.004215, 0.00843, 0.012645, 0.016859, 0.021073, 0.025287, 0.0295,
                         0.033713, 0.037926, 0.042138, 0.084242, 0.168359, 0.252366, 0.336266,
                         0.420062, 0.503754, 0.587344, 0.67083, 0.754214, 0.833333};
constexpr Column kFetNegative = {0, 0.001367, 0.005039, 0.010215, 0.016265, 0.022789, 0.029558,
                                 0.036451, 0.043407, 0.050395, 0.057397, 0.127562, 0.267922,
                                 0.408287, 0.548656, 0.689028, 0.829404, 0.969783, 1.110166,
                                 1.250552, 1.383922};
constexpr Column kOptoNegative = {0, 0.001016, 0.002031, 0.003046, 0.004061, 0.005075, 0.006088,
                                  0.007101, 0.008114, 0.009126, 0.010138, 0.02023, 0.040279,
                                  0.060145, 0.079829, 0.099329, 0.118647, 0.137783, 0.156736,
                                  0.175508, 0.193174};
constexpr Column kPositive = {0, 0.001016, 0.002033, 0.003049, 0.004066, 0.005083, 0.0061,
                              0.007118, 0.008135, 0.009153, 0.010171, 0.020365, 0.040814,
                              0.061345, 0.081954, 0.102635, 0.123383, 0.144193, 0.165058,
                              0.185971, 0.205874};

constexpr double kOptoGain = 3.9810717055349727;  // 10^0.6

struct TableCase {
    const char* name;
    const ShapeTable* table;
    const Column* column;
};

const TableCase kTables[] = {
    {"VCA negative", &kVcaNegativeTable, &kVca},
    {"VCA positive", &kVcaPositiveTable, &kVca},
    {"FET negative", &kFetNegativeTable, &kFetNegative},
    {"FET positive", &kFetPositiveTable, &kPositive},
    {"Opto negative", &kOptoNegativeTable, &kOptoNegative},
    {"Opto positive", &kOptoPositiveTable, &kPositive},
};

// Entries between two measured indices lie on the straight line joining them,
// computed in double and stored as float.
TEST(ShapeTablesTest, MeasuredEntriesAndStraightLinesBetween)
{
    for (const TableCase& t : kTables) {
        SCOPED_TRACE(t.name);
        EXPECT_EQ(t.table->scale, 142.143f);
        EXPECT_EQ(t.table->length, 200);
        const Column& e = *t.column;
        for (int k = 0; k + 1 < 21; ++k) {
            const int a = kIndices[k], b = kIndices[k + 1];
            for (int i = a; i < b; ++i) {
                const float line = static_cast<float>(e[k] + (e[k + 1] - e[k]) * (i - a) / (b - a));
                ASSERT_EQ(std::fabs(t.table->entries[i]), line) << "entry " << i;
            }
        }
        EXPECT_EQ(std::fabs(t.table->entries[199]), static_cast<float>(e[20]));
    }
}

// Value of a curve at input magnitude m, read off the measured columns: the
// position falls between two measured indices, where the table is a line.
double OnColumn(const Column& e, double m)
{
    const double p = static_cast<double>(142.143f) * m;
    for (int k = 0; k + 1 < 21; ++k)
        if (p < kIndices[k + 1])
            return e[k] + (e[k + 1] - e[k]) * (p - kIndices[k]) / (kIndices[k + 1] - kIndices[k]);
    return e[20];
}

struct CurveCase {
    const char* name;
    double (*curve)(double);
    double x;
    double expected;
};

TEST(ShapeCurvesTest, ValuesFollowTheSignOfTheInputAndTheRightTable)
{
    const CurveCase cases[] = {
        {"VCA +0.5", ShapeVca, 0.5, OnColumn(kVca, 0.5)},
        {"VCA -0.5", ShapeVca, -0.5, -OnColumn(kVca, 0.5)},
        {"VCA small", ShapeVca, 0.02, OnColumn(kVca, 0.02)},
        {"FET -0.5", ShapeFet, -0.5, -OnColumn(kFetNegative, 0.5)},
        {"FET +0.5", ShapeFet, 0.5, OnColumn(kPositive, 0.5)},
        {"FET soft start", ShapeFet, -0.025, -OnColumn(kFetNegative, 0.025)},
        {"FET -1.3", ShapeFet, -1.3, -OnColumn(kFetNegative, 1.3)},
        {"Opto -0.5", ShapeOpto, -0.5, -kOptoGain * OnColumn(kOptoNegative, 0.5)},
        {"Opto +0.5", ShapeOpto, 0.5, kOptoGain * OnColumn(kPositive, 0.5)},
        {"Opto +1.0", ShapeOpto, 1.0, kOptoGain * OnColumn(kPositive, 1.0)},
    };
    for (const CurveCase& k : cases)
        EXPECT_NEAR(k.curve(k.x), k.expected, 1e-6) << k.name;

    // FET: gain about 1 for negative inputs, about 0.14 for positive ones.
    EXPECT_NEAR(ShapeFet(-0.5) / -0.5, 0.97, 0.03);
    EXPECT_NEAR(ShapeFet(0.5) / 0.5, 0.145, 0.01);
    // Opto positive: the FET's positive table raised by 10^0.6.
    for (double x : {0.001, 0.3, 0.77, 1.39, 3.0})
        EXPECT_DOUBLE_EQ(ShapeOpto(x), ShapeFet(x) * std::pow(10.0, 0.6)) << x;
}

TEST(ShapeCurvesTest, FlatBeyondTheTable)
{
    const double top = static_cast<float>(0.833333);
    const double inf = std::numeric_limits<double>::infinity();
    for (double x : {1.4, 1.5, 100.0, 1e12, inf}) {
        EXPECT_EQ(ShapeVca(x), top) << x;
        EXPECT_EQ(ShapeVca(-x), -top) << x;
    }
    EXPECT_EQ(ShapeFet(-100.0), -static_cast<double>(static_cast<float>(1.383922)));
    EXPECT_EQ(ShapeOpto(-100.0), -static_cast<double>(static_cast<float>(0.193174)) * kOptoGain);
    EXPECT_EQ(ShapeOpto(100.0), static_cast<double>(static_cast<float>(0.205874)) * kOptoGain);
}

TEST(ShapeCurvesTest, ZerosAndNaN)
{
    for (double (*curve)(double) : {ShapeVca, ShapeFet, ShapeOpto}) {
        EXPECT_EQ(curve(0.0), 0.0);
        EXPECT_FALSE(std::signbit(curve(0.0)));
        EXPECT_EQ(curve(-0.0), 0.0);
        EXPECT_TRUE(std::signbit(curve(-0.0)));
        EXPECT_EQ(curve(std::nan("")), 0.0);  // keeps NaN out of the detector
    }
}

// The interpolation is continuous and the magnitudes never fall as |x| grows;
// a swapped weight or an off-by-one index breaks both.
TEST(ShapeCurvesTest, MagnitudeRisesContinuously)
{
    for (double (*curve)(double) : {ShapeVca, ShapeFet, ShapeOpto}) {
        for (double sign : {-1.0, 1.0}) {
            double previous = 0.0;
            for (int n = 1; n <= 16000; ++n) {
                const double m = std::fabs(curve(sign * n * 1e-4));
                ASSERT_GE(m, previous) << sign * n * 1e-4;
                ASSERT_LT(m - previous, 4e-4) << sign * n * 1e-4;
                previous = m;
            }
        }
    }
}

std::uint64_t Bits(double v)
{
    std::uint64_t b = 0;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// The two-channel forms take each lane's table by its own sign and agree with
// the scalar curves bit for bit: over the table, on its entries, at and
// beyond its end, and for zeros, infinities and NaN.
TEST(ShapeCurvesTest, PairFormsGiveTheScalarBits)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double step = 1.0 / static_cast<double>(kVcaPositiveTable.scale);
    const double specials[] = {0.0, -0.0, inf, -inf, nan, -nan, 1.4, -1.4, 199 * step, -199 * step,
                               198.99999 * step, 1e300, -1e300, 4.9e-324, -4.9e-324, step, -3 * step};
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> wide(-1.6, 1.6);
    const struct {
        double (*scalar)(double);
        __m128d (*pair)(__m128d);
    } curves[] = {{ShapeVca, ShapeVcaPair}, {ShapeFet, ShapeFetPair}, {ShapeOpto, ShapeOptoPair}};
    for (int n = 0; n < 300000; ++n) {
        double a = wide(random);
        double b = n % 100 < 17 ? specials[n % 100] : wide(random) * (n % 3 == 0 ? 0.01 : 1.0);
        if (n % 2)
            std::swap(a, b);
        for (const auto& curve : curves) {
            alignas(16) double lanes[2];
            _mm_store_pd(lanes, curve.pair(_mm_set_pd(b, a)));
            ASSERT_EQ(Bits(lanes[0]), Bits(curve.scalar(a))) << a;
            ASSERT_EQ(Bits(lanes[1]), Bits(curve.scalar(b))) << b;
        }
    }
}

// The wide pass over frames applies a mode's curves in their order, each lane
// as the scalar curves give it (same inputs as above, every mode code).
TEST(ShapeCurvesTest, WidePassGivesTheScalarBits)
{
    if (!wide_lanes::Enabled())
        GTEST_SKIP() << "this processor has no AVX2";
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double step = 1.0 / static_cast<double>(kVcaPositiveTable.scale);
    const double specials[] = {0.0, -0.0, inf, -inf, nan, -nan, 1.4, -1.4, 199 * step, -199 * step,
                               198.99999 * step, 1e300, -1e300, 4.9e-324, -4.9e-324, step, -3 * step};
    std::mt19937_64 random(12);
    std::uniform_real_distribution<double> wide(-1.6, 1.6);
    std::vector<double> frames(2 * 64), shaped;
    for (int round = 0; round < 3000; ++round) {
        for (size_t i = 0; i < frames.size(); ++i)
            frames[i] = random() % 8 == 0 ? specials[random() % 17] : wide(random) * (i % 3 == 0 ? 0.01 : 1.0);
        const int count = 1 + static_cast<int>(random() % 64);
        for (const int code : {1, 5, 6, 10, 11, 15, 16}) {
            shaped = frames;
            const int done = wide_lanes::Shapes(code, shaped.data(), count);
            ASSERT_EQ(done, count & ~1);
            const CharacterMode& mode = *FindCharacterMode(code);
            for (int i = 0; i < 2 * count; ++i) {
                const double expected = i < 2 * done ? ShapeDetector(mode, frames[i]) : frames[i];
                ASSERT_EQ(Bits(shaped[i]), Bits(expected)) << "code " << code << " input " << frames[i];
            }
        }
    }
}

} // namespace
