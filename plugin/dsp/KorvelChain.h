#pragma once

#include "CharacterModes.h"
#include "OversampledSaturator.h"
#include "StereoBiquad.h"
#include "compressor.h"

#include <emmintrin.h>

// KORVEL's processing of a powered block: the Int stage, the Int/Ext stage,
// the output saturator (2x oversampled or not) and the DC-blocking output
// filter, with the two stages' gain-reduction meters. It is fed the cooked
// parameter values once per block and knows nothing of the host.
//
// It gives bit for bit what running the blocks frame by frame gives (the
// step-by-step chain of the tests), only faster: the channels run side by
// side in SSE2 lanes, each step runs over a stretch of frames before the
// next one, the steps whose frames do not depend on one another run two
// frames at once where the processor has AVX2 (WideLanes), independent
// recursions share loops, and work whose result is known is skipped.
class KorvelChain {
public:
    enum { kStageInt = 0, kStageExt = 1 };

    // One stage's parameter values in the form the processing uses them.
    struct StageSettings {
        double threshold = 0.0;  // dB inside the stage, -50..0
        double ratio = 4.0;
        double attackMs = 100.0;
        double releaseMs = 200.0;
        double makeUp = 1.0;     // linear
        double inputGain = 1.0;  // linear, acts on the detector only
        double mix = 1.0;        // 0..1
        double highPassHz = 20.0;
        int vca = 0;   // 0 or 1
        int fet = 0;   // 0 or 5
        int opto = 0;  // 0 or 10

        int ModeCode() const { return vca + fet + opto; }
    };

    struct Settings {
        StageSettings stages[2];
        int power = 1;
        int externalSidechain = 0;
        double oversamplingFactor = 0.0;  // 0 or 2
        int oversamplingLatency = 0;      // 0 or 64
    };

    static constexpr double kOutputFilterHz = 5000.0;
    static constexpr double kOutputFilterQ = 0.0005;
    static constexpr double kDetectorBandHz = 1500.0;
    static constexpr double kDetectorBandQ = 0.05;
    static constexpr double kHighPassQ = 0.707;

    KorvelChain();

    // Clears every filter and sets the stages' followers and gain computers
    // back to their initial state at the sample rate. The anti-denormal
    // offset and the meters keep their state.
    void Reset(double sampleRate);

    // The filters' coefficients for the block (states are kept), corners
    // below 49 % of the sample rate. Process calls it.
    void Configure(const Settings& settings, double sampleRate);

    // inputs: main left, right, sidechain left, right (the sidechain is read
    // only while External Sidechain is on); outputs: left, right. Samples
    // that are not finite or beyond +-1e30 are heard as silence.
    void Process(const Settings& settings, double sampleRate, const double* const* inputs,
                 double* const* outputs, int frames);

    // Smoothed squared linear gain of a stage: 1 without reduction.
    double MeterReading(int stage) const { return stages_[stage].meter; }

private:
    static constexpr int kChunk = 64;

    struct Stage {
        compressor comp;
        StereoBiquad highPass;
        StereoBiquad band;
        double kneeFactor = 0.0;
        double meter = 1.0;
    };

    // What a stage needs for a stretch of frames, fixed for the block.
    struct StageRun {
        const StageSettings* settings;
        const CharacterMode* mode;  // nullptr: the stage is off
        bool firstFrameOfBlock;
    };

    void ProcessChunk(const Settings& settings, const double* const* inputs, double* const* outputs, int start,
                      int frames, double meterCoefficient, bool firstOfBlock);
    void RunStage(Stage& stage, const StageRun& run, const double* heard, const double* dry, double* out,
                  double* squares, int frames);
    template <int Code>
    void RunStageWithMode(Stage& stage, const StageRun& run, const double* heard, const double* dry, double* out,
                          double* squares, int frames);
    template <bool IntOn, bool ExtOn>
    void FinishChunk(const double* saturated, const double* heardInt, const double* heardExt, double* const* out,
                     int frames, double meterCoefficient);

    Stage stages_[2];
    StereoBiquad output_;
    OversampledSaturator saturator_;
    double offset_ = 1e-15;  // anti-denormal, sign flips every frame

    // Per-chunk working buffers: (left, right) pairs.
    alignas(16) double offsets_[2 * kChunk];
    alignas(16) double dry_[2 * kChunk];
    alignas(16) double heard_[2][2 * kChunk];  // per stage
    alignas(16) double squares_[2][kChunk];    // per stage: the meter's targets
    alignas(16) double stageDry_[2 * kChunk];
    alignas(16) double afterInt_[2 * kChunk];
    alignas(16) double afterExt_[2 * kChunk];
};
