#include "BiquadFilter.h"

#include <cmath>

namespace {
constexpr double kPi = 3.14159265358979323846;
}

void BiquadFilter::Configure(int type, double frequency, double q, double peakGain)
{
    type_ = type;
    frequency_ = frequency;
    q_ = q;
    peakGain_ = peakGain;
    CalcCoefficients();
}

void BiquadFilter::CalcCoefficients()
{
    if (type_ != kHighPass && type_ != kBandPass)
        return;
    const double k = std::tan(kPi * frequency_);
    const double norm = 1.0 / (1.0 + k / q_ + k * k);
    if (type_ == kHighPass) {
        a0_ = norm;
        a1_ = -2.0 * a0_;
        a2_ = a0_;
    } else {
        a0_ = k / q_ * norm;
        a1_ = 0.0;
        a2_ = -a0_;
    }
    b1_ = 2.0 * (k * k - 1.0) * norm;
    b2_ = (1.0 - k / q_ + k * k) * norm;
}
