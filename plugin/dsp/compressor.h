#pragma once

#include "envFollower.h"

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
    double ComputeGainStereo(double left, double right);

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
    double GainFromLevel(double detector);
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
};
