#include "dsp/dsp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

namespace {

constexpr double kPi = 3.14159265358979323846;

std::uint64_t Bits(double v)
{
    std::uint64_t b = 0;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Steady-state gain in dB of a sine at hz through a fresh filter, measured by
// correlation over whole periods after the filter has settled.
double MeasuredGainDb(int type, double cornerHz, double q, double hz, double rate)
{
    BiquadFilter filter;
    filter.Configure(type, cornerHz / rate, q, 0.0);
    const int settle = static_cast<int>(rate);
    const int periods = static_cast<int>(std::ceil(0.5 * hz));
    const int measure = static_cast<int>(std::round(periods * rate / hz));
    double re = 0.0, im = 0.0;
    for (int n = 0; n < settle + measure; ++n) {
        const double phase = 2.0 * kPi * hz * n / rate;
        const double y = filter.Tick(0.5 * std::sin(phase));
        if (n >= settle) {
            re += y * std::sin(phase);
            im += y * std::cos(phase);
        }
    }
    const double amplitude = 2.0 * std::hypot(re, im) / measure;
    return 20.0 * std::log10(amplitude / 0.5);
}

struct ResponseCase {
    const char* name;
    int type;
    double cornerHz, q, hz, rate, expectedDb, toleranceDb;
};

TEST(BiquadFilterTest, FrequencyResponses)
{
    const ResponseCase cases[] = {
        // The output band-pass: a DC blocker, flat over the audio band.
        {"output 20 Hz", BiquadFilter::kBandPass, 5000.0, 0.0005, 20.0, 48000.0, 0.0, 0.1},
        {"output 100 Hz", BiquadFilter::kBandPass, 5000.0, 0.0005, 100.0, 48000.0, 0.0, 0.1},
        {"output 1 kHz", BiquadFilter::kBandPass, 5000.0, 0.0005, 1000.0, 48000.0, 0.0, 0.1},
        {"output 10 kHz", BiquadFilter::kBandPass, 5000.0, 0.0005, 10000.0, 48000.0, 0.0, 0.1},
        {"output 20 kHz", BiquadFilter::kBandPass, 5000.0, 0.0005, 20000.0, 48000.0, 0.0, 0.1},
        {"output 2.5 Hz", BiquadFilter::kBandPass, 5000.0, 0.0005, 2.5, 48000.0, -3.0, 0.3},
        // The detector band: unity at the centre, -3 dB near 75 Hz.
        {"detector 1.5 kHz", BiquadFilter::kBandPass, 1500.0, 0.05, 1500.0, 48000.0, 0.0, 0.01},
        {"detector 75 Hz", BiquadFilter::kBandPass, 1500.0, 0.05, 75.0, 48000.0, -3.0, 0.1},
        // Butterworth high-pass: -3 dB at the corner, -40 dB a decade below.
        {"HPF corner", BiquadFilter::kHighPass, 20.0, 0.707, 20.0, 44100.0, -3.01, 0.02},
        {"HPF 2 Hz", BiquadFilter::kHighPass, 20.0, 0.707, 2.0, 44100.0, -40.0, 0.1},
        {"HPF 1 kHz", BiquadFilter::kHighPass, 20.0, 0.707, 1000.0, 44100.0, 0.0, 0.01},
        {"HPF 750 Hz corner", BiquadFilter::kHighPass, 750.0, 0.707, 750.0, 96000.0, -3.01, 0.02},
    };
    for (const ResponseCase& k : cases)
        EXPECT_NEAR(MeasuredGainDb(k.type, k.cornerHz, k.q, k.hz, k.rate), k.expectedDb, k.toleranceDb)
            << k.name;
}

TEST(BiquadFilterTest, BandPassAndHighPassRemoveDc)
{
    for (int type : {BiquadFilter::kBandPass, BiquadFilter::kHighPass}) {
        BiquadFilter filter;
        filter.Configure(type, type == BiquadFilter::kBandPass ? 5000.0 / 48000.0 : 20.0 / 48000.0,
                         type == BiquadFilter::kBandPass ? 0.0005 : 0.707, 0.0);
        double y = 1.0;
        for (int n = 0; n < 4 * 48000; ++n)
            y = filter.Tick(0.8);
        EXPECT_LT(std::fabs(y), 1e-6) << type;
    }
}

// Samples pass through as floats rounded to nearest: an unconfigured filter
// (a0 = 1) returns its input rounded, e.g. 0.1 rounds up, not down.
TEST(BiquadFilterTest, UnconfiguredFilterPassesTheRoundedInput)
{
    BiquadFilter filter;
    EXPECT_EQ(filter.GetType(), 0);
    for (double x : {0.1, -0.1, 1.0 / 3.0, -2.0 / 3.0, 1e-30, 123456.789}) {
        const double y = filter.Tick(x);
        EXPECT_EQ(y, static_cast<double>(static_cast<float>(x))) << x;
    }
    EXPECT_GT(filter.Tick(0.1), 0.1);  // nearest float above 0.1
    EXPECT_LT(filter.Tick(-0.1), -0.1);
}

// Input and output are rounded to float: inputs that round to the same float
// give the same outputs, and every output is a float.
TEST(BiquadFilterTest, InputAndOutputAreRoundedToFloat)
{
    BiquadFilter exact, rounded;
    exact.Configure(BiquadFilter::kHighPass, 120.0 / 48000.0, 0.707, 0.0);
    rounded.Configure(BiquadFilter::kHighPass, 120.0 / 48000.0, 0.707, 0.0);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    for (int n = 0; n < 20000; ++n) {
        const double x = noise(random);
        const double y = exact.Tick(x);
        ASSERT_EQ(y, rounded.Tick(static_cast<float>(x))) << n;
        ASSERT_EQ(y, static_cast<double>(static_cast<float>(y))) << n;
    }
}

// Reconfiguring at a block start keeps the state: a filter reconfigured with
// the same settings every 64 samples runs exactly like one that is not.
TEST(BiquadFilterTest, ConfigureKeepsTheState)
{
    BiquadFilter once, everyBlock;
    once.Configure(BiquadFilter::kBandPass, 1500.0 / 44100.0, 0.05, 0.0);
    everyBlock.Configure(BiquadFilter::kBandPass, 1500.0 / 44100.0, 0.05, 0.0);
    for (int n = 0; n < 4096; ++n) {
        if (n % 64 == 0)
            everyBlock.Configure(BiquadFilter::kBandPass, 1500.0 / 44100.0, 0.05, 0.0);
        const double x = std::sin(n * 0.01) + (n % 7 == 0 ? 0.3 : 0.0);
        ASSERT_EQ(once.Tick(x), everyBlock.Tick(x)) << n;
    }
}

// The two lanes against two scalar filters: long random signals at levels
// from the 32-bit floats' denormal range to far above audio, with the
// settings changed (or kept) at random block starts.
TEST(StereoBiquadTest, MatchesTwoScalarFiltersBitForBit)
{
    StereoBiquad pair;
    BiquadFilter left, right;
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double levels[] = {1e-40, 1e-15, 1e-3, 1.0, 1e6, 1e20};
    double level = 1.0;
    for (int n = 0; n < 300000; ++n) {
        if (n % 256 == 0) {
            const int type = unit(random) < 0.5 ? BiquadFilter::kHighPass : BiquadFilter::kBandPass;
            const double frequency = unit(random) < 0.3 ? 1500.0 / 48000.0 : 0.49 * unit(random);
            const double q = unit(random) < 0.3 ? 0.707 : 0.0005 + unit(random);
            if (unit(random) < 0.5) {  // otherwise the settings stay for another block
                pair.Configure(type, frequency, q, 0.0);
                left.Configure(type, frequency, q, 0.0);
                right.Configure(type, frequency, q, 0.0);
            }
            level = levels[random() % 6];
        }
        const double xL = level * (2.0 * unit(random) - 1.0);
        const double xR = n % 5000 < 100 ? 0.0 : level * (2.0 * unit(random) - 1.0);
        alignas(16) double y[2];
        _mm_store_pd(y, pair.Tick(_mm_set_pd(xR, xL)));
        ASSERT_EQ(Bits(y[0]), Bits(left.Tick(xL))) << n;
        ASSERT_EQ(Bits(y[1]), Bits(right.Tick(xR))) << n;
    }
}

} // namespace
