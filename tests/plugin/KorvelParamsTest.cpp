// The parameter set as hosts see it, and what each parameter change turns
// into for the processing.

#include "KorvelTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

using Cooked = KORVEL::CookedValues;

bool IsSwitch(int idx)
{
  return (idx >= kPower && idx <= kOptoExt) || idx == kOversampling;
}

TEST(KorvelParameters, SwitchesAreSteppedIntegersAndTheRestPlainDoubles)
{
  auto plugin = MakeKorvel();
  ASSERT_EQ(plugin->NParams(), 27);
  std::set<std::string> names;
  for (int i = 0; i <= kOversampling; ++i)
  {
    SCOPED_TRACE(i);
    const plug::IParam& p = *plugin->GetParameter(i);
    names.insert(p.GetName());
    EXPECT_EQ(p.Type(), IsSwitch(i) ? plug::IParam::kTypeInt : plug::IParam::kTypeDouble);
    EXPECT_EQ(p.GetFlags(), IsSwitch(i) ? plug::IParam::kFlagStepped : plug::IParam::kFlagsNone);
    EXPECT_EQ(p.Unit(), 21);
    EXPECT_STREQ(p.GetGroup(), "");
    EXPECT_EQ(p.GetPlain(), p.GetDefaultValue());
    if (IsSwitch(i))
    {
      EXPECT_EQ(p.GetMin(), 0.0);
      EXPECT_EQ(p.GetMax(), 1.0);
    }
  }
  EXPECT_EQ(names.count(""), 0u);
  EXPECT_EQ(names.size(), 25u) << "every declared parameter has a name of its own";
  EXPECT_STREQ(plugin->GetParameter(kOptoExt)->GetName(), "Opto Int/Ext");
}

TEST(KorvelParameters, StagePairsAreDeclaredAlike)
{
  auto plugin = MakeKorvel();
  for (int idx : {0, 2, 4, 6, 8, 10, 12, 22})
  {
    SCOPED_TRACE(idx);
    const plug::IParam& a = *plugin->GetParameter(idx);
    const plug::IParam& b = *plugin->GetParameter(idx + 1);
    EXPECT_EQ(a.GetMin(), b.GetMin());
    EXPECT_EQ(a.GetMax(), b.GetMax());
    EXPECT_EQ(a.GetStep(), b.GetStep());
    EXPECT_EQ(a.GetDefaultValue(), b.GetDefaultValue());
    EXPECT_STREQ(a.GetLabel(), b.GetLabel());
    EXPECT_EQ(a.GetShape().CurveCode(), b.GetShape().CurveCode());
    EXPECT_EQ(a.GetNormalized(), b.GetNormalized());
    EXPECT_EQ(std::string(a.GetName()) + "/Ext", b.GetName());
  }
}

// Readings, not controls: they stay at 0 and map a reading onto 0..1 unchanged.
TEST(KorvelParameters, MeterIndicesAreMetersAtZero)
{
  auto plugin = MakeKorvel();
  for (int idx : {kMeterInt, kMeterExt})
  {
    const plug::IParam& p = *plugin->GetParameter(idx);
    EXPECT_TRUE(p.IsMeter()) << idx;
    EXPECT_FALSE(p.CanAutomate()) << idx;
    EXPECT_EQ(p.GetPlain(), 0.0);
    for (double reading : {0.0, 0.25, 0.8125, 1.0})
      EXPECT_EQ(p.Normalize(reading), reading);
    EXPECT_EQ(p.Normalize(1.0125), 1.0);
  }
}

TEST(KorvelParameters, OnlyOversamplingHasDisplayTexts)
{
  auto plugin = MakeKorvel();
  for (int i = 0; i < plugin->NParams(); ++i)
    EXPECT_EQ(plugin->GetParameter(i)->NDisplayTexts(), i == kOversampling ? 2 : 0) << i;
  std::string text;
  plugin->GetParameter(kOversampling)->FormatValue(0.0, false, text);
  EXPECT_EQ(text, "Oversampling Off");
  plugin->GetParameter(kOversampling)->FormatValue(1.0, false, text);
  EXPECT_EQ(text, "Oversampling On");
}

TEST(KorvelParameters, EditorSizeIsBoundedAndNotHostResizable)
{
  auto plugin = MakeKorvel();
  EXPECT_EQ(plugin->GetEditorWidth(), 998);
  EXPECT_EQ(plugin->GetEditorHeight(), 386);
  EXPECT_EQ(plugin->GetMinWidth(), 499);
  EXPECT_EQ(plugin->GetMaxWidth(), 1996);
  EXPECT_EQ(plugin->GetMinHeight(), 193);
  EXPECT_EQ(plugin->GetMaxHeight(), 772);
  EXPECT_FALSE(plugin->HostMayResize());
  EXPECT_TRUE(plugin->HasEditor());
  EXPECT_EQ(plugin->GetLatency(), 0);
}

struct CookCase
{
  int param;
  double plain;
  std::function<double(const Cooked&)> cooked;
  double expected;
};

TEST(KorvelCooking, ParameterValuesBecomeWhatTheStagesUse)
{
  const CookCase cases[] = {
    {kThresholdInt, -20.0, [](const Cooked& c) { return c.stages[0].threshold; }, -50.0},
    {kThresholdInt, 10.0, [](const Cooked& c) { return c.stages[0].threshold; }, 0.0},
    {kThresholdExt, -5.0, [](const Cooked& c) { return c.stages[1].threshold; }, -25.0},
    {kRatioExt, 7.5, [](const Cooked& c) { return c.stages[1].ratio; }, 7.5},
    {kAttackInt, 10.0, [](const Cooked& c) { return c.stages[0].attackMs; }, 100.0},
    {kAttackExt, 0.1, [](const Cooked& c) { return c.stages[1].attackMs; }, 1.0},
    {kReleaseInt, 0.1, [](const Cooked& c) { return c.stages[0].releaseMs; }, 200.0},
    {kReleaseExt, 2.0, [](const Cooked& c) { return c.stages[1].releaseMs; }, 4000.0},
    {kMakeUpInt, 6.0, [](const Cooked& c) { return c.stages[0].makeUp; }, 1.9952623149688795},
    {kMakeUpExt, -15.0, [](const Cooked& c) { return c.stages[1].makeUp; }, 0.17782794100389229},
    {kInputInt, 15.0, [](const Cooked& c) { return c.stages[0].inputGain; }, 5.623413251903491},
    {kInputExt, 0.0, [](const Cooked& c) { return c.stages[1].inputGain; }, 1.0},
    {kMixInt, 50.0, [](const Cooked& c) { return c.stages[0].mix; }, 0.5},
    {kMixExt, 0.0, [](const Cooked& c) { return c.stages[1].mix; }, 0.0},
    {kHighPassInt, 300.0, [](const Cooked& c) { return c.stages[0].highPassHz; }, 300.0},
    {kHighPassExt, 750.0, [](const Cooked& c) { return c.stages[1].highPassHz; }, 750.0},
  };
  for (const CookCase& c : cases)
  {
    auto plugin = MakeKorvel();
    SetParam(*plugin, c.param, c.plain);
    EXPECT_NEAR(c.cooked(plugin->GetCookedValues()), c.expected, 1e-12 * std::max(1.0, std::fabs(c.expected)))
      << "parameter " << c.param << " at " << c.plain;
  }
}

TEST(KorvelCooking, SwitchesAddUpToTheStageModeCode)
{
  struct SwitchCase
  {
    std::vector<int> on;
    int codeInt;
    int codeExt;
  };
  const SwitchCase cases[] = {
    {{}, 0, 0},
    {{kVcaInt}, 1, 0},
    {{kFetInt}, 5, 0},
    {{kOptoInt}, 10, 0},
    {{kFetInt, kOptoInt}, 15, 0},
    {{kVcaExt, kFetExt, kOptoExt}, 0, 16},
    {{kVcaInt, kOptoInt, kVcaExt, kFetExt}, 11, 6},
  };
  for (const SwitchCase& c : cases)
  {
    auto plugin = MakeKorvel();
    for (int idx : c.on)
      SetParam(*plugin, idx, 1.0);
    const Cooked cooked = plugin->GetCookedValues();
    EXPECT_EQ(cooked.stages[0].ModeCode(), c.codeInt);
    EXPECT_EQ(cooked.stages[1].ModeCode(), c.codeExt);
    for (int idx : c.on)
      SetParam(*plugin, idx, 0.0);
    EXPECT_EQ(plugin->GetCookedValues().stages[0].ModeCode(), 0);
    EXPECT_EQ(plugin->GetCookedValues().stages[1].ModeCode(), 0);
  }
}

TEST(KorvelCooking, GlobalSwitches)
{
  auto plugin = MakeKorvel();
  Cooked c = plugin->GetCookedValues();
  EXPECT_EQ(c.power, 1);
  EXPECT_EQ(c.externalSidechain, 0);
  EXPECT_EQ(c.oversamplingFactor, 0.0);
  EXPECT_EQ(c.oversamplingLatency, 0);

  SetParam(*plugin, kPower, 0.0);
  SetParam(*plugin, kExternalSidechain, 1.0);
  SetParam(*plugin, kOversampling, 1.0);
  c = plugin->GetCookedValues();
  EXPECT_EQ(c.power, 0);
  EXPECT_EQ(c.externalSidechain, 1);
  EXPECT_EQ(c.oversamplingFactor, 2.0);
  EXPECT_EQ(c.oversamplingLatency, 64);

  SetParam(*plugin, kOversampling, 0.0);
  c = plugin->GetCookedValues();
  EXPECT_EQ(c.oversamplingFactor, 0.0);
  EXPECT_EQ(c.oversamplingLatency, 0);
}

TEST(KorvelCooking, MeterIndicesChangeNothing)
{
  auto plugin = MakeKorvel();
  SetParam(*plugin, kRatioInt, 9.0);
  SetParam(*plugin, kMeterInt, 1.0);
  SetParam(*plugin, kMeterExt, 1.0);
  plugin->OnParamChange(kNumKorvelParams);  // outside the list
  const Cooked c = plugin->GetCookedValues();
  EXPECT_EQ(c.stages[0].ratio, 9.0);
  EXPECT_EQ(c.stages[1].ratio, 4.0);
  EXPECT_EQ(c.power, 1);
}

} // namespace
