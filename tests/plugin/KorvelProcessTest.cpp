// What the block processing does to the audio, the meters and the latency.

#include "KorvelTestSupport.h"
#include "ReferenceForms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double kRate = 48000.0;
constexpr int kHalfSecond = 24000;

// The output saturator (at the host rate or oversampled) and the output
// filter run by hand, with the plug-in's alternating anti-denormal offset.
// beforeFilter, when given, receives the left channel between the two.
StereoOut SaturateAndFilterByHand(const Signal& s, int factor, std::vector<double>* beforeFilter = nullptr)
{
  BiquadFilter filterL, filterR;
  filterL.Configure(BiquadFilter::kBandPass, 5000.0 / kRate, 0.0005, 0.0);
  filterR.Configure(BiquadFilter::kBandPass, 5000.0 / kRate, 0.0005, 0.0);
  HalfbandFir upL, downL, upR, downR;
  StereoOut out{std::vector<double>(s.Frames()), std::vector<double>(s.Frames())};
  double o = 1e-15;
  for (int n = 0; n < s.Frames(); ++n)
  {
    o = -o;
    const double saturatedL = PlainSaturateOversampled(s.channels[0][n] + o, factor, upL, downL);
    if (beforeFilter)
      beforeFilter->push_back(saturatedL);
    out.left[n] = filterL.Tick(saturatedL) - o;
    out.right[n] = filterR.Tick(PlainSaturateOversampled(s.channels[1][n] + o, factor, upR, downR)) - o;
  }
  return out;
}

int PeakIndex(const std::vector<double>& x)
{
  int peak = 0;
  for (int n = 1; n < static_cast<int>(x.size()); ++n)
    if (std::fabs(x[n]) > std::fabs(x[peak]))
      peak = n;
  return peak;
}

TEST(KorvelProcessing, DefaultsOnlySaturateAndFilter)
{
  auto plugin = MakeKorvel();
  FakeEditorGraphics* editor = OpenFakeEditor(*plugin);
  Signal s = DrivingSignal(kHalfSecond);
  const StereoOut out = Render(*plugin, s, 173);
  const StereoOut expected = SaturateAndFilterByHand(s, 0);
  EXPECT_EQ(FirstDifference(out.left, expected.left), -1);
  EXPECT_EQ(FirstDifference(out.right, expected.right), -1);
  // Stages that are off read 0: the meters have fallen from 1 toward it.
  EXPECT_LT(editor->meterReadings[0], 1e-3);
  EXPECT_LT(editor->meterReadings[1], 1e-3);
  EXPECT_EQ(plugin->GetLatency(), 0);
}

TEST(KorvelProcessing, OversampledSaturationMatchesTheBlocksByHand)
{
  auto plugin = MakeKorvel();
  SetParam(*plugin, kOversampling, 1.0);
  Signal s = DrivingSignal(6000);
  const StereoOut out = Render(*plugin, s, 256);
  const StereoOut expected = SaturateAndFilterByHand(s, 2);
  EXPECT_EQ(FirstDifference(out.left, expected.left), -1);
  EXPECT_EQ(FirstDifference(out.right, expected.right), -1);

  // A small constant settles within 128 frames to about 0.9898 times itself
  // before the output filter (which then removes it as DC).
  Signal constant(1000);
  std::fill(constant.channels[0].begin(), constant.channels[0].end(), 0.01);
  auto fresh = MakeKorvel();
  SetParam(*fresh, kOversampling, 1.0);
  const StereoOut constantOut = Render(*fresh, constant, 256);
  std::vector<double> beforeFilter;
  const StereoOut constantExpected = SaturateAndFilterByHand(constant, 2, &beforeFilter);
  EXPECT_EQ(FirstDifference(constantOut.left, constantExpected.left), -1);
  for (int n = 128; n < constant.Frames(); ++n)
    ASSERT_NEAR(beforeFilter[n] / 0.01, 0.9898, 1e-4) << n;
}

TEST(KorvelProcessing, OversamplingDelaysByLatencyItReports)
{
  for (const bool oversampled : {false, true})
  {
    auto plugin = MakeKorvel();
    SetParam(*plugin, kOversampling, oversampled ? 1.0 : 0.0);
    Signal s(512);
    s.channels[0][100] = 0.5;
    s.channels[1][200] = -0.5;
    EXPECT_EQ(plugin->GetLatency(), 0);
    const StereoOut out = Render(*plugin, s, 512);
    const int latency = oversampled ? 64 : 0;
    EXPECT_EQ(plugin->GetLatency(), latency);
    EXPECT_EQ(PeakIndex(out.left), 100 + latency);
    EXPECT_EQ(PeakIndex(out.right), 200 + latency);
  }
}

TEST(KorvelProcessing, LatencyFollowsTheOversamplingSwitchAtTheEndOfABlock)
{
  auto plugin = MakeKorvel();
  Signal s(64);
  SetParam(*plugin, kOversampling, 1.0);
  EXPECT_EQ(plugin->GetLatency(), 0) << "reaches the host with the next block";
  Render(*plugin, s, 64);
  EXPECT_EQ(plugin->GetLatency(), 64);
  SetParam(*plugin, kOversampling, 0.0);
  Render(*plugin, s, 64);
  EXPECT_EQ(plugin->GetLatency(), 0);
}

TEST(KorvelProcessing, PowerOffCopiesTheInputAndReportsNoLatency)
{
  auto plugin = MakeKorvel();
  FakeEditorGraphics* editor = OpenFakeEditor(*plugin);
  SetParam(*plugin, kOversampling, 1.0);
  SetParam(*plugin, kVcaInt, 1.0);
  SetParam(*plugin, kThresholdInt, -20.0);
  Signal s = DrivingSignal(2048);
  Render(*plugin, s, 512);
  ASSERT_EQ(plugin->GetLatency(), 64);

  SetParam(*plugin, kPower, 0.0);
  const StereoOut out = Render(*plugin, s, 512);
  EXPECT_EQ(FirstDifference(out.left, s.channels[0]), -1);
  EXPECT_EQ(FirstDifference(out.right, s.channels[1]), -1);
  EXPECT_EQ(plugin->GetLatency(), 0);
  EXPECT_EQ(editor->meterReadings[0], 0.0);
  EXPECT_EQ(editor->meterReadings[1], 0.0);

  // Only the connected outputs are written.
  plugin->Channel(plug::kOutput, 1).connected = false;
  std::vector<double> left(512, 7.0), right(512, 7.0);
  double* inputs[4] = {s.channels[0].data(), s.channels[1].data(), s.channels[2].data(), s.channels[3].data()};
  double* outputs[2] = {left.data(), right.data()};
  plugin->ProcessAudio(inputs, outputs, 512);
  EXPECT_EQ(left[511], s.channels[0][511]);
  EXPECT_EQ(right[511], 7.0);
}

// A compressing setting for one stage, fast enough to act within a few milliseconds.
void CompressHard(KORVEL& plugin, int stage)
{
  SetParam(plugin, stage == 0 ? kVcaInt : kVcaExt, 1.0);
  SetParam(plugin, stage == 0 ? kFetInt : kFetExt, 1.0);
  SetParam(plugin, kThresholdInt + stage, -20.0);
  SetParam(plugin, kRatioInt + stage, 20.0);
  SetParam(plugin, kAttackInt + stage, 0.1);
  SetParam(plugin, kReleaseInt + stage, 0.05);
}

TEST(KorvelProcessing, MixZeroPassesTheStageInputWhileTheMeterMoves)
{
  for (int stage : {0, 1})
  {
    SCOPED_TRACE(stage);
    auto plugin = MakeKorvel();
    FakeEditorGraphics* editor = OpenFakeEditor(*plugin);
    CompressHard(*plugin, stage);
    SetParam(*plugin, kMixInt + stage, 0.0);
    SetParam(*plugin, kMakeUpInt + stage, 15.0);  // acts on the compressed part only
    Signal s = DrivingSignal(kHalfSecond);
    const StereoOut out = Render(*plugin, s, 512);

    auto reference = MakeKorvel();
    const StereoOut plain = Render(*reference, s, 512);
    EXPECT_EQ(FirstDifference(out.left, plain.left), -1);
    EXPECT_EQ(FirstDifference(out.right, plain.right), -1);
    EXPECT_LT(editor->meterReadings[stage], 0.5);
  }
}

TEST(KorvelProcessing, ExternalSidechainDecidesTheIntExtGain)
{
  constexpr int kSegment = 4800;
  Signal s(4 * kSegment);
  AddNoise(s.channels[0], 3, 0.1);
  AddNoise(s.channels[1], 4, 0.1);
  AddTone(s.channels[2], kTone1kHz, 1.0);
  AddTone(s.channels[3], kTone1kHz, 1.0);
  Gate(s.channels[2], kSegment, 0.0, 1.0);  // silent, loud, silent, loud
  Gate(s.channels[3], kSegment, 0.0, 1.0);

  auto plugin = MakeKorvel();
  FakeEditorGraphics* editor = OpenFakeEditor(*plugin);
  CompressHard(*plugin, 1);
  SetParam(*plugin, kExternalSidechain, 1.0);
  const StereoOut out = Render(*plugin, s, 480);
  auto uncompressed = MakeKorvel();
  const StereoOut plain = Render(*uncompressed, s, 480);

  // Silent sidechain: no reduction at all, although the main input is far above the threshold.
  for (int n = 0; n < kSegment; ++n)
    ASSERT_EQ(out.left[n], plain.left[n]) << n;
  // Loud sidechain: at least 10 dB less.
  for (int segment : {1, 3})
  {
    const int from = segment * kSegment + 480;
    const int to = (segment + 1) * kSegment;
    EXPECT_LT(Rms(out.left, from, to), 0.316 * Rms(plain.left, from, to)) << segment;
    EXPECT_LT(Rms(out.right, from, to), 0.316 * Rms(plain.right, from, to)) << segment;
  }
  EXPECT_LT(editor->meterReadings[1], 0.1);
  EXPECT_LT(editor->meterReadings[0], 0.01) << "the Int stage is off";
}

TEST(KorvelProcessing, MetersReadOneBelowThresholdAndFallWithReduction)
{
  auto plugin = MakeKorvel();
  FakeEditorGraphics* editor = OpenFakeEditor(*plugin);
  SetParam(*plugin, kVcaInt, 1.0);
  Signal quiet(kHalfSecond);
  AddNoise(quiet.channels[0], 5, 0.01);
  AddNoise(quiet.channels[1], 6, 0.01);
  Render(*plugin, quiet, 512);
  EXPECT_NEAR(editor->meterReadings[0], 1.0, 0.02);
  EXPECT_LT(editor->meterReadings[1], 1e-3);

  SetParam(*plugin, kThresholdInt, -20.0);
  Signal loud = DrivingSignal(kHalfSecond);
  Render(*plugin, loud, 512);
  EXPECT_LT(editor->meterReadings[0], 0.5);
  EXPECT_GT(editor->meterReadings[0], 0.0);
}

TEST(KorvelProcessing, InputGainActsOnTheDetectorOnly)
{
  Signal s = DrivingSignal(12000);
  auto plain = MakeKorvel();
  const StereoOut reference = Render(*plain, s, 512);

  // Ratio 1: the stage is on but never reduces; +15 dB into the detector
  // leaves the audio level alone.
  auto unity = MakeKorvel();
  SetParam(*unity, kVcaInt, 1.0);
  SetParam(*unity, kRatioInt, 1.0);
  SetParam(*unity, kInputInt, 15.0);
  const StereoOut out = Render(*unity, s, 512);
  for (int n = 0; n < s.Frames(); ++n)
  {
    ASSERT_NEAR(out.left[n], reference.left[n], 1e-12) << n;
    ASSERT_NEAR(out.right[n], reference.right[n], 1e-12) << n;
  }

  // Ratio 4, a signal that the detector's curves still take in linearly: the
  // louder detector signal means more reduction (about 11 dB more).
  Signal moderate(12000);
  AddNoise(moderate.channels[0], 14, 0.05);
  AddNoise(moderate.channels[1], 15, 0.05);
  auto quietDetector = MakeKorvel();
  auto loudDetector = MakeKorvel();
  for (KORVEL* p : {quietDetector.get(), loudDetector.get()})
  {
    SetParam(*p, kVcaInt, 1.0);
    SetParam(*p, kThresholdInt, -20.0);
  }
  SetParam(*loudDetector, kInputInt, 15.0);
  const StereoOut less = Render(*quietDetector, moderate, 512);
  const StereoOut more = Render(*loudDetector, moderate, 512);
  EXPECT_LT(Rms(more.left, 2400, 12000), 0.5 * Rms(less.left, 2400, 12000));
}

TEST(KorvelProcessing, AudioRecoversRightAfterNonFiniteOrOverflowingInput)
{
  auto setUp = [] {
    auto plugin = MakeKorvel();
    SetParam(*plugin, kVcaInt, 1.0);
    SetParam(*plugin, kOptoInt, 1.0);
    SetParam(*plugin, kThresholdInt, -15.0);
    for (int idx : {kVcaExt, kFetExt, kOptoExt, kExternalSidechain, kOversampling})
      SetParam(*plugin, idx, 1.0);
    SetParam(*plugin, kThresholdExt, -10.0);
    SetParam(*plugin, kInputInt, 15.0);
    return plugin;
  };
  Signal clean = DrivingSignal(9600);
  AddNoise(clean.channels[2], 7, 0.8);
  AddNoise(clean.channels[3], 8, 0.8);
  for (int n = 3000; n < 3100; ++n)
    for (auto& ch : clean.channels)
      ch[n] = 0.0;
  Signal burst = clean;
  // Besides NaN and infinities, values that the detector's 32-bit filters
  // cannot hold after the input gain.
  const double bad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity(), 1e39, -std::numeric_limits<double>::max()};
  for (int n = 3000; n < 3100; ++n)
    for (int ch = 0; ch < 4; ++ch)
      burst.channels[ch][n] = bad[(n + ch) % 5];

  auto withBurst = setUp();
  auto withSilence = setUp();
  const StereoOut out = Render(*withBurst, burst, 512);
  const StereoOut expected = Render(*withSilence, clean, 512);
  // The burst counts as silence: nothing of it stays in any filter or follower.
  EXPECT_EQ(FirstDifference(out.left, expected.left), -1);
  EXPECT_EQ(FirstDifference(out.right, expected.right), -1);
  for (int n = 0; n < burst.Frames(); ++n)
    ASSERT_TRUE(std::isfinite(out.left[n]) && std::isfinite(out.right[n])) << n;
}

} // namespace
