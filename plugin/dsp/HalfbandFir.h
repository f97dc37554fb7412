#pragma once

#include <array>

// 129-tap halfband lowpass (cut-off at a quarter of the rate it runs at) for
// 2x up- and down-sampling; delays by 64 samples. An offset of alternating
// sign rides on the delay line so that it never holds denormal numbers.
class HalfbandFir {
public:
    HalfbandFir();

    double Tick(double x);
    // Zeroes the delay line; the offset keeps its running sign.
    void Clear();

    static constexpr int kLength = 129;
    static constexpr int kCentre = 64;
    // Taps at the odd distances 1, 3, ..., 63 from the centre; the centre tap
    // is 0.5 and the even distances are 0.
    static const std::array<double, 32> kOddTaps;

private:
    double offset_ = 1e-15;
    // Each sample is written twice, kLength apart, so that the last kLength
    // samples are always contiguous from position_ on, newest first.
    std::array<double, 2 * kLength> line_{};
    int position_ = 0;
};
