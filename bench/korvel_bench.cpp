// Nanoseconds per call of the blocks that the processing runs every sample.
// Inputs come from a fixed pseudo-random buffer so that branches see realistic
// data; results go through DoNotOptimize so that no call is folded away.

#include "dsp/dsp.h"

#include "ReferenceForms.h"

#include <benchmark/benchmark.h>

#include <array>
#include <random>

namespace {

constexpr int kInputs = 4096;

const std::array<double, kInputs>& Inputs()
{
    alignas(16) static const std::array<double, kInputs> inputs = [] {
        std::array<double, kInputs> a{};
        std::mt19937 random(42);
        std::uniform_real_distribution<double> noise(-1.5, 1.5);
        for (double& x : a)
            x = noise(random);
        return a;
    }();
    return inputs;
}

void BM_BiquadTick(benchmark::State& state)
{
    const auto& in = Inputs();
    BiquadFilter filter;
    filter.Configure(BiquadFilter::kBandPass, 1500.0 / 48000.0, 0.05, 0.0);
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(filter.Tick(in[i]));
        i = (i + 1) & (kInputs - 1);
    }
}
BENCHMARK(BM_BiquadTick);

template <class Fir>
void BM_HalfbandTick(benchmark::State& state)
{
    const auto& in = Inputs();
    Fir fir;
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(fir.Tick(in[i]));
        i = (i + 1) & (kInputs - 1);
    }
}
BENCHMARK_TEMPLATE(BM_HalfbandTick, HalfbandFir);
BENCHMARK_TEMPLATE(BM_HalfbandTick, PlainHalfbandFir);

template <double (*Curve)(double)>
void BM_Curve(benchmark::State& state)
{
    const auto& in = Inputs();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Curve(in[i]));
        i = (i + 1) & (kInputs - 1);
    }
}
BENCHMARK_TEMPLATE(BM_Curve, ShapeVca);
BENCHMARK_TEMPLATE(BM_Curve, ShapeFet);
BENCHMARK_TEMPLATE(BM_Curve, ShapeOpto);
BENCHMARK_TEMPLATE(BM_Curve, OutputSaturator);

// Both channels of the saturation, per frame: factor 0 at the host rate,
// factor 2 oversampled (polyphase), against the plain per-channel form.
void BM_OversampledSaturator(benchmark::State& state)
{
    const auto& in = Inputs();
    OversampledSaturator saturator;
    const int factor = static_cast<int>(state.range(0));
    alignas(16) double out[kInputs];
    for (auto _ : state) {
        saturator.Process(factor, in.data(), out, kInputs / 2);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (kInputs / 2));
}
BENCHMARK(BM_OversampledSaturator)->Arg(0)->Arg(2);

template <class Fir>
void BM_PlainSaturateOversampled(benchmark::State& state)
{
    const auto& in = Inputs();
    Fir upL, downL, upR, downR;
    alignas(16) double out[kInputs];
    for (auto _ : state) {
        for (int i = 0; i < kInputs; i += 2) {
            out[i] = PlainSaturateOversampled(in[i], 2, upL, downL);
            out[i + 1] = PlainSaturateOversampled(in[i + 1], 2, upR, downR);
        }
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (kInputs / 2));
}
BENCHMARK_TEMPLATE(BM_PlainSaturateOversampled, HalfbandFir);
BENCHMARK_TEMPLATE(BM_PlainSaturateOversampled, PlainHalfbandFir);

void BM_ComputeGainStereo(benchmark::State& state)
{
    const auto& in = Inputs();
    compressor c;
    c.Setup(0, 10.0, 200.0, 0.0, 48000.0);
    c.SetThreshold(-30.0);
    c.SetKnee(0.5);
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.ComputeGainStereo(in[i], in[i + 1]));
        i = (i + 2) & (kInputs - 1);
    }
}
BENCHMARK(BM_ComputeGainStereo);

// One sample of a stage as the processing runs it: the gain, then the seven
// setters. Arg 0: the knobs stand still (the usual case); arg 1: attack and
// release change every sample, so their coefficients are computed each time.
void BM_ComputeGainStereoAndSetters(benchmark::State& state)
{
    const auto& in = Inputs();
    const bool timesMove = state.range(0) != 0;
    compressor c;
    c.Setup(0, 10.0, 200.0, 0.0, 48000.0);
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.ComputeGainStereo(in[i], in[i + 1]));
        const double wobble = timesMove && (i & 2) ? 0.001 : 0.0;
        c.SetAttack(10.0 + wobble);
        c.SetRelease(200.0 + wobble);
        c.SetHold(0.0);
        c.SetRatio(4.0);
        c.SetThreshold(-30.0);
        c.SetKnee(0.5);
        c.SetLimit(0);
        i = (i + 2) & (kInputs - 1);
    }
}
BENCHMARK(BM_ComputeGainStereoAndSetters)->Arg(0)->Arg(1);

} // namespace

BENCHMARK_MAIN();
