#pragma once

#include "PortableMath.h"
#include "envFollower.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>

// Gain computer on top of the level follower: turns the followed level into a
// gain in dB below a threshold, with a ratio, an optional soft knee whose width
// scales with the threshold's depth, and a limit mode (infinite ratio).
class compressor : public envFollower {
public:
    compressor();

    // Back to the construction state at the given sample rate.
    void Reset(double sampleRate);

    // Runs the mono gain computation and drops the sample (see Process).
    void Follow(double sample) override;
    // The sample times the linear gain computed from its own level.
    double Process(double sample);
    // One detector value per channel; the larger signed value is followed.
    // (The larger signed value, not the larger magnitude: (-0.9, 0.1) follows 0.1.)
    double ComputeGainStereo(double left, double right)
    {
        return GainFromLevel(std::fabs(std::max(left, right)));
    }

    // ComputeGainStereo in two halves for block processing: the follower's
    // step (returns the envelope), and later the gains of a run of such
    // envelopes, each as ComputeGainStereo would have computed it right after
    // its step with the settings of now. The gain and slope fields end as the
    // last envelope leaves them.
    double FollowStereo(double left, double right)
    {
        FollowLevel(std::fabs(std::max(left, right)));
        return Envelope();
    }
    void GainsFromEnvelopes(const double* envelopes, double* gains, int count);
    // FollowStereo for count (left, right) pairs, envelopes out.
    void FollowStereoPairs(const double* pairs, double* envelopes, int count);

    // Called every sample; ratio, threshold and knee act only on a change.
    void SetRatio(double ratio)
    {
        if (ratio != ratio_)
            ChangeRatio(ratio);
    }
    void SetThreshold(double dB)
    {
        if (dB != threshold_)
            ChangeThreshold(dB);
    }
    void SetKnee(double factor)
    {
        if (factor != kneeFactor_)
            ChangeKnee(factor);
    }
    void SetLimit(int flag)
    {
        limit_ = flag;
        slope_ = StraightSlope();
    }

    double Gain() const { return gain_; }
    double KneeFactor() const { return kneeFactor_; }
    double Ratio() const { return ratio_; }
    double Threshold() const { return threshold_; }
    double KneeWidth() const { return kneeWidth_; }
    double KneeLower() const { return kneeLower_; }
    double KneeUpper() const { return kneeUpper_; }
    double Slope() const { return slope_; }
    int Limit() const { return limit_; }

    static constexpr double kDbPerNeper = 8.685889638065037;  // 20 / ln 10
    static constexpr double kNeperPerDb = 0.1151292546497;    // ln 10 / 20

private:
    double GainFromLevel(double detector)
    {
        FollowLevel(detector);
        gain_ = GainOf(Envelope(), slope_);
        return gain_;
    }

    // The gain for an envelope with the current settings; slope receives the
    // slope field's new value.
    double GainOf(double envelope, double& slope) const
    {
        const double straight = StraightSlope();
        slope = straight;
        // Far enough below the threshold and the knee the gain is 0 dB
        // whatever the logarithm gives, so it is not computed.
        if (std::fabs(envelope) < quietBound_ && straight >= 0.0)
            return 0.0;
        const double level = PortableLog(std::fabs(envelope)) * kDbPerNeper;
        // Quadratic knee: meets the straight line at the upper bound. Both
        // are computed and one is selected, as the level crosses the knee's
        // bounds too often for a branch to be predicted.
        const double kneeSlope = (level - kneeLower_) / kneeWidth_ * 0.5 * straight;
        const double kneeGain = (kneeLower_ - level) * kneeSlope;
        const double g = (threshold_ - level) * straight;
        const double lineGain = g < 0.0 ? g : 0.0;  // also 0 for NaN (silence at ratio 1)
        const bool inKnee = (kneeWidth_ > 0.0) & (kneeLower_ < level) & (level < kneeUpper_);
        slope = inKnee ? kneeSlope : straight;
        return inKnee ? kneeGain : lineGain;
    }
    // GainOf for two envelopes at once (the slope field is not needed).
    __m128d GainsOf(__m128d envelopes) const;
    void UpdateQuietBound();
    double StraightSlope() const { return limit_ ? 1.0 : ratioSlope_; }
    void ChangeRatio(double ratio);
    void ChangeThreshold(double dB);
    void ChangeKnee(double factor);
    void UpdateKnee();

    double gain_ = 0.0;
    double kneeFactor_ = 0.0;
    double ratio_ = 4.0;
    double threshold_ = 0.0;
    double kneeWidth_ = -0.0;
    double kneeLower_ = 0.0;
    double kneeUpper_ = 0.0;
    double slope_ = 0.75;
    int limit_ = 0;
    double ratioSlope_ = 0.75;  // 1 - 1/ratio, kept with the ratio
    // Envelopes below this give a level under the threshold and the knee.
    double quietBound_ = 0.0;
};
