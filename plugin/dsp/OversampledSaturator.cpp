#include "OversampledSaturator.h"

#include "HalfbandFir.h"
#include "OutputSaturator.h"
#include "WideLanes.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kTaps = 32;

inline __m128d PairAt(const double* frames, int frame)
{
    return _mm_load_pd(frames + 2 * frame);
}

inline void StorePair(double* frames, int frame, __m128d v)
{
    _mm_store_pd(frames + 2 * frame, v);
}

// One halfband output's folded sum over the odd distances, added to acc in
// the plain filter's order: h(d) times the two samples at distance d from
// the centre, d = 1, 3, ..., 63. Seen from the frames of the history h, the
// samples at distance 2t + 1 are those of frames m - 31 + t and m - 32 - t.
inline __m128d FoldedSum(__m128d acc, const double* h, int m)
{
    const double* taps = HalfbandFir::kOddTaps.data();
    for (int t = 0; t < kTaps; ++t)
        acc = _mm_add_pd(acc, _mm_mul_pd(_mm_set1_pd(taps[t]), _mm_add_pd(PairAt(h, m - 31 + t), PairAt(h, m - 32 - t))));
    return acc;
}

// Four outputs at once, for frames m to m + 3: four independent chains of
// additions keep the processor busy where one would wait for each sum.
inline void FoldedSum4(__m128d acc[4], const double* h, int m)
{
    const double* taps = HalfbandFir::kOddTaps.data();
    for (int t = 0; t < kTaps; ++t) {
        const __m128d tap = _mm_set1_pd(taps[t]);
        for (int k = 0; k < 4; ++k)
            acc[k] = _mm_add_pd(acc[k], _mm_mul_pd(tap, _mm_add_pd(PairAt(h, m + k - 31 + t), PairAt(h, m + k - 32 - t))));
    }
}

} // namespace

OversampledSaturator::OversampledSaturator()
{
    const double stuffed = offset_ + offset_;
    for (int t = 0; t < kTaps; ++t)
        stuffedProducts_[t] = HalfbandFir::kOddTaps[t] * stuffed;
    Clear();
}

void OversampledSaturator::Clear()
{
    std::fill(std::begin(x_), std::end(x_), 0.0);
    std::fill(std::begin(v0_), std::end(v0_), 0.0);
    std::fill(std::begin(v1_), std::end(v1_), 0.0);
    framesSinceClear_ = 0;
}

void OversampledSaturator::Process(int factor, const double* in, double* out, int frames)
{
    if (factor != 2) {
        for (int i = wide_lanes::Saturate(in, out, frames); i < frames; ++i)
            _mm_storeu_pd(out + 2 * i, OutputSaturator(_mm_loadu_pd(in + 2 * i)));
        return;
    }
    for (int done = 0; done < frames; done += kChunk) {
        const int n = std::min(kChunk, frames - done);
        ProcessChunk(in + 2 * done, out + 2 * done, n);
    }
}

// Frame n's first tick of each filter adds the offset -o, its second +o.
// Up-sampling, first sub-sample: the centre is the frame's input 32 frames
// ago, every odd distance holds a stuffed sample (0 + o, or 0 before the
// line filled after Clear). Second sub-sample: the centre is a stuffed
// sample and the odd distances hold the inputs. Down-sampling, first
// sub-sample only (the second output is dropped): the centre is a first
// sub-sample 32 frames ago, the odd distances hold second sub-samples.
void OversampledSaturator::ProcessChunk(const double* in, double* out, int n)
{
    const __m128d firstOffset = _mm_set1_pd(-offset_);
    const __m128d secondOffset = _mm_set1_pd(offset_);
    const __m128d half = _mm_set1_pd(0.5);
    const __m128d two = _mm_set1_pd(2.0);
    const __m128d zero = _mm_setzero_pd();

    for (int i = 0; i < n; ++i)
        StorePair(x_, kHistory + i, _mm_add_pd(_mm_loadu_pd(in + 2 * i), firstOffset));

    alignas(16) double first[2 * kChunk];
    alignas(16) double second[2 * kChunk];
    int i = 0;
    // Until the stuffed samples reach across the whole line, count them.
    for (; i < n && framesSinceClear_ + i < kHistory; ++i) {
        const int filled = framesSinceClear_ + i;  // stuffed samples in the line, newest first
        const int p = kHistory + i;
        __m128d acc = _mm_mul_pd(half, PairAt(x_, p - 32));
        for (int t = 0; t < kTaps; ++t) {
            const __m128d a = 32 - t <= filled ? secondOffset : zero;
            const __m128d b = 33 + t <= filled ? secondOffset : zero;
            acc = _mm_add_pd(acc, _mm_mul_pd(_mm_set1_pd(HalfbandFir::kOddTaps[t]), _mm_add_pd(a, b)));
        }
        StorePair(first, i, _mm_sub_pd(acc, firstOffset));
        const __m128d centre = filled >= 32 ? secondOffset : zero;
        StorePair(second, i, _mm_sub_pd(FoldedSum(_mm_mul_pd(half, centre), x_, p), secondOffset));
    }
    const __m128d stuffedCentre = _mm_mul_pd(half, secondOffset);
    if (i < n) {
        alignas(16) const double stuffed[2] = {offset_, offset_};
        const int wide = wide_lanes::ConstantSums(stuffedProducts_, x_ + 2 * (kHistory + i - 32), -offset_,
                                                  first + 2 * i, n - i);
        wide_lanes::FoldedSums(HalfbandFir::kOddTaps.data(), x_, kHistory + i, stuffed, true, offset_, second + 2 * i,
                               wide);
        i += wide;
    }
    for (; i + 4 <= n; i += 4) {
        __m128d acc[4];
        for (int k = 0; k < 4; ++k)
            acc[k] = _mm_mul_pd(half, PairAt(x_, kHistory + i + k - 32));
        for (int t = 0; t < kTaps; ++t) {
            const __m128d product = _mm_set1_pd(stuffedProducts_[t]);
            for (int k = 0; k < 4; ++k)
                acc[k] = _mm_add_pd(acc[k], product);
        }
        for (int k = 0; k < 4; ++k) {
            StorePair(first, i + k, _mm_sub_pd(acc[k], firstOffset));
            acc[k] = stuffedCentre;
        }
        FoldedSum4(acc, x_, kHistory + i);
        for (int k = 0; k < 4; ++k)
            StorePair(second, i + k, _mm_sub_pd(acc[k], secondOffset));
    }
    for (; i < n; ++i) {
        const int p = kHistory + i;
        __m128d acc = _mm_mul_pd(half, PairAt(x_, p - 32));
        for (int t = 0; t < kTaps; ++t)
            acc = _mm_add_pd(acc, _mm_set1_pd(stuffedProducts_[t]));
        StorePair(first, i, _mm_sub_pd(acc, firstOffset));
        StorePair(second, i, _mm_sub_pd(FoldedSum(stuffedCentre, x_, p), secondOffset));
    }

    for (int j = wide_lanes::SaturateDoubled(first, -offset_, v0_ + 2 * kHistory, n); j < n; ++j)
        StorePair(v0_, kHistory + j, _mm_add_pd(OutputSaturator(_mm_mul_pd(two, PairAt(first, j))), firstOffset));
    for (int j = wide_lanes::SaturateDoubled(second, offset_, v1_ + 2 * kHistory, n); j < n; ++j)
        StorePair(v1_, kHistory + j, _mm_add_pd(OutputSaturator(_mm_mul_pd(two, PairAt(second, j))), secondOffset));

    int j = wide_lanes::FoldedSums(HalfbandFir::kOddTaps.data(), v1_, kHistory - 1, v0_ + 2 * (kHistory - 32), false,
                                   -offset_, out, n);
    for (; j + 4 <= n; j += 4) {
        __m128d acc[4];
        for (int k = 0; k < 4; ++k)
            acc[k] = _mm_mul_pd(half, PairAt(v0_, kHistory + j + k - 32));
        FoldedSum4(acc, v1_, kHistory + j - 1);
        for (int k = 0; k < 4; ++k)
            _mm_storeu_pd(out + 2 * (j + k), _mm_sub_pd(acc[k], firstOffset));
    }
    for (; j < n; ++j) {
        const int p = kHistory + j;
        const __m128d acc = FoldedSum(_mm_mul_pd(half, PairAt(v0_, p - 32)), v1_, p - 1);
        _mm_storeu_pd(out + 2 * j, _mm_sub_pd(acc, firstOffset));
    }

    // Keep the last kHistory frames for the next chunk.
    for (double* line : {x_, v0_, v1_})
        std::memmove(line, line + 2 * n, sizeof(double) * 2 * kHistory);
    framesSinceClear_ = std::min(kHistory, framesSinceClear_ + n);
}
