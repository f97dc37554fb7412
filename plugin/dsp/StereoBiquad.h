#pragma once

#include "BiquadFilter.h"

#include <emmintrin.h>

// Two BiquadFilters (left and right) run side by side in the two lanes of an
// SSE2 register. Every lane performs the scalar filter's operations in the
// same order, and SSE2 doubles round as scalar doubles do, so each channel
// gets exactly what its own BiquadFilter would give.
class StereoBiquad {
public:
    StereoBiquad() { Load(); }

    // As BiquadFilter::Configure for both channels; the state is kept.
    // Recomputes the coefficients only when a setting changed.
    void Configure(int type, double frequency, double q, double peakGain)
    {
        if (type == type_ && frequency == frequency_ && q == q_ && peakGain == peakGain_)
            return;
        type_ = type;
        frequency_ = frequency;
        q_ = q;
        peakGain_ = peakGain;
        design_.Configure(type, frequency, q, peakGain);
        Load();
    }

    void ClearState()
    {
        z1_ = _mm_setzero_pd();
        z2_ = _mm_setzero_pd();
    }

    // Lane 0 left, lane 1 right.
    __m128d Tick(__m128d x)
    {
        const __m128d in = _mm_cvtps_pd(_mm_cvtpd_ps(x));
        const __m128d out = _mm_add_pd(_mm_mul_pd(in, a0_), z1_);
        z1_ = _mm_sub_pd(_mm_add_pd(_mm_mul_pd(in, a1_), z2_), _mm_mul_pd(b1_, out));
        z2_ = _mm_sub_pd(_mm_mul_pd(in, a2_), _mm_mul_pd(b2_, out));
        return _mm_cvtps_pd(_mm_cvtpd_ps(out));
    }

private:
    void Load()
    {
        a0_ = _mm_set1_pd(design_.A0());
        a1_ = _mm_set1_pd(design_.A1());
        a2_ = _mm_set1_pd(design_.A2());
        b1_ = _mm_set1_pd(design_.B1());
        b2_ = _mm_set1_pd(design_.B2());
    }

    BiquadFilter design_;  // coefficients only; its own state is unused
    int type_ = 0;
    double frequency_ = 0.5;
    double q_ = 0.707;
    double peakGain_ = 0.0;
    __m128d a0_, a1_, a2_, b1_, b2_;
    __m128d z1_ = _mm_setzero_pd();
    __m128d z2_ = _mm_setzero_pd();
};
