#include "KorvelChain.h"

#include "OutputSaturator.h"
#include "PortableMath.h"
#include "ShapeCurves.h"
#include "WideLanes.h"

#include <xmmintrin.h>

#include <algorithm>
#include <cmath>

namespace {

// 300 ms to within 1 % (ln 100 = 4.60517...).
constexpr double kMeterLn100 = 4.60517018599;
constexpr double kMeterSeconds = 0.3;

// Beyond any audio level (600 dB above full scale), and far enough below the
// largest 32-bit float that the detector's filters still hold it after the
// input gain. A larger value would overflow them, and the overflow would stay.
constexpr double kLargestSample = 1e30;

// Corners stay below 49 % of the sample rate: past half the rate the filters
// turn unstable and their output grows without bound. Only rates below about
// 10.2 kHz move a corner (the 5 kHz output filter).
constexpr double kHighestCornerFraction = 0.49;

double CornerFraction(double hz, double sampleRate)
{
    const double fraction = hz / sampleRate;
    return fraction < kHighestCornerFraction ? fraction : kHighestCornerFraction;
}

inline __m128d Pair(const double* frames, int i)
{
    return _mm_load_pd(frames + 2 * i);
}

inline void Store(double* frames, int i, __m128d v)
{
    _mm_store_pd(frames + 2 * i, v);
}

inline double Left(__m128d v)
{
    return _mm_cvtsd_f64(v);
}

inline double Right(__m128d v)
{
    return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v));
}

// A NaN, an infinity or an overflow would stay in the filter and follower
// states for ever: such a sample counts as silence.
inline __m128d UsableOrZero(__m128d x)
{
    const __m128d magnitude = _mm_andnot_pd(_mm_set1_pd(-0.0), x);
    return _mm_and_pd(x, _mm_cmple_pd(magnitude, _mm_set1_pd(kLargestSample)));
}

// The curves of a mode code, innermost first: Opto, FET, VCA.
template <int Code>
inline __m128d Shape(__m128d x)
{
    if constexpr (Code >= 10)
        x = ShapeOptoPair(x);
    if constexpr (Code % 10 >= 5)
        x = ShapeFetPair(x);
    if constexpr (Code % 5 == 1)
        x = ShapeVcaPair(x);
    return x;
}

// Aims 1.25 % beyond the target in the direction of travel. The direction
// follows the smoothed gain and changes seldom: a branch predicts it well
// and keeps the step short.
inline void FollowMeter(double& meter, double target, double coefficient)
{
    const double v = std::fabs(target);
    const double aim = v * (v <= meter ? 0.9875 : 1.0125);
    meter = (meter - aim) * coefficient + aim;
}

// The settings reach the gain computer after the frame's gain, as in the
// frame-by-frame order. Within a block they do not change, so only the
// block's first frame needs them: later calls would find nothing to do.
void ApplySettings(compressor& comp, const KorvelChain::StageSettings& s, double kneeFactor)
{
    comp.SetAttack(s.attackMs);
    comp.SetRelease(s.releaseMs);
    comp.SetHold(0.0);
    comp.SetRatio(s.ratio);
    comp.SetThreshold(s.threshold);
    comp.SetKnee(kneeFactor);
    comp.SetLimit(0);
}

} // namespace

KorvelChain::KorvelChain() = default;

void KorvelChain::Reset(double sampleRate)
{
    saturator_.Clear();
    // Every filter forgets the audio before the reset, also what a former
    // sample rate left there.
    output_.ClearState();
    for (Stage& stage : stages_) {
        stage.band.ClearState();
        stage.highPass.ClearState();
    }
    stages_[kStageInt].comp.Reset(sampleRate);
    stages_[kStageExt].comp.Reset(sampleRate);
}

void KorvelChain::Configure(const Settings& settings, double sampleRate)
{
    output_.Configure(BiquadFilter::kBandPass, CornerFraction(kOutputFilterHz, sampleRate), kOutputFilterQ, 0.0);
    for (int s = kStageInt; s <= kStageExt; ++s) {
        Stage& stage = stages_[s];
        stage.band.Configure(BiquadFilter::kBandPass, CornerFraction(kDetectorBandHz, sampleRate), kDetectorBandQ,
                             0.0);
        stage.highPass.Configure(BiquadFilter::kHighPass, CornerFraction(settings.stages[s].highPassHz, sampleRate),
                                 kHighPassQ, 0.0);
    }
}

void KorvelChain::Process(const Settings& settings, double sampleRate, const double* const* inputs,
                          double* const* outputs, int frames)
{
    Configure(settings, sampleRate);
    const double meterCoefficient = std::exp(-kMeterLn100 / (sampleRate * kMeterSeconds));
    // Denormal numbers as zeros, in and out, for the block: the sidechain
    // path has no anti-denormal offset, and after a loud sidechain falls
    // silent its filters and follower would decay through the denormal
    // range, which the processor computes many times slower. Values that
    // small change no output sample.
    const unsigned int control = _mm_getcsr();
    _mm_setcsr(control | 0x8040);  // flush to zero (bit 15), denormals are zero (bit 6)
    for (int start = 0; start < frames; start += kChunk)
        ProcessChunk(settings, inputs, outputs, start, std::min(kChunk, frames - start), meterCoefficient,
                     start == 0);
    _mm_setcsr(control);
    // Leaves the slope field as the settings of the last frame left it.
    if (frames > 0)
        for (Stage& stage : stages_)
            stage.comp.SetLimit(0);
}

void KorvelChain::ProcessChunk(const Settings& settings, const double* const* inputs, double* const* outputs,
                               int start, int n, double meterCoefficient, bool firstOfBlock)
{
    const double* inL = inputs[0] + start;
    const double* inR = inputs[1] + start;
    for (int i = 0; i < n; ++i) {
        offset_ = -offset_;
        const __m128d o = _mm_set1_pd(offset_);
        Store(offsets_, i, o);
        Store(dry_, i, _mm_add_pd(UsableOrZero(_mm_set_pd(inR[i], inL[i])), o));
    }

    // Int stage: hears its input after the input gain; its dry signal is
    // taken back out of what its detector heard.
    const StageSettings& intSettings = settings.stages[kStageInt];
    const CharacterMode* intMode = FindCharacterMode(intSettings.ModeCode());
    const __m128d gI = _mm_set1_pd(intSettings.inputGain);
    // A gain of exactly 1 (0 dB) changes no sample, there and back.
    const double* heardInt = dry_;
    const double* stageDry = dry_;
    if (intSettings.inputGain != 1.0) {
        for (int i = 0; i < n; ++i) {
            const __m128d heard = _mm_mul_pd(gI, Pair(dry_, i));
            Store(heard_[kStageInt], i, heard);
            if (intMode)
                Store(stageDry_, i, _mm_div_pd(heard, gI));
        }
        heardInt = heard_[kStageInt];
        stageDry = stageDry_;
    }
    const double* afterInt = dry_;
    RunStage(stages_[kStageInt], {&intSettings, intMode, firstOfBlock}, heardInt, stageDry, afterInt_,
             squares_[kStageInt], n);
    if (intMode)
        afterInt = afterInt_;

    // Int/Ext stage: processes the Int stage's output, hears that or the sidechain.
    const StageSettings& extSettings = settings.stages[kStageExt];
    const CharacterMode* extMode = FindCharacterMode(extSettings.ModeCode());
    const __m128d gE = _mm_set1_pd(extSettings.inputGain);
    const double* heardExt = heard_[kStageExt];
    if (settings.externalSidechain != 0) {
        const double* scL = inputs[2] + start;
        const double* scR = inputs[3] + start;
        for (int i = 0; i < n; ++i)
            Store(heard_[kStageExt], i, _mm_mul_pd(gE, UsableOrZero(_mm_set_pd(scR[i], scL[i]))));
    } else if (extSettings.inputGain != 1.0) {
        for (int i = 0; i < n; ++i)
            Store(heard_[kStageExt], i, _mm_mul_pd(gE, Pair(afterInt, i)));
    } else {
        heardExt = afterInt;
    }
    const double* afterExt = afterInt;
    RunStage(stages_[kStageExt], {&extSettings, extMode, firstOfBlock}, heardExt, afterInt, afterExt_,
             squares_[kStageExt], n);
    if (extMode)
        afterExt = afterExt_;

    // Saturation (in place in a buffer of our own), then the output filter
    // with what is left of the stages.
    double* saturated = afterExt_;
    saturator_.Process(static_cast<int>(settings.oversamplingFactor), afterExt, saturated, n);
    double* out[2] = {outputs[0] + start, outputs[1] + start};
    if (intMode && extMode)
        FinishChunk<true, true>(saturated, heardInt, heardExt, out, n, meterCoefficient);
    else if (intMode)
        FinishChunk<true, false>(saturated, heardInt, heardExt, out, n, meterCoefficient);
    else if (extMode)
        FinishChunk<false, true>(saturated, heardInt, heardExt, out, n, meterCoefficient);
    else
        FinishChunk<false, false>(saturated, heardInt, heardExt, out, n, meterCoefficient);
}

// The output filter, the meters of both stages and the high-pass filters of
// a stage that is off (their state is heard when it is switched on) are
// recursions independent of one another: in one loop the processor runs
// them side by side. A meter follows the squared gain of its stage, or falls
// toward 0 while the stage is off.
template <bool IntOn, bool ExtOn>
void KorvelChain::FinishChunk(const double* saturated, const double* heardInt, const double* heardExt,
                              double* const* out, int n, double meterCoefficient)
{
    // Local copies keep the states in registers: the compiler cannot tell
    // the stores to the outputs from them otherwise.
    StereoBiquad output = output_;
    StereoBiquad highPassInt = stages_[kStageInt].highPass;
    StereoBiquad highPassExt = stages_[kStageExt].highPass;
    double meterInt = stages_[kStageInt].meter;
    double meterExt = stages_[kStageExt].meter;
    const double* squaresInt = squares_[kStageInt];
    const double* squaresExt = squares_[kStageExt];
    double* outL = out[0];
    double* outR = out[1];
    for (int i = 0; i < n; ++i) {
        const __m128d y = _mm_sub_pd(output.Tick(Pair(saturated, i)), Pair(offsets_, i));
        outL[i] = Left(y);
        outR[i] = Right(y);
        if constexpr (!IntOn)
            highPassInt.Tick(Pair(heardInt, i));
        if constexpr (!ExtOn)
            highPassExt.Tick(Pair(heardExt, i));
        FollowMeter(meterInt, IntOn ? squaresInt[i] : 0.0, meterCoefficient);
        FollowMeter(meterExt, ExtOn ? squaresExt[i] : 0.0, meterCoefficient);
    }
    output_ = output;
    if constexpr (!IntOn)
        stages_[kStageInt].highPass = highPassInt;
    if constexpr (!ExtOn)
        stages_[kStageExt].highPass = highPassExt;
    stages_[kStageInt].meter = meterInt;
    stages_[kStageExt].meter = meterExt;
}

void KorvelChain::RunStage(Stage& stage, const StageRun& run, const double* heard, const double* dry, double* out,
                           double* squares, int n)
{
    switch (run.mode ? run.mode->code : 0) {
    case 1: RunStageWithMode<1>(stage, run, heard, dry, out, squares, n); break;
    case 5: RunStageWithMode<5>(stage, run, heard, dry, out, squares, n); break;
    case 6: RunStageWithMode<6>(stage, run, heard, dry, out, squares, n); break;
    case 10: RunStageWithMode<10>(stage, run, heard, dry, out, squares, n); break;
    case 11: RunStageWithMode<11>(stage, run, heard, dry, out, squares, n); break;
    case 15: RunStageWithMode<15>(stage, run, heard, dry, out, squares, n); break;
    case 16: RunStageWithMode<16>(stage, run, heard, dry, out, squares, n); break;
    default:
        // Off: only the settings reach the gain computer; the high-pass
        // filters and the meter run in FinishChunk.
        if (run.firstFrameOfBlock)
            ApplySettings(stage.comp, *run.settings, stage.kneeFactor);
        break;
    }
}

// A stage that is on shapes, band-filters and drives each channel, follows
// the level, computes the gain and applies it with make-up and mix; out
// receives the frames, squares the meter's targets.
template <int Code>
void KorvelChain::RunStageWithMode(Stage& stage, const StageRun& run, const double* heard, const double* dry,
                                   double* out, double* squares, int n)
{
    const StageSettings& s = *run.settings;
    const CharacterMode& mode = *run.mode;
    const __m128d drive = _mm_set1_pd(mode.drive);
    const __m128d makeUp = _mm_set1_pd(s.makeUp);
    const __m128d mix = _mm_set1_pd(s.mix);
    const __m128d dryShare = _mm_set1_pd(1.0 - s.mix);
    // Multiplying by exactly 1 and adding the dry share of a mix of 100 %
    // (a zero) change nothing.
    const bool scaled = s.makeUp != 1.0;
    const bool blended = s.mix != 1.0;

    // The recursions (the two filters and the follower) run frame by frame,
    // the shaping between the filters in a loop whose frames overlap in the
    // processor. The gains (a logarithm each) and their factors (an
    // exponential each) do not depend on one another and run as separate,
    // wide passes.
    alignas(16) double shaped[2 * kChunk];
    StereoBiquad highPass = stage.highPass;  // in registers, apart from the stores
    for (int i = 0; i < n; ++i)
        Store(shaped, i, highPass.Tick(Pair(heard, i)));
    stage.highPass = highPass;
    for (int i = wide_lanes::Shapes(Code, shaped, n); i < n; ++i)
        Store(shaped, i, Shape<Code>(Pair(shaped, i)));

    auto detect = [&drive](StereoBiquad& band, __m128d x) {
        __m128d d = band.Tick(x);
        if constexpr (Code != 1 && Code != 10)  // the modes whose drive is 1
            d = _mm_mul_pd(d, drive);
        return d;
    };
    alignas(16) double envelopes[kChunk];
    alignas(16) double gains[kChunk];
    int first = 0;
    if (run.firstFrameOfBlock && n > 0) {
        // The block's first gain still sees the settings of before; they
        // reach the gain computer (and the follower's times) after it.
        const __m128d d = detect(stage.band, Pair(shaped, 0));
        envelopes[0] = stage.comp.FollowStereo(Left(d), Right(d));
        stage.comp.GainsFromEnvelopes(envelopes, gains, 1);
        first = 1;
        stage.kneeFactor = KneeFactorForRatio(mode, s.ratio);
        ApplySettings(stage.comp, s, stage.kneeFactor);
    }
    StereoBiquad band = stage.band;
    compressor comp = stage.comp;
    for (int i = first; i < n; ++i) {
        const __m128d d = detect(band, Pair(shaped, i));
        envelopes[i] = comp.FollowStereo(Left(d), Right(d));
    }
    stage.band = band;
    stage.comp = comp;
    stage.comp.GainsFromEnvelopes(envelopes + first, gains + first, n - first);

    // The gain factors and the meter's squared gains (exactly 1 without
    // reduction), then the gains applied.
    alignas(16) double factors[kChunk];
    for (int i = wide_lanes::GainFactors(gains, factors, squares, n); i < n; ++i) {
        const double gain = gains[i];
        if (gain != 0.0) {
            alignas(16) double lanes[2];
            _mm_store_pd(lanes, PortableExp(_mm_set_pd(2.0 * gain * compressor::kNeperPerDb,
                                                       gain * compressor::kNeperPerDb)));
            factors[i] = lanes[0];
            squares[i] = lanes[1];
        } else {
            factors[i] = 1.0;
            squares[i] = 1.0;
        }
    }
    for (int i = 0; i < n; ++i) {
        const __m128d d = Pair(dry, i);
        __m128d y = _mm_mul_pd(_mm_set1_pd(factors[i]), d);
        if (scaled)
            y = _mm_mul_pd(y, makeUp);
        if (blended)
            y = _mm_add_pd(_mm_mul_pd(y, mix), _mm_mul_pd(d, dryShare));
        Store(out, i, y);
    }
}
