// The plug-in's processing (its parameter cooking, the chain and the power
// switch) against the chain written out step by step (KorvelReferenceChain.h)
// in the scenarios of KorvelChainScenarios.h: the same samples, bit for bit,
// the same latency and meter readings.

#include "KorvelChainScenarios.h"
#include "KorvelReferenceChain.h"
#include "KorvelTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using namespace chain_scenarios;

double Clamped(double v)
{
  return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v);
}

TEST(KorvelChain, MatchesTheChainWrittenOutStepByStep)
{
  for (const Scenario& scenario : Scenarios())
  {
    SCOPED_TRACE(scenario.name);
    auto plugin = MakeKorvel();
    FakeEditorGraphics* editor = OpenFakeEditor(*plugin);
    ReferenceChain reference(48000.0);
    reference.Reset();
    for (size_t p = 0; p < scenario.phases.size(); ++p)
    {
      SCOPED_TRACE("phase " + std::to_string(p));
      const Phase& phase = scenario.phases[p];
      for (const auto& [param, value] : phase.settings)
      {
        SetParam(*plugin, param, value);
        reference.Set(param, value);
      }
      if (phase.sampleRate > 0.0)
      {
        plugin->SetSampleRate(phase.sampleRate);
        reference.SetSampleRate(phase.sampleRate);
      }
      if (phase.resetFirst)
      {
        plugin->ResetProcessing();
        reference.Reset();
      }

      Signal s = ChainSignal(phase.frames);
      const StereoOut out = Render(*plugin, s, phase.blockSize);
      StereoOut expected{std::vector<double>(phase.frames), std::vector<double>(phase.frames)};
      for (int pos = 0; pos < phase.frames; pos += phase.blockSize)
      {
        const int n = std::min(phase.blockSize, phase.frames - pos);
        double* in[4];
        for (int ch = 0; ch < 4; ++ch)
          in[ch] = s.channels[ch].data() + pos;
        double* o[2] = {expected.left.data() + pos, expected.right.data() + pos};
        reference.Process(in, o, n);
      }
      ASSERT_EQ(FirstDifference(out.left, expected.left), -1);
      ASSERT_EQ(FirstDifference(out.right, expected.right), -1);
      EXPECT_EQ(plugin->GetLatency(), reference.latency);
      EXPECT_EQ(editor->meterReadings[0], Clamped(reference.meterSent[0]));
      EXPECT_EQ(editor->meterReadings[1], Clamped(reference.meterSent[1]));
    }
  }
}

} // namespace
