// Every build target must render the same input to the same output within
// 1e-6. The reference samples in data/ were rendered by the Linux build; the
// Windows build compares itself with them under Wine. Set
// KORVEL_WRITE_GOLDEN=1 to render the file anew (after an intended change).

#include "KorvelTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#ifndef KORVEL_GOLDEN_FILE
#error KORVEL_GOLDEN_FILE must name the reference samples
#endif

namespace {

constexpr int kFrames = 4096;
constexpr int kKeepEvery = 4;  // frames kept per channel: kFrames / kKeepEvery
constexpr double kTolerance = 1e-6;

struct GoldenSetting
{
  double sampleRate;
  std::vector<std::pair<int, double>> values;
};

const std::vector<GoldenSetting>& Settings()
{
  static const std::vector<GoldenSetting> settings = {
    {48000.0, {}},
    {48000.0, {{kVcaInt, 1}, {kThresholdInt, -15}, {kRatioInt, 6}, {kAttackInt, 1}}},
    {48000.0, {{kFetInt, 1}, {kOptoInt, 1}, {kVcaExt, 1}, {kMakeUpInt, 3}, {kMixExt, 70}, {kThresholdExt, -8}}},
    {48000.0, {{kVcaInt, 1}, {kFetInt, 1}, {kOptoInt, 1}, {kVcaExt, 1}, {kFetExt, 1}, {kOptoExt, 1},
               {kExternalSidechain, 1}, {kOversampling, 1}, {kThresholdInt, -20}, {kThresholdExt, -12}}},
    {48000.0, {{kOptoExt, 1}, {kExternalSidechain, 1}, {kInputExt, 9}, {kHighPassExt, 300}, {kReleaseExt, 0.5},
               {kThresholdExt, -15}}},
    {44100.0, {{kVcaInt, 1}, {kOptoInt, 1}, {kFetExt, 1}, {kVcaExt, 1}, {kOversampling, 1}, {kRatioExt, 12},
               {kThresholdInt, -10}, {kThresholdExt, -5}}},
  };
  return settings;
}

Signal GoldenInput()
{
  Signal s(kFrames);
  AddNoise(s.channels[0], 21, 0.4);
  AddTone(s.channels[0], kTone60Hz, 2.0);
  AddNoise(s.channels[1], 22, 0.3);
  AddTone(s.channels[1], kTone1kHz, 1.0);
  Gate(s.channels[0], 700, 1.0, 0.1);
  Gate(s.channels[1], 900, 1.0, 0.05);
  AddNoise(s.channels[2], 23, 1.0);
  AddTone(s.channels[3], kTone5kHz, 0.8);
  Gate(s.channels[2], 1100, 0.0, 1.0);
  Gate(s.channels[3], 1100, 0.0, 1.0);
  return s;
}

std::vector<double> RenderAll()
{
  std::vector<double> kept;
  for (const GoldenSetting& setting : Settings())
  {
    auto plugin = MakeKorvel(setting.sampleRate);
    for (const auto& [param, value] : setting.values)
      SetParam(*plugin, param, value);
    Signal s = GoldenInput();
    const StereoOut out = Render(*plugin, s, 256);
    for (int n = 0; n < kFrames; n += kKeepEvery)
    {
      kept.push_back(out.left[n]);
      kept.push_back(out.right[n]);
    }
  }
  return kept;
}

bool WriteSamples(const char* path, const std::vector<double>& samples)
{
  FILE* f = std::fopen(path, "wb");
  if (!f)
    return false;
  const bool ok = std::fwrite(samples.data(), sizeof(double), samples.size(), f) == samples.size();
  return std::fclose(f) == 0 && ok;
}

std::vector<double> ReadSamples(const char* path, size_t count)
{
  std::vector<double> samples(count);
  FILE* f = std::fopen(path, "rb");
  if (!f)
    return {};
  const size_t read = std::fread(samples.data(), sizeof(double), count, f);
  const bool atEnd = std::fgetc(f) == EOF;
  std::fclose(f);
  if (read != count || !atEnd)
    return {};
  return samples;
}

TEST(KorvelGolden, EveryTargetRendersTheReferenceSamples)
{
  const std::vector<double> rendered = RenderAll();
  const char* write = std::getenv("KORVEL_WRITE_GOLDEN");
  if (write && std::string(write) == "1")
  {
    ASSERT_TRUE(WriteSamples(KORVEL_GOLDEN_FILE, rendered)) << KORVEL_GOLDEN_FILE;
  }

  const std::vector<double> golden = ReadSamples(KORVEL_GOLDEN_FILE, rendered.size());
  ASSERT_EQ(golden.size(), rendered.size()) << "missing or wrong-sized " << KORVEL_GOLDEN_FILE;
  double largest = 0.0;
  int differing = 0;
  for (size_t i = 0; i < golden.size(); ++i)
  {
    ASSERT_TRUE(std::isfinite(rendered[i])) << i;
    const double difference = std::fabs(rendered[i] - golden[i]);
    ASSERT_LE(difference, kTolerance) << "sample " << i << " of " << golden.size();
    largest = std::max(largest, difference);
    differing += rendered[i] != golden[i];
  }
  std::printf("golden samples: %d of %zu differ, largest difference %.3g\n", differing, golden.size(), largest);
}

} // namespace
