#include "compressor.h"

#include "WideLanes.h"

#include <algorithm>
#include <cmath>

compressor::compressor()
{
    UpdateQuietBound();
}

void compressor::Reset(double sampleRate)
{
    Setup(0, 5.0, 50.0, 0.0, sampleRate);
    limit_ = 0;
    gain_ = 0.0;
    kneeFactor_ = 0.0;
    ratio_ = 4.0;
    threshold_ = 0.0;
    kneeWidth_ = -0.0;
    kneeLower_ = 0.0;
    kneeUpper_ = 0.0;
    slope_ = 0.75;
    ratioSlope_ = 0.75;
    UpdateQuietBound();
}

void compressor::Follow(double sample)
{
    Process(sample);
}

double compressor::Process(double sample)
{
    const double gain = GainFromLevel(std::fabs(sample));
    return sample * PortableExp(gain * kNeperPerDb);
}

void compressor::GainsFromEnvelopes(const double* envelopes, double* gains, int count)
{
    const compressor settings = *this;  // kept in registers, apart from the stores
    const wide_lanes::GainCurve curve{StraightSlope(), quietBound_, threshold_, kneeWidth_, kneeLower_, kneeUpper_};
    int i = wide_lanes::Gains(curve, envelopes, gains, count);
    for (; i + 2 <= count; i += 2)
        _mm_storeu_pd(gains + i, settings.GainsOf(_mm_loadu_pd(envelopes + i)));
    double slope = slope_;
    for (; i < count; ++i)
        gains[i] = settings.GainOf(envelopes[i], slope);
    if (count > 0) {
        // The wide and pair forms leave the slope out: the last envelope's
        // is computed once more.
        settings.GainOf(envelopes[count - 1], slope);
        slope_ = slope;
        gain_ = gains[count - 1];
    }
}

// Each lane as GainOf computes it; the knee and the line are both computed
// and one is selected there too.
__m128d compressor::GainsOf(__m128d envelopes) const
{
    const double straight = StraightSlope();
    const __m128d magnitude = _mm_andnot_pd(_mm_set1_pd(-0.0), envelopes);
    __m128d quiet = _mm_setzero_pd();
    if (straight >= 0.0) {
        quiet = _mm_cmplt_pd(magnitude, _mm_set1_pd(quietBound_));
        if (_mm_movemask_pd(quiet) == 3)
            return _mm_setzero_pd();
    }
    // A quiet lane's logarithm is not needed: 1 stands in for its envelope,
    // which may be 0.
    const __m128d heard = _mm_or_pd(_mm_and_pd(quiet, _mm_set1_pd(1.0)), _mm_andnot_pd(quiet, magnitude));
    const __m128d level = _mm_mul_pd(PortableLog(heard), _mm_set1_pd(kDbPerNeper));
    const __m128d slopes = _mm_set1_pd(straight);
    const __m128d lower = _mm_set1_pd(kneeLower_);
    const __m128d kneeSlope = _mm_mul_pd(
        _mm_mul_pd(_mm_div_pd(_mm_sub_pd(level, lower), _mm_set1_pd(kneeWidth_)), _mm_set1_pd(0.5)), slopes);
    const __m128d kneeGain = _mm_mul_pd(_mm_sub_pd(lower, level), kneeSlope);
    const __m128d g = _mm_mul_pd(_mm_sub_pd(_mm_set1_pd(threshold_), level), slopes);
    const __m128d lineGain = _mm_and_pd(_mm_cmplt_pd(g, _mm_setzero_pd()), g);
    __m128d inKnee = _mm_and_pd(_mm_cmplt_pd(lower, level), _mm_cmplt_pd(level, _mm_set1_pd(kneeUpper_)));
    if (!(kneeWidth_ > 0.0))
        inKnee = _mm_setzero_pd();
    const __m128d gain = _mm_or_pd(_mm_and_pd(inKnee, kneeGain), _mm_andnot_pd(inKnee, lineGain));
    return _mm_andnot_pd(quiet, gain);
}

void compressor::FollowStereoPairs(const double* pairs, double* envelopes, int count)
{
    // A copy keeps the follower's state in registers: stores to the output
    // could otherwise alias it.
    compressor local = *this;
    for (int i = 0; i < count; ++i)
        envelopes[i] = local.FollowStereo(pairs[2 * i], pairs[2 * i + 1]);
    *this = local;
}

void compressor::UpdateKnee()
{
    kneeWidth_ = threshold_ * kneeFactor_ * -1.0;
    kneeLower_ = threshold_ - kneeWidth_ * 0.5;
    kneeUpper_ = threshold_ + kneeWidth_ * 0.5;
    slope_ = StraightSlope();
    UpdateQuietBound();
}

// The highest level that certainly gives 0 dB is the threshold, or the knee's
// lower bound when there is a knee. The bound stays a thousandth of a dB
// below it, far beyond any rounding of the logarithm, so the skipped frames
// are exactly those whose gain would have come out 0. A NaN bound skips none.
void compressor::UpdateQuietBound()
{
    const double highest = kneeWidth_ > 0.0 ? std::min(threshold_, kneeLower_) : threshold_;
    quietBound_ = std::exp((highest - 1e-3) / kDbPerNeper);
}

void compressor::ChangeRatio(double ratio)
{
    ratio_ = ratio;
    ratioSlope_ = 1.0 - 1.0 / ratio;
    UpdateKnee();
}

void compressor::ChangeThreshold(double dB)
{
    threshold_ = dB;
    UpdateKnee();
}

void compressor::ChangeKnee(double factor)
{
    kneeFactor_ = factor;
    UpdateKnee();
}
