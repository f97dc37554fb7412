#include "compressor.h"

#include <algorithm>
#include <cmath>

compressor::compressor() = default;

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
}

void compressor::Follow(double sample)
{
    Process(sample);
}

double compressor::Process(double sample)
{
    const double gain = GainFromLevel(std::fabs(sample));
    return sample * std::exp(gain * kNeperPerDb);
}

double compressor::ComputeGainStereo(double left, double right)
{
    // The larger signed value, not the larger magnitude: (-0.9, 0.1) follows 0.1.
    return GainFromLevel(std::fabs(std::max(left, right)));
}

double compressor::GainFromLevel(double detector)
{
    FollowLevel(detector);
    const double level = std::log(std::fabs(Envelope())) * kDbPerNeper;
    slope_ = StraightSlope();
    if (kneeWidth_ > 0.0 && kneeLower_ < level && level < kneeUpper_) {
        // Quadratic knee: meets the straight line at the upper bound.
        slope_ = (level - kneeLower_) / kneeWidth_ * 0.5 * slope_;
        gain_ = (kneeLower_ - level) * slope_;
    } else {
        const double g = (threshold_ - level) * slope_;
        gain_ = g < 0.0 ? g : 0.0;  // also 0 for NaN (silence at ratio 1)
    }
    return gain_;
}

void compressor::UpdateKnee()
{
    kneeWidth_ = threshold_ * kneeFactor_ * -1.0;
    kneeLower_ = threshold_ - kneeWidth_ * 0.5;
    kneeUpper_ = threshold_ + kneeWidth_ * 0.5;
    slope_ = StraightSlope();
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
