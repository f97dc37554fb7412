// The processing chain on its own, fed cooked values as the plug-in feeds
// it, against the chain written out step by step (KorvelReferenceChain.h):
// the scenarios shared with the plug-in's test, and a long run of random
// settings, block lengths, resets and sample rates. Same samples bit for bit,
// same meter readings.

#include "KorvelChainScenarios.h"
#include "KorvelReferenceChain.h"
#include "LaneWidths.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace chain_scenarios;

// Renders frames in blocks through both chains and compares them.
class ChainPair
{
public:
  explicit ChainPair(double sampleRate) : reference_(sampleRate), sampleRate_(sampleRate)
  {
    reference_.Reset();
    chain_.Reset(sampleRate);
  }

  void Set(int param, double value) { reference_.Set(param, value); }

  void SetSampleRate(double sampleRate)
  {
    sampleRate_ = sampleRate;
    reference_.SetSampleRate(sampleRate);
  }

  void Reset()
  {
    reference_.Reset();
    chain_.Reset(sampleRate_);
  }

  // Returns the first frame that differs, or -1.
  int RenderAndCompare(Signal& s, int from, int frames, int blockSize)
  {
    std::vector<double> expectedL(frames), expectedR(frames), outL(frames), outR(frames);
    for (int pos = 0; pos < frames; pos += blockSize)
    {
      const int n = std::min(blockSize, frames - pos);
      double* in[4];
      for (int ch = 0; ch < 4; ++ch)
        in[ch] = s.channels[ch].data() + from + pos;
      double* expected[2] = {expectedL.data() + pos, expectedR.data() + pos};
      reference_.Process(in, expected, n);
      const KorvelChain::Settings cooked = reference_.Cooked();
      if (cooked.power == 0)
      {
        std::copy(in[0], in[0] + n, outL.begin() + pos);
        std::copy(in[1], in[1] + n, outR.begin() + pos);
        continue;
      }
      double* out[2] = {outL.data() + pos, outR.data() + pos};
      chain_.Process(cooked, sampleRate_, in, out, n);
      if (chain_.MeterReading(0) != reference_.meterSent[0] || chain_.MeterReading(1) != reference_.meterSent[1])
        return pos + n - 1;
    }
    const int left = FirstDifference(outL, expectedL);
    const int right = FirstDifference(outR, expectedR);
    return left < 0 ? right : (right < 0 ? left : std::min(left, right));
  }

private:
  ReferenceChain reference_;
  KorvelChain chain_;
  double sampleRate_;
};

class KorvelChainBlock : public LaneWidthTest
{
};

TEST_P(KorvelChainBlock, MatchesTheChainWrittenOutStepByStepInEveryScenario)
{
  for (const Scenario& scenario : Scenarios())
  {
    SCOPED_TRACE(scenario.name);
    ChainPair chains(48000.0);
    for (size_t p = 0; p < scenario.phases.size(); ++p)
    {
      SCOPED_TRACE("phase " + std::to_string(p));
      const Phase& phase = scenario.phases[p];
      for (const auto& [param, value] : phase.settings)
        chains.Set(param, value);
      if (phase.sampleRate > 0.0)
        chains.SetSampleRate(phase.sampleRate);
      if (phase.resetFirst)
        chains.Reset();
      Signal s = ChainSignal(phase.frames);
      ASSERT_EQ(chains.RenderAndCompare(s, 0, phase.frames, phase.blockSize), -1);
    }
  }
}

// Every setting changes at random block starts, over a long signal whose
// level swings from silence to far beyond full scale: the skipped work (stages
// at 0 dB, mixes of 100 %, make-up of 0 dB, the logarithm below the
// threshold) must be skipped exactly when its result is known.
TEST_P(KorvelChainBlock, MatchesTheChainWrittenOutOverLongRandomRuns)
{
  std::mt19937 random(77);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  auto pick = [&](double low, double high) { return low + (high - low) * unit(random); };
  constexpr int kFrames = 240000;
  Signal s(kFrames);
  AddNoise(s.channels[0], 41, 0.5);
  AddTone(s.channels[0], kTone60Hz, 2.0);
  AddNoise(s.channels[1], 42, 0.4);
  AddTone(s.channels[1], kTone1kHz, 1.0);
  AddNoise(s.channels[2], 43, 1.0);
  AddTone(s.channels[3], kTone5kHz, 1.5);
  const double swings[] = {0.0, 1e-12, 0.001, 0.05, 0.3, 1.0, 4.0};
  for (int ch = 0; ch < 4; ++ch)
    for (int n = 0; n < kFrames; ++n)
      s.channels[ch][n] *= swings[(n / (3000 + 500 * ch)) % 7];

  ChainPair chains(48000.0);
  int pos = 0;
  while (pos < kFrames)
  {
    const int stage = random() % 2;
    switch (random() % 12)
    {
      case 0: chains.Set(kThresholdInt + stage, pick(-20.0, 10.0)); break;
      case 1: chains.Set(kRatioInt + stage, random() % 4 == 0 ? 1.0 : pick(1.0, 20.0)); break;
      case 2: chains.Set(kAttackInt + stage, pick(0.1, 50.0)); break;
      case 3: chains.Set(kReleaseInt + stage, pick(0.05, 2.0)); break;
      case 4: chains.Set(kMakeUpInt + stage, random() % 2 == 0 ? 0.0 : pick(-15.0, 15.0)); break;
      case 5: chains.Set(kInputInt + stage, random() % 2 == 0 ? 0.0 : pick(-15.0, 15.0)); break;
      case 6: chains.Set(kMixInt + stage, random() % 2 == 0 ? 100.0 : std::floor(pick(0.0, 100.0))); break;
      case 7: chains.Set(kHighPassInt + stage, pick(20.0, 750.0)); break;
      case 8: chains.Set(kVcaInt + 3 * stage + static_cast<int>(random() % 3), static_cast<double>(random() % 2)); break;
      case 9: chains.Set(random() % 2 == 0 ? kExternalSidechain : kOversampling, static_cast<double>(random() % 2)); break;
      case 10:
        if (random() % 8 == 0)
          chains.Set(kPower, static_cast<double>(random() % 2));
        else if (random() % 4 == 0)
        {
          // 8 kHz moves the output filter's corner below half the rate.
          chains.SetSampleRate(random() % 3 == 0 ? 8000.0 : (random() % 2 == 0 ? 44100.0 : 48000.0));
          chains.Reset();
        }
        break;
      default: break;
    }
    const int frames = std::min(kFrames - pos, 1 + static_cast<int>(random() % 700));
    const int blockSize = 1 + static_cast<int>(random() % frames);
    ASSERT_EQ(chains.RenderAndCompare(s, pos, frames, blockSize), -1) << "at frame " << pos;
    pos += frames;
  }
}

INSTANTIATE_LANE_WIDTHS(KorvelChainBlock);

} // namespace
