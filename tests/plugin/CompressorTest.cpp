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

double FromDb(double dB)
{
    return std::pow(10.0, dB / 20.0);
}

// A compressor whose envelope jumps to any rising detector value at once, so
// that a single call puts it at a chosen level.
compressor InstantCompressor(double sampleRate = 48000.0)
{
    compressor c;
    c.Setup(0, 0.0, 50.0, 0.0, sampleRate);
    return c;
}

void Configure(compressor& c, double ratio, double threshold, double knee, int limit)
{
    c.SetRatio(ratio);
    c.SetThreshold(threshold);
    c.SetKnee(knee);
    c.SetLimit(limit);
}

TEST(CompressorTest, ConstructionAndResetGiveTheInitialState)
{
    compressor fresh;
    compressor used = InstantCompressor(96000.0);
    Configure(used, 8.0, -30.0, 0.7, 1);
    used.SetHold(10.0);
    used.ComputeGainStereo(0.5, 0.2);
    used.Reset(48000.0);

    struct Case { const compressor* c; double rate; };
    for (const Case& k : {Case{&fresh, 44100.0}, Case{&used, 48000.0}}) {
        const compressor& c = *k.c;
        EXPECT_EQ(c.SampleRate(), k.rate);
        EXPECT_EQ(c.Mode(), 0);
        EXPECT_DOUBLE_EQ(c.AttackCoefficient(), PlainCoefficient(5.0, k.rate));
        EXPECT_DOUBLE_EQ(c.ReleaseCoefficient(), PlainCoefficient(50.0, k.rate));
        EXPECT_EQ(c.Envelope(), 0.0);
        EXPECT_EQ(c.HoldCounter(), 0);
        EXPECT_EQ(c.HoldLength(), 0);
        EXPECT_EQ(c.Gain(), 0.0);
        EXPECT_EQ(c.KneeFactor(), 0.0);
        EXPECT_EQ(c.Ratio(), 4.0);
        EXPECT_EQ(c.Threshold(), 0.0);
        EXPECT_EQ(c.KneeWidth(), 0.0);
        EXPECT_TRUE(std::signbit(c.KneeWidth()));
        EXPECT_EQ(c.KneeLower(), 0.0);
        EXPECT_EQ(c.KneeUpper(), 0.0);
        EXPECT_EQ(c.Slope(), 0.75);
        EXPECT_EQ(c.Limit(), 0);
    }
}

// A step settles to within 1 % of its final value after exactly the given time.
TEST(EnvFollowerTest, AttackAndReleaseSettleToOnePercentInTheirTime)
{
    struct Case { double ms; double rate; int samples; };
    for (const Case& k : {Case{5.0, 48000.0, 240}, Case{10.0, 44100.0, 441}, Case{1.0, 96000.0, 96}}) {
        SCOPED_TRACE(k.ms);
        envFollower rise;
        rise.Setup(0, k.ms, 50.0, 0.0, k.rate);
        for (int n = 0; n < k.samples; ++n)
            rise.Follow(1.0);
        EXPECT_NEAR(rise.Envelope(), 0.99, 1e-12);

        envFollower fall;
        fall.Setup(0, 0.0, k.ms, 0.0, k.rate);
        fall.Follow(-1.0);
        ASSERT_EQ(fall.Envelope(), 1.0);
        for (int n = 0; n < k.samples; ++n)
            fall.Follow(0.0);
        EXPECT_NEAR(fall.Envelope(), 0.01, 1e-12);
    }
}

TEST(EnvFollowerTest, ReleaseOfFourSecondsAt48kHz)
{
    compressor c = InstantCompressor();
    c.SetRelease(4000.0);
    EXPECT_DOUBLE_EQ(c.ReleaseCoefficient(), std::pow(0.01, 1.0 / 192000.0));
    c.Follow(1.0);
    for (int n = 0; n < 192000; ++n)
        c.ComputeGainStereo(0.0, 0.0);
    EXPECT_NEAR(c.Envelope(), 0.01, 1e-9);
}

// The envelope stays for exactly the hold length after the last rise, then
// releases; a new rise starts the hold again.
TEST(EnvFollowerTest, HoldKeepsTheEnvelopeForExactlyTheHoldLength)
{
    struct Case { double ms; double rate; int samples; bool viaSetter; };
    const Case cases[] = {
        {3.0, 1000.0, 3, false}, {3.9, 1000.0, 3, false}, {0.0, 48000.0, 0, false},
        {1.0, 48000.0, 48, true}, {2.5, 2000.0, 5, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.ms);
        envFollower f;
        f.Setup(0, 0.0, 1.0, k.viaSetter ? 0.0 : k.ms, k.rate);
        if (k.viaSetter)
            f.SetHold(k.ms);
        EXPECT_EQ(f.HoldLength(), k.samples);

        f.Follow(0.5);
        for (int n = 0; n < k.samples; ++n) {
            f.Follow(0.0);
            ASSERT_EQ(f.Envelope(), 0.5) << "released early at " << n;
        }
        f.Follow(0.0);
        EXPECT_LT(f.Envelope(), 0.5) << "held too long";

        if (k.samples > 1) {  // a rise in the middle of a hold starts it again
            f.Follow(1.0);
            for (int n = 0; n < k.samples - 1; ++n)
                f.Follow(0.0);
            f.Follow(2.0);
            for (int n = 0; n < k.samples; ++n)
                f.Follow(0.0);
            EXPECT_EQ(f.Envelope(), 2.0);
            f.Follow(0.0);
            EXPECT_LT(f.Envelope(), 2.0);
        }
    }
}

TEST(EnvFollowerTest, FollowUsesTheMagnitude)
{
    envFollower f;
    f.Setup(0, 0.0, 50.0, 0.0, 48000.0);
    f.Follow(-0.25);
    EXPECT_EQ(f.Envelope(), 0.25);
}

// The detector is the magnitude of the larger signed value.
TEST(CompressorTest, StereoDetectorFollowsTheLargerSignedValue)
{
    struct Case { double left, right, detected; };
    const Case cases[] = {
        {-0.9, 0.1, 0.1}, {0.1, -0.9, 0.1}, {-0.5, -0.2, 0.2}, {0.3, 0.7, 0.7}, {-0.4, -0.4, 0.4},
    };
    for (const Case& k : cases) {
        compressor c = InstantCompressor();
        Configure(c, 4.0, -40.0, 0.0, 0);
        const double gain = c.ComputeGainStereo(k.left, k.right);
        EXPECT_EQ(c.Envelope(), k.detected) << k.left << ", " << k.right;
        EXPECT_NEAR(gain, (-40.0 - 20.0 * std::log10(k.detected)) * 0.75, 1e-9);
    }
}

struct StaticCurveCase {
    double ratio, threshold, knee;
    int limit;
    double levelDb, expectedGain;
};

class GainCurveTest : public ::testing::TestWithParam<StaticCurveCase> {};

TEST_P(GainCurveTest, GainAtLevel)
{
    const StaticCurveCase& k = GetParam();
    compressor c = InstantCompressor();
    Configure(c, k.ratio, k.threshold, k.knee, k.limit);
    const double gain = c.ComputeGainStereo(FromDb(k.levelDb), 0.0);
    EXPECT_NEAR(gain, k.expectedGain, 1e-9);
    EXPECT_EQ(c.Gain(), gain);
    EXPECT_LE(gain, 0.0);
}

INSTANTIATE_TEST_SUITE_P(HardKnee, GainCurveTest, ::testing::Values(
    StaticCurveCase{4.0, 0.0, 1.0, 0, 6.0, -4.5},     // threshold 0 dB: the knee is hard
    StaticCurveCase{4.0, 0.0, 1.0, 0, -3.0, 0.0},
    StaticCurveCase{4.0, -20.0, 0.0, 0, -10.0, -7.5},
    StaticCurveCase{20.0, -20.0, 0.0, 0, 0.0, -19.0},
    StaticCurveCase{2.0, -10.0, 0.0, 1, 0.0, -10.0},  // limit: slope 1 whatever the ratio
    StaticCurveCase{1.0, -40.0, 0.0, 0, 0.0, 0.0}));

// Threshold -40 dB with knee factor 0.5: knee from -50 to -30 dB, quadratic
// -slope * (L + 50)^2 / 40 inside, straight outside.
INSTANTIATE_TEST_SUITE_P(SoftKnee, GainCurveTest, ::testing::Values(
    StaticCurveCase{4.0, -40.0, 0.5, 0, -55.0, 0.0},
    StaticCurveCase{4.0, -40.0, 0.5, 0, -45.0, -0.75 * 25.0 / 40.0},
    StaticCurveCase{4.0, -40.0, 0.5, 0, -40.0, -0.75 * 100.0 / 40.0},
    StaticCurveCase{4.0, -40.0, 0.5, 0, -35.0, -0.75 * 225.0 / 40.0},
    StaticCurveCase{4.0, -40.0, 0.5, 0, -30.0, -7.5},
    StaticCurveCase{4.0, -40.0, 0.5, 0, -20.0, -15.0},
    StaticCurveCase{4.0, -40.0, 0.5, 1, -40.0, -100.0 / 40.0},
    StaticCurveCase{1.0, -40.0, 0.5, 0, -40.0, 0.0},
    StaticCurveCase{1.0, -40.0, 0.5, 0, -20.0, 0.0}));

TEST(CompressorTest, KneeBoundsFollowThresholdAndFactor)
{
    compressor c;
    Configure(c, 4.0, -40.0, 0.5, 0);
    EXPECT_EQ(c.KneeWidth(), 20.0);
    EXPECT_EQ(c.KneeLower(), -50.0);
    EXPECT_EQ(c.KneeUpper(), -30.0);
    c.SetThreshold(0.0);
    EXPECT_EQ(c.KneeWidth(), 0.0);
    EXPECT_EQ(c.KneeLower(), 0.0);
    EXPECT_EQ(c.KneeUpper(), 0.0);
}

// Inside the knee the slope field holds the knee's local slope; at the bounds
// and outside it the straight slope.
TEST(CompressorTest, SlopeFieldInsideAndOutsideTheKnee)
{
    struct Case { double levelDb; double slope; };
    const Case cases[] = {{-50.5, 0.75}, {-40.0, 0.1875}, {-30.5, 0.75 * 19.5 / 40.0}, {-29.5, 0.75}};
    for (const Case& k : cases) {
        compressor c = InstantCompressor();
        Configure(c, 4.0, -40.0, 0.5, 0);
        c.ComputeGainStereo(FromDb(k.levelDb), 0.0);
        EXPECT_NEAR(c.Slope(), k.slope, 1e-9) << k.levelDb;
    }
}

// The knee is open at both ends: a level exactly on a bound takes the
// straight line. Thresholds are chosen so that a bound equals the level bit
// for bit (halving and doubling are exact).
TEST(CompressorTest, LevelExactlyOnAKneeBoundIsOutsideTheKnee)
{
    const double detector = 0.01;
    const double level = PortableLog(detector) * compressor::kDbPerNeper;
    struct Case { const char* name; double threshold, knee, lower, upper, gain; };
    const Case cases[] = {
        {"lower", level / 2.0, 2.0, level, 0.0, 0.0},
        {"upper", level * 2.0, 1.0, level * 3.0, level, level * 0.75},
    };
    for (const Case& k : cases) {
        compressor c = InstantCompressor();
        Configure(c, 4.0, k.threshold, k.knee, 0);
        ASSERT_EQ(c.KneeLower(), k.lower) << k.name;
        ASSERT_EQ(c.KneeUpper(), k.upper) << k.name;
        EXPECT_NEAR(c.ComputeGainStereo(detector, 0.0), k.gain, 1e-12) << k.name;
        EXPECT_EQ(c.Slope(), 0.75) << k.name;
    }
}

TEST(CompressorTest, SilenceGivesNoGainReduction)
{
    for (double ratio : {1.0, 4.0}) {
        for (int limit : {0, 1}) {
            compressor c;
            Configure(c, ratio, -30.0, 0.5, limit);
            const double gain = c.ComputeGainStereo(0.0, 0.0);
            EXPECT_EQ(gain, 0.0) << ratio << " " << limit;
            EXPECT_FALSE(std::isnan(c.Gain()));
        }
    }
}

TEST(CompressorTest, LimitFlagSetsAndClearsTheSlope)
{
    compressor c;
    c.SetRatio(5.0);
    c.SetLimit(1);
    EXPECT_EQ(c.Slope(), 1.0);
    c.SetLimit(0);
    EXPECT_EQ(c.Slope(), 0.8);
}

TEST(CompressorTest, ProcessAppliesTheMonoGain)
{
    compressor c = InstantCompressor();
    Configure(c, 4.0, -20.0, 0.0, 0);
    EXPECT_NEAR(c.Process(-1.0), -FromDb(-15.0), 1e-12);
    EXPECT_NEAR(c.Gain(), -15.0, 1e-9);

    // The follower's virtual Follow runs the same computation on a compressor.
    compressor d = InstantCompressor();
    Configure(d, 4.0, -20.0, 0.0, 0);
    envFollower& asFollower = d;
    asFollower.Follow(-1.0);
    EXPECT_EQ(d.Gain(), c.Gain());
}

// In the order of the processing, after the gain of the sample.
template <class Compressor>
void ApplySettings(Compressor& c, double attack, double release, double hold, double ratio,
                   double threshold, double knee, int limit)
{
    c.SetAttack(attack);
    c.SetRelease(release);
    c.SetHold(hold);
    c.SetRatio(ratio);
    c.SetThreshold(threshold);
    c.SetKnee(knee);
    c.SetLimit(limit);
}

// The processing calls all seven setters every sample; the library skips the
// work when nothing changed. Over a long run with occasional changes (of every
// setting, between the two zeros whose coefficients are 0 and inf) and resets
// at other sample rates, it must agree bit for bit with a form that recomputes
// it all.
TEST(CompressorTest, MatchesThePlainFormBitForBit)
{
    std::mt19937 random(1234);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> action(0, 199);
    const double rates[] = {44100.0, 48000.0, 96000.0, 22050.0};

    compressor fast;
    PlainCompressor plain(44100.0);
    double attack = 5.0, release = 50.0, hold = 0.0, ratio = 4.0, threshold = 0.0, knee = 0.0;
    int limit = 0;
    for (int n = 0; n < 300000; ++n) {
        switch (action(random)) {
        case 0: attack = unit(random) * 200.0; break;
        case 1: release = unit(random) * 4000.0; break;
        case 2: attack = 0.0; break;
        case 3: hold = unit(random) * 5.0; break;
        case 4: ratio = 1.0 + unit(random) * 19.0; break;
        case 5: threshold = -50.0 * unit(random); break;
        case 6: knee = unit(random); break;
        case 7: limit = !limit; break;
        case 8:  // as at a processing reset: the settings return on the next sample
            fast.Reset(rates[n % 4]);
            plain.Reset(rates[n % 4]);
            break;
        case 9: attack = attack == 0.0 ? -attack : attack; break;
        default: break;
        }
        const double left = 2.0 * std::sin(n * 0.001) * unit(random);
        const double right = 2.0 * std::sin(n * 0.0013) * unit(random);
        ASSERT_EQ(Bits(fast.ComputeGainStereo(left, right)), Bits(plain.ComputeGainStereo(left, right))) << n;
        ASSERT_EQ(Bits(fast.Slope()), Bits(plain.Slope())) << n;
        ApplySettings(fast, attack, release, hold, ratio, threshold, knee, limit);
        ApplySettings(plain, attack, release, hold, ratio, threshold, knee, limit);
        ASSERT_EQ(Bits(fast.AttackCoefficient()), Bits(plain.AttackCoefficient())) << n;
        ASSERT_EQ(Bits(fast.ReleaseCoefficient()), Bits(plain.ReleaseCoefficient())) << n;
        ASSERT_EQ(fast.HoldLength(), plain.HoldLength()) << n;
        ASSERT_EQ(Bits(fast.Envelope()), Bits(plain.Envelope())) << n;
        ASSERT_EQ(Bits(fast.Slope()), Bits(plain.Slope())) << n;
    }
}

// Well below the threshold (and the knee) the gain computer skips the
// logarithm, since the gain is 0 dB whatever it gives. Levels stepped in
// millionths of a dB across the threshold and the knee's lower bound, where
// the skipping ends, must give what the plain form gives, for hard and soft
// knees, ratio 1 and the limit flag. Attack and release of +0 ms make the
// envelope follow the detector value exactly.
TEST(CompressorTest, SkippingTheLogarithmBelowTheThresholdChangesNothing)
{
    struct Setting {
        double threshold, knee, ratio;
        int limit;
    };
    const Setting settings[] = {{-30.0, 0.0, 4.0, 0}, {-30.0, 0.5, 4.0, 0}, {0.0, 1.0, 20.0, 0},
                                {-50.0, 0.9, 1.0, 0}, {-12.0, 0.3, 2.0, 1}, {-0.5, 0.0, 1.5, 0}};
    for (const Setting& s : settings) {
        compressor fast;
        PlainCompressor plain(48000.0);
        fast.Reset(48000.0);
        ApplySettings(fast, 0.0, 0.0, 0.0, s.ratio, s.threshold, s.knee, s.limit);
        ApplySettings(plain, 0.0, 0.0, 0.0, s.ratio, s.threshold, s.knee, s.limit);
        const double lower = s.threshold + s.threshold * s.knee * 0.5;
        for (double edge : {s.threshold, lower}) {
            for (int k = -3000; k <= 3000; ++k) {
                const double dB = edge + k * 1e-6;
                const double level = std::exp(dB / compressor::kDbPerNeper);
                ASSERT_EQ(Bits(fast.ComputeGainStereo(level, -level)), Bits(plain.ComputeGainStereo(level, -level)))
                    << s.threshold << " " << s.knee << " " << dB;
                ASSERT_EQ(Bits(fast.Slope()), Bits(plain.Slope()));
            }
        }
        for (double level : {0.0, 1e-300, 4.9e-324, std::numeric_limits<double>::infinity()})
            ASSERT_EQ(Bits(fast.ComputeGainStereo(level, 0.0)), Bits(plain.ComputeGainStereo(level, 0.0))) << level;
    }
}

// The block form the chain uses: the follower's steps for a run of frames,
// then the gains of the run's envelopes, against one plain call per frame.
// Runs of every length (across the wide passes' widths), settings changed
// between runs, and detector values from silence, denormal and quiet levels
// to beyond full scale, infinity and NaN (after which a reset follows).
class CompressorBlockTest : public LaneWidthTest
{
};

TEST_P(CompressorBlockTest, GainsOfARunMatchThePlainFormFrameByFrame)
{
    std::mt19937 random(99);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double inf = std::numeric_limits<double>::infinity();
    const double specials[] = {0.0, 4.9e-324, 1e-310, 1e-12, 1e30, inf, std::numeric_limits<double>::quiet_NaN()};
    compressor fast;
    fast.Reset(48000.0);
    PlainCompressor plain(48000.0);
    double attack = 5.0, release = 50.0, ratio = 4.0, threshold = 0.0, knee = 0.0;
    int limit = 0;
    std::vector<double> pairs, envelopes, gains;
    for (int run = 0; run < 20000; ++run) {
        switch (random() % 8) {
        case 0: ratio = random() % 4 == 0 ? 1.0 : 1.0 + 19.0 * unit(random); break;
        case 1: threshold = -50.0 * unit(random); break;
        case 2: knee = random() % 2 == 0 ? 0.0 : unit(random); break;
        case 3: limit = !limit; break;
        case 4: attack = random() % 2 == 0 ? 0.0 : 10.0 * unit(random); break;
        case 5: release = 0.1 + 100.0 * unit(random); break;
        default: break;
        }
        if (!std::isfinite(fast.Envelope()) || random() % 50 == 0) {
            fast.Reset(48000.0);
            plain.Reset(48000.0);
        }
        ApplySettings(fast, attack, release, 0.0, ratio, threshold, knee, limit);
        ApplySettings(plain, attack, release, 0.0, ratio, threshold, knee, limit);
        const int n = 1 + static_cast<int>(random() % 40);
        // Levels from far below to above the threshold, so that runs mix
        // skipped and computed gains.
        pairs.resize(2 * n);
        for (double& v : pairs) {
            v = random() % 200 == 0 ? specials[random() % 7] : FromDb(threshold + 60.0 * unit(random) - 50.0);
            v = random() % 2 == 0 ? v : -v;
        }
        envelopes.resize(n);
        gains.resize(n);
        fast.FollowStereoPairs(pairs.data(), envelopes.data(), n);
        fast.GainsFromEnvelopes(envelopes.data(), gains.data(), n);
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(Bits(gains[i]), Bits(plain.ComputeGainStereo(pairs[2 * i], pairs[2 * i + 1])))
                << "run " << run << " frame " << i << " envelope " << envelopes[i];
        ASSERT_EQ(Bits(fast.Slope()), Bits(plain.Slope())) << run;
        ASSERT_EQ(Bits(fast.Gain()), Bits(gains[n - 1])) << run;
    }
}

INSTANTIATE_LANE_WIDTHS(CompressorBlockTest);

TEST(EnvFollowerTest, OutOfRangeHoldSaturates)
{
    envFollower f;
    f.Setup(0, 1.0, 1.0, 1e300, 48000.0);
    EXPECT_EQ(f.HoldLength(), 2147483647);
    f.SetHold(std::nan(""));
    EXPECT_EQ(f.HoldLength(), 0);
    f.SetHold(-1e300);
    EXPECT_EQ(f.HoldLength(), -2147483647 - 1);
}

struct ModeCase {
    int code;
    std::vector<ShapeCurve> chain;
    double driveExponent, k1, k20;
};

TEST(CharacterModesTest, TableOfModes)
{
    const ModeCase cases[] = {
        {1, {ShapeVca}, 0.0, 1.0, 0.0},
        {5, {ShapeFet}, 0.1, 0.8, 0.0},
        {6, {ShapeFet, ShapeVca}, 0.25, 0.8, 0.0},
        {10, {ShapeOpto}, 0.0, 0.9, 0.3},
        {11, {ShapeOpto, ShapeVca}, 0.125, 1.0, 0.3},
        {15, {ShapeOpto, ShapeFet}, 0.275, 0.8, 0.3},
        {16, {ShapeOpto, ShapeFet, ShapeVca}, 0.35, 1.0, 0.1},
    };
    for (const ModeCase& k : cases) {
        SCOPED_TRACE(k.code);
        const CharacterMode* mode = FindCharacterMode(k.code);
        ASSERT_NE(mode, nullptr);
        EXPECT_DOUBLE_EQ(mode->drive, std::pow(10.0, k.driveExponent));
        EXPECT_EQ(mode->k1, k.k1);
        EXPECT_EQ(mode->k20, k.k20);
        EXPECT_EQ(KneeFactorForRatio(*mode, 1.0), k.k1);
        EXPECT_DOUBLE_EQ(KneeFactorForRatio(*mode, 20.0), k.k20);
        EXPECT_NEAR(KneeFactorForRatio(*mode, 10.5), (k.k1 + k.k20) / 2.0, 1e-15);
        for (double x : {-1.2, -0.3, -0.0, 0.05, 0.6, 1.1}) {
            double expected = x;
            for (ShapeCurve curve : k.chain)
                expected = curve(expected);
            EXPECT_EQ(Bits(ShapeDetector(*mode, x)), Bits(expected)) << x;
        }
    }
}

TEST(CharacterModesTest, StageOffAndImpossibleCodesHaveNoMode)
{
    for (int code : {0, -1, 2, 4, 7, 9, 12, 17, 26})
        EXPECT_EQ(FindCharacterMode(code), nullptr) << code;
}

} // namespace
