#include "HalfbandFir.h"

const std::array<double, 32> HalfbandFir::kOddTaps = {
    0.317956, -0.105047, 0.061915, -0.043056, 0.032309, -0.025272, 0.020254, -0.01647,
    0.013505, -0.011119, 0.009163, -0.007542, 0.006187, -0.005051, 0.004099, -0.003301,
    0.002635, -0.002082, 0.001627, -0.001255, 0.000954, -0.000713, 0.000524, -0.000377,
    0.000264, -0.00018, 0.000118, -0.000075, 0.000045, -0.000025, 0.000012, -0.000005};

HalfbandFir::HalfbandFir()
{
    Clear();
}

void HalfbandFir::Clear()
{
    line_.fill(0.0);
    position_ = 0;
}

double HalfbandFir::Tick(double x)
{
    offset_ = -offset_;
    position_ = position_ == 0 ? kLength - 1 : position_ - 1;
    line_[position_] = x + offset_;
    line_[position_ + kLength] = x + offset_;

    const double* s = &line_[position_];  // s[k]: the sample k calls ago
    double y = 0.5 * s[kCentre];
    for (int t = 0; t < 32; ++t) {
        const int d = 2 * t + 1;
        y += kOddTaps[t] * (s[kCentre - d] + s[kCentre + d]);
    }
    return y - offset_;
}
