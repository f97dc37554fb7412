#pragma once

#include <emmintrin.h>

// The output saturator of both channels, run at the host rate (factor 0) or
// at twice the rate between an up- and a down-sampling halfband filter per
// channel (factor 2, 64 samples of delay at the host rate).
//
// The 2x path gives exactly what ticking a HalfbandFir per filter gives: zero
// stuffing, up-sampling, the saturator on twice the level, down-sampling and
// dropping every second output. It computes it in polyphase form: the stuffed
// samples of the up-sampling filter are known values (the filter's offset),
// so their products are constants; the dropped outputs are not computed;
// the two channels run side by side in SSE2 lanes; and several frames are
// summed at once, each with the plain form's order of operations.
class OversampledSaturator {
public:
    OversampledSaturator();

    // Zeroes the halfband filters' delay lines; their offsets keep running.
    void Clear();

    // in and out hold frames (left, right) pairs; they may be the same array.
    void Process(int factor, const double* in, double* out, int frames);

private:
    static constexpr int kHistory = 64;  // frames of the past that the sums reach back
    static constexpr int kChunk = 64;

    void ProcessChunk(const double* in, double* out, int frames);

    // Up-sampling input of each frame plus the offset of its first tick.
    alignas(16) double x_[2 * (kHistory + kChunk)];
    // Down-sampling inputs plus offsets: the first and the second sub-sample.
    alignas(16) double v0_[2 * (kHistory + kChunk)];
    alignas(16) double v1_[2 * (kHistory + kChunk)];
    // The up-sampling filter's products of the stuffed samples, once every
    // stuffed sample in reach holds the offset (kHistory frames after Clear).
    alignas(16) double stuffedProducts_[32];
    // Offset before a frame: each filter is ticked twice per frame, so its
    // alternating offset is the same at the start of every frame.
    double offset_ = 1e-15;
    int framesSinceClear_ = 0;  // counts up to kHistory
};
