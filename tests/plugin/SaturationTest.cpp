#include "dsp/dsp.h"

#include "LaneWidths.h"
#include "ReferenceForms.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

std::uint64_t Bits(double v)
{
    std::uint64_t b = 0;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Taps at odd distances 1, 3, ..., 63 as measured for the filter's design.
const double kOddTaps[32] = {
    0.317956, -0.105047, 0.061915, -0.043056, 0.032309, -0.025272, 0.020254, -0.01647,
    0.013505, -0.011119, 0.009163, -0.007542, 0.006187, -0.005051, 0.004099, -0.003301,
    0.002635, -0.002082, 0.001627, -0.001255, 0.000954, -0.000713, 0.000524, -0.000377,
    0.000264, -0.00018, 0.000118, -0.000075, 0.000045, -0.000025, 0.000012, -0.000005};

double TapAtDistance(int d)
{
    if (d == 0)
        return 0.5;
    return d % 2 && d < 64 ? kOddTaps[d / 2] : 0.0;
}

constexpr double kSmallSignalGain = 0.9898232;  // 10^-0.05 * 0.785 / sin(0.785)

TEST(OutputSaturatorTest, KnownPoints)
{
    struct Case { double x, expected, tolerance; };
    const Case cases[] = {
        {0.0, 0.0, 0.0},
        {100.0, 7.079458, 1e-6},
        {-100.0, -7.079458, 1e-6},
        {std::pow(10.0, 0.9), 7.0794578438413795, 1e-12},  // the knee of the clip
        {std::numeric_limits<double>::infinity(), 7.0794578438413795, 1e-12},
        {1e-6, 1e-6 * kSmallSignalGain, 1e-13},
        {-1e-3, -1e-3 * kSmallSignalGain, 1e-9},
    };
    for (const Case& k : cases)
        EXPECT_NEAR(OutputSaturator(k.x), k.expected, k.tolerance) << k.x;
}

TEST(OutputSaturatorTest, OddMonotonicAndBounded)
{
    double previous = OutputSaturator(-20.0);
    for (int n = -20000; n <= 20000; ++n) {
        const double x = n * 1e-3;
        const double y = OutputSaturator(x);
        ASSERT_EQ(OutputSaturator(-x), -y) << x;
        ASSERT_GE(y, previous) << x;
        ASSERT_LE(std::fabs(y), 7.0794578438413795) << x;
        previous = y;
    }
}

// The impulse response is the tap table, centred 64 samples late.
TEST(HalfbandFirTest, ImpulseResponseIsTheTapsDelayedBy64)
{
    HalfbandFir fir;
    for (int n = 0; n < 200; ++n) {
        const double y = fir.Tick(n == 0 ? 1.0 : 0.0);
        const int distance = std::abs(n - 64);
        const double expected = distance <= 64 ? TapAtDistance(distance) : 0.0;
        ASSERT_NEAR(y, expected, 1e-14) << n;
    }
}

TEST(HalfbandFirTest, DcGainIsTheTapSum)
{
    double sum = 0.5;
    for (double h : kOddTaps)
        sum += 2.0 * h;
    EXPECT_NEAR(sum, 0.999994, 1e-6);
    HalfbandFir fir;
    double y = 0.0;
    for (int n = 0; n < 300; ++n)
        y = fir.Tick(0.25);
    EXPECT_NEAR(y, 0.25 * sum, 1e-14);
}

TEST(HalfbandFirTest, ClearForgetsTheInput)
{
    HalfbandFir fir;
    std::mt19937 random(3);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    for (int n = 0; n < 500; ++n)
        fir.Tick(noise(random));
    fir.Clear();
    for (int n = 0; n < 200; ++n)
        ASSERT_LT(std::fabs(fir.Tick(0.0)), 1e-14) << n;
}

// The ring buffer must give exactly what shifting the line and summing all
// 65 taps gives, including across Clear.
TEST(HalfbandFirTest, MatchesThePlainFormBitForBit)
{
    HalfbandFir fast;
    PlainHalfbandFir plain;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> noise(-2.0, 2.0);
    for (int n = 0; n < 300000; ++n) {
        if (n % 100003 == 0) {
            fast.Clear();
            plain.Clear();
        }
        double x = noise(random);
        if (n % 1000 < 200)
            x *= 1e-12;  // near the offset's size
        if (n % 5000 < 300)
            x = 0.0;
        ASSERT_EQ(Bits(fast.Tick(x)), Bits(plain.Tick(x))) << n;
    }
}

// Runs a mono signal through the left lane (the right one hears silence).
std::vector<double> SaturateLeft(OversampledSaturator& saturator, int factor, const std::vector<double>& x)
{
    std::vector<double> pairs(2 * x.size(), 0.0);
    for (size_t n = 0; n < x.size(); ++n)
        pairs[2 * n] = x[n];
    saturator.Process(factor, pairs.data(), pairs.data(), static_cast<int>(x.size()));
    std::vector<double> left(x.size());
    for (size_t n = 0; n < x.size(); ++n)
        left[n] = pairs[2 * n];
    return left;
}

TEST(OversampledSaturatorTest, WithoutOversamplingTheFiltersAreLeftAlone)
{
    OversampledSaturator used, untouched;
    for (int factor : {0, 1}) {
        const std::vector<double> x = {0.3, -5.0, 12.0};
        const std::vector<double> y = SaturateLeft(used, factor, x);
        for (size_t n = 0; n < x.size(); ++n)
            EXPECT_EQ(y[n], OutputSaturator(x[n]));
    }
    std::vector<double> x(300);
    for (int n = 0; n < 300; ++n)
        x[n] = std::sin(n * 0.05);
    const std::vector<double> a = SaturateLeft(used, 2, x);
    const std::vector<double> b = SaturateLeft(untouched, 2, x);
    for (int n = 0; n < 300; ++n)
        ASSERT_EQ(Bits(a[n]), Bits(b[n])) << n;
}

TEST(OversampledSaturatorTest, SmallConstantSettlesToTheSmallSignalGain)
{
    OversampledSaturator saturator;
    const double x = 1e-3;
    const std::vector<double> y = SaturateLeft(saturator, 2, std::vector<double>(400, x));
    for (int n = 128; n < 400; ++n)
        ASSERT_NEAR(y[n] / x, 0.98981, 2e-5) << n;
}

TEST(OversampledSaturatorTest, ImpulseComesOut64SamplesLate)
{
    OversampledSaturator saturator;
    std::vector<double> x(200, 0.0);
    x[0] = 0.1;
    const std::vector<double> out = SaturateLeft(saturator, 2, x);
    int peak = 0;
    for (int n = 1; n < 200; ++n)
        if (std::fabs(out[n]) > std::fabs(out[peak]))
            peak = n;
    EXPECT_EQ(peak, 64);
    // Up and down filter in series: at the centre the sum of the squared taps,
    // doubled for the zero stuffing.
    double squares = 0.25;
    for (double h : kOddTaps)
        squares += 2.0 * h * h;
    EXPECT_NEAR(out[64], 0.1 * kSmallSignalGain * 2.0 * squares, 2e-5);
}

// The polyphase stereo form against each channel's up- and down-sampling
// filters ticked sample by sample in the plain form (shifting the whole line,
// all 65 taps): long random signals at every level from the offset's size to
// beyond the saturator's limit, blocks of every length (across its internal
// stretches), factor switches, and clears at any point, also before the
// stuffed samples have filled the line.
class OversampledSaturatorLanes : public LaneWidthTest
{
};

TEST_P(OversampledSaturatorLanes, MatchesThePlainFormBitForBit)
{
    OversampledSaturator fast;
    PlainHalfbandFir upL, downL, upR, downR;
    std::mt19937 random(29);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    std::uniform_int_distribution<int> blockLength(1, 300);
    std::uniform_int_distribution<int> action(0, 19);
    const double levels[] = {1e-15, 1e-9, 0.01, 1.0, 3.0, 20.0};
    int factor = 2;
    int checked = 0;
    std::vector<double> block;
    while (checked < 400000) {
        switch (action(random)) {
        case 0:
            fast.Clear();
            upL.Clear();
            downL.Clear();
            upR.Clear();
            downR.Clear();
            break;
        case 1: factor = factor == 2 ? 0 : 2; break;
        default: break;
        }
        const int n = blockLength(random);
        const double level = levels[random() % 6];
        block.resize(2 * n);
        for (double& v : block)
            v = random() % 50 == 0 ? 0.0 : level * noise(random);
        std::vector<double> out(2 * n);
        fast.Process(factor, block.data(), out.data(), n);
        for (int i = 0; i < n; ++i, ++checked) {
            const double left = PlainSaturateOversampled(block[2 * i], factor, upL, downL);
            const double right = PlainSaturateOversampled(block[2 * i + 1], factor, upR, downR);
            ASSERT_EQ(Bits(out[2 * i]), Bits(left)) << checked;
            ASSERT_EQ(Bits(out[2 * i + 1]), Bits(right)) << checked;
        }
    }
}

INSTANTIATE_LANE_WIDTHS(OversampledSaturatorLanes);

} // namespace
