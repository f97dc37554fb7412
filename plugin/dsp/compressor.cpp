#include "compressor.h"

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
    double slope = slope_;
    for (int i = 0; i < count; ++i)
        gains[i] = settings.GainOf(envelopes[i], slope);
    if (count > 0) {
        slope_ = slope;
        gain_ = gains[count - 1];
    }
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
