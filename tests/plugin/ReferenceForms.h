#pragma once

// Plain, unoptimised forms of blocks whose library versions were made faster.
// The library versions must give bit-identical results; the tests compare
// the two and the benchmark reports both.

#include "dsp/OutputSaturator.h"
#include "dsp/PortableMath.h"

#include <algorithm>
#include <array>
#include <cmath>

// Shifts the whole delay line and rewrites all 65 taps (even distances 0) on
// every call.
class PlainHalfbandFir {
public:
    double Tick(double x)
    {
        offset_ = -offset_;
        for (int k = 128; k > 0; --k)
            line_[k] = line_[k - 1];
        line_[0] = x + offset_;
        WriteTaps();
        double y = taps_[64] * line_[64];
        for (int d = 1; d <= 64; ++d)
            y += taps_[64 - d] * (line_[64 - d] + line_[64 + d]);
        return y - offset_;
    }

    void Clear()
    {
        line_.fill(0.0);
        taps_.fill(0.0);
    }

private:
    // taps_[i] is the tap at distance 64 - i from the centre.
    void WriteTaps()
    {
        static const double odd[32] = {
            0.317956, -0.105047, 0.061915, -0.043056, 0.032309, -0.025272, 0.020254, -0.01647,
            0.013505, -0.011119, 0.009163, -0.007542, 0.006187, -0.005051, 0.004099, -0.003301,
            0.002635, -0.002082, 0.001627, -0.001255, 0.000954, -0.000713, 0.000524, -0.000377,
            0.000264, -0.00018, 0.000118, -0.000075, 0.000045, -0.000025, 0.000012, -0.000005};
        taps_[64] = 0.5;
        for (int d = 1; d <= 64; ++d)
            taps_[64 - d] = d % 2 ? odd[d / 2] : 0.0;
    }

    double offset_ = 1e-15;
    std::array<double, 129> line_{};
    std::array<double, 65> taps_{};
};

// The output saturator of one channel at twice the rate, one sub-sample
// after the other: zero stuffing, up-sampling, the saturator on twice the
// level (restoring what the stuffing halves), down-sampling; the second
// sub-sample's output is dropped. Factor 0 (or anything but 2) saturates at
// the host rate and leaves the filters alone.
template <class Fir>
double PlainSaturateOversampled(double x, int factor, Fir& up, Fir& down)
{
    if (factor != 2)
        return OutputSaturator(x);
    const double result = down.Tick(OutputSaturator(2.0 * up.Tick(x)));
    down.Tick(OutputSaturator(2.0 * up.Tick(0.0)));
    return result;
}

// The coefficient rule evaluated afresh, as a follower without a cache would.
inline double PlainCoefficient(double ms, double sampleRate)
{
    return std::pow(0.01, 1.0 / (ms * sampleRate * 0.001));
}

// Level follower and gain computer that recompute everything on every call:
// pow for both times, the hold length and 1 - 1/ratio.
class PlainCompressor {
public:
    explicit PlainCompressor(double sampleRate) { Setup(5.0, 50.0, 0.0, sampleRate); }

    void Setup(double attackMs, double releaseMs, double holdMs, double sampleRate)
    {
        sampleRate_ = sampleRate;
        attack_ = PlainCoefficient(attackMs, sampleRate);
        release_ = PlainCoefficient(releaseMs, sampleRate);
        envelope_ = 0.0;
        holdCounter_ = 0;
        SetHold(holdMs);
    }

    void Reset(double sampleRate)
    {
        *this = PlainCompressor(sampleRate);
    }

    double ComputeGainStereo(double left, double right)
    {
        const double d = std::fabs(std::max(left, right));
        if (d > envelope_) {
            holdCounter_ = 0;
            envelope_ = (envelope_ - d) * attack_ + d;
        } else if (holdCounter_ < holdLength_) {
            ++holdCounter_;
        } else {
            envelope_ = (envelope_ - d) * release_ + d;
        }
        const double level = PortableLog(std::fabs(envelope_)) * 8.685889638065037;
        slope_ = limit_ ? 1.0 : 1.0 - 1.0 / ratio_;
        if (kneeWidth_ > 0.0 && kneeLower_ < level && level < kneeUpper_) {
            slope_ = (level - kneeLower_) / kneeWidth_ * 0.5 * slope_;
            gain_ = (kneeLower_ - level) * slope_;
        } else {
            const double g = (threshold_ - level) * slope_;
            gain_ = g < 0.0 ? g : 0.0;
        }
        return gain_;
    }

    void SetAttack(double ms) { attack_ = PlainCoefficient(ms, sampleRate_); }
    void SetRelease(double ms) { release_ = PlainCoefficient(ms, sampleRate_); }
    void SetHold(double ms)
    {
        const double samples = ms / 1000.0 * sampleRate_;
        holdLength_ = samples >= 2147483647.0 ? 2147483647 : static_cast<int>(samples);
    }
    void SetRatio(double r)
    {
        if (r != ratio_) {
            ratio_ = r;
            UpdateKnee();
        }
    }
    void SetThreshold(double t)
    {
        if (t != threshold_) {
            threshold_ = t;
            UpdateKnee();
        }
    }
    void SetKnee(double k)
    {
        if (k != kneeFactor_) {
            kneeFactor_ = k;
            UpdateKnee();
        }
    }
    void SetLimit(int flag)
    {
        limit_ = flag;
        slope_ = limit_ ? 1.0 : 1.0 - 1.0 / ratio_;
    }

    double Envelope() const { return envelope_; }
    double Slope() const { return slope_; }
    double AttackCoefficient() const { return attack_; }
    double ReleaseCoefficient() const { return release_; }
    int HoldLength() const { return holdLength_; }

private:
    void UpdateKnee()
    {
        kneeWidth_ = threshold_ * kneeFactor_ * -1.0;
        kneeLower_ = threshold_ - kneeWidth_ * 0.5;
        kneeUpper_ = threshold_ + kneeWidth_ * 0.5;
        slope_ = limit_ ? 1.0 : 1.0 - 1.0 / ratio_;
    }

    double attack_ = 0.0, release_ = 0.0, envelope_ = 0.0, sampleRate_ = 0.0;
    int holdCounter_ = 0, holdLength_ = 0;
    double gain_ = 0.0, kneeFactor_ = 0.0, ratio_ = 4.0, threshold_ = 0.0;
    double kneeWidth_ = -0.0, kneeLower_ = 0.0, kneeUpper_ = 0.0, slope_ = 0.75;
    int limit_ = 0;
};
