#pragma once

// Second-order filter in transposed direct form II. Samples pass through as
// 32-bit floats (rounded on the way in and out) while the arithmetic and the
// state stay in double precision.
class BiquadFilter {
public:
    enum Type { kHighPass = 1, kBandPass = 2 };

    // frequency is a fraction of the sample rate; peakGain (dB) is unused by
    // the high- and band-pass. The state is kept.
    void Configure(int type, double frequency, double q, double peakGain);
    void CalcCoefficients();
    // Forgets the past input: the state is zeroed, the coefficients stay.
    void Clear() { z1_ = 0.0; z2_ = 0.0; }

    double Tick(double x)
    {
        const double in = static_cast<float>(x);
        const double out = in * a0_ + z1_;
        z1_ = in * a1_ + z2_ - b1_ * out;
        z2_ = in * a2_ - b2_ * out;
        return static_cast<float>(out);
    }

    int GetType() const { return type_; }
    double A0() const { return a0_; }
    double A1() const { return a1_; }
    double A2() const { return a2_; }
    double B1() const { return b1_; }
    double B2() const { return b2_; }

private:
    int type_ = 0;
    double a0_ = 1.0;
    double a1_ = 0.0;
    double a2_ = 0.0;
    double b1_ = 0.0;
    double b2_ = 0.0;
    double frequency_ = 0.5;
    double q_ = 0.707;
    double peakGain_ = 0.0;
    double z1_ = 0.0;
    double z2_ = 0.0;
};
