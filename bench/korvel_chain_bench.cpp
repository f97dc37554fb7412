// The processing chain (KorvelChain, as the plug-in runs it, without the
// host binding) at 48 kHz, stereo, in blocks of 512 frames: nanoseconds per
// frame (ns_per_frame, shown with an SI prefix, so "150n" is 150 ns) and the
// real-time factor (seconds of audio processed per second of CPU time). The
// plainly written chain of the tests is measured beside it for the heaviest
// setting, and the chain without its wide passes for two.

#include "KorvelReferenceChain.h"
#include "TestSignals.h"
#include "dsp/WideLanes.h"

#include <benchmark/benchmark.h>

#include <utility>
#include <vector>

namespace {

constexpr double kRate = 48000.0;
constexpr int kBlock = 512;
constexpr int kBlocks = 94;  // about a second of audio, then it repeats

using Settings = std::vector<std::pair<int, double>>;

const Signal& BenchSignal()
{
  static Signal signal = [] {
    Signal s(kBlock * kBlocks);
    AddNoise(s.channels[0], 31, 0.3);
    AddTone(s.channels[0], kTone60Hz, 1.0);
    AddNoise(s.channels[1], 32, 0.3);
    AddTone(s.channels[1], kTone1kHz, 0.5);
    Gate(s.channels[0], 4800, 1.0, 0.1);
    Gate(s.channels[1], 4800, 1.0, 0.1);
    AddNoise(s.channels[2], 33, 0.8);
    AddNoise(s.channels[3], 34, 0.8);
    Gate(s.channels[2], 7200, 1.0, 0.05);
    Gate(s.channels[3], 7200, 1.0, 0.05);
    return s;
  }();
  return signal;
}

void ReportPerFrame(benchmark::State& state)
{
  const double frames = static_cast<double>(state.iterations()) * kBlock;
  state.counters["ns_per_frame"] =
    benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["realtime_x"] = benchmark::Counter(frames / kRate, benchmark::Counter::kIsRate);
}

template <class Process>
void RunBlocks(benchmark::State& state, Process&& process)
{
  Signal signal = BenchSignal();
  std::vector<double> left(kBlock), right(kBlock);
  int block = 0;
  for (auto _ : state)
  {
    double* inputs[4];
    for (int ch = 0; ch < 4; ++ch)
      inputs[ch] = signal.channels[ch].data() + block * kBlock;
    double* outputs[2] = {left.data(), right.data()};
    process(inputs, outputs);
    benchmark::DoNotOptimize(left.data());
    benchmark::DoNotOptimize(right.data());
    benchmark::ClobberMemory();
    block = (block + 1) % kBlocks;
  }
  ReportPerFrame(state);
}

void BM_Chain(benchmark::State& state, Settings settings)
{
  // The step-by-step chain cooks the parameter values as the plug-in does.
  ReferenceChain cooking(kRate);
  for (const auto& [param, value] : settings)
    cooking.Set(param, value);
  const KorvelChain::Settings cooked = cooking.Cooked();
  KorvelChain chain;
  chain.Reset(kRate);
  RunBlocks(state, [&](double** in, double** out) { chain.Process(cooked, kRate, in, out, kBlock); });
}

// The same with the wide passes switched off: what processors without AVX2 run.
void BM_ChainNarrow(benchmark::State& state, Settings settings)
{
  wide_lanes::SetEnabled(false);
  BM_Chain(state, std::move(settings));
  wide_lanes::SetEnabled(true);
}

void BM_PlainChain(benchmark::State& state, Settings settings)
{
  ReferenceChain chain(kRate);
  chain.Reset();
  for (const auto& [param, value] : settings)
    chain.Set(param, value);
  RunBlocks(state, [&](double** in, double** out) { chain.Process(in, out, kBlock); });
}

const Settings kBothStagesAllCharacters = {
  {kVcaInt, 1},       {kFetInt, 1},       {kOptoInt, 1},          {kVcaExt, 1},
  {kFetExt, 1},       {kOptoExt, 1},      {kExternalSidechain, 1}, {kThresholdInt, -15},
  {kThresholdExt, -10}};

Settings WithOversampling(Settings s)
{
  s.push_back({kOversampling, 1});
  return s;
}

} // namespace

BENCHMARK_CAPTURE(BM_Chain, defaults, Settings{});
BENCHMARK_CAPTURE(BM_Chain, int_vca, Settings{{kVcaInt, 1}, {kThresholdInt, -15}});
BENCHMARK_CAPTURE(BM_Chain, int_fet, Settings{{kFetInt, 1}, {kThresholdInt, -15}});
BENCHMARK_CAPTURE(BM_Chain, int_opto, Settings{{kOptoInt, 1}, {kThresholdInt, -15}});
BENCHMARK_CAPTURE(BM_Chain, both_mode16_sidechain, kBothStagesAllCharacters);
BENCHMARK_CAPTURE(BM_Chain, both_mode16_sidechain_oversampled, WithOversampling(kBothStagesAllCharacters));
BENCHMARK_CAPTURE(BM_ChainNarrow, int_vca, Settings{{kVcaInt, 1}, {kThresholdInt, -15}});
BENCHMARK_CAPTURE(BM_ChainNarrow, both_mode16_sidechain_oversampled, WithOversampling(kBothStagesAllCharacters));
BENCHMARK_CAPTURE(BM_PlainChain, both_mode16_sidechain_oversampled, WithOversampling(kBothStagesAllCharacters));
