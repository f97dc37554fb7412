#pragma once

// Passes of the processing whose lanes do not depend on one another, in the
// 256-bit AVX2 registers of processors that have them (chosen at run time;
// the 128-bit SSE2 forms of the callers serve the others). Every lane
// performs the 128-bit form's operations in the same order, without fused
// multiply-adds, and IEEE arithmetic rounds alike in any register width: the
// results are the same bits whichever path runs.
namespace wide_lanes {

// True when the processor and the system support AVX2 and the wide passes
// are switched on (they are unless SetEnabled(false) was called).
bool Enabled();

// Switches the wide passes off (or back on where available): for tests and
// benchmarks that compare the two paths. Not meant for the audio thread.
void SetEnabled(bool enabled);

// The gain computer's settings for a run of envelopes (see compressor).
struct GainCurve {
    double straight;  // the slope outside the knee
    double quietBound;
    double threshold;
    double kneeWidth;
    double kneeLower;
    double kneeUpper;
};

// Each pass below works on the longest start of its run that its width
// allows and returns how many it did (0 while the wide passes are off): the
// caller does the rest in its 128-bit form.

// gains[i] for envelopes[i], each as compressor::GainOf gives it.
int Gains(const GainCurve& curve, const double* envelopes, double* gains, int count);

// For each frame, e^(g ln 10 / 20) and e^(2 g ln 10 / 20) of its gain g in dB
// (the gain factor and the meter's squared gain); exactly 1 for a gain of 0.
int GainFactors(const double* gains, double* factors, double* squares, int count);

// Halfband sums over (left, right) frame pairs, for frames k < count:
//   out[k] = 0.5 centre[k] + sum over t of taps[t] (h[m + k - 31 + t] + h[m + k - 32 - t]) - offset
// summed in that order; with a fixed centre, centre[0] serves every frame.
int FoldedSums(const double* taps, const double* h, int m, const double* centre, bool fixedCentre, double offset,
               double* out, int count);

// out[k] = (0.5 centre[k] + products[0] + ... + products[31]) - offset over
// frame pairs: the up-sampling filter's sub-sample whose odd taps all meet
// known samples.
int ConstantSums(const double* products, const double* centre, double offset, double* out, int count);

// out[k] = OutputSaturator(in[k]) over (left, right) frame pairs; in place
// allowed.
int Saturate(const double* in, double* out, int count);
// out[k] = OutputSaturator(2 in[k]) + offset over frame pairs: the saturator
// between the halfband filters, at twice the level, with the offset of the
// filter that follows.
int SaturateDoubled(const double* in, double offset, double* out, int count);

// The detector's shaping curves of a mode code (see CharacterModes), in
// place over (left, right) frame pairs, each value as the scalar curves give
// it.
int Shapes(int code, double* frames, int count);

} // namespace wide_lanes
