#include "plug/IParam.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using plug::IParam;

namespace {

std::string Format(const IParam& param, double value, bool normalized = false, bool useDisplayTexts = true)
{
  std::string text;
  param.FormatValue(value, normalized, text, useDisplayTexts);
  return text;
}

// Counts how often a shape is bound and to which parameter.
class BindProbe : public IParam::ShapeLinear
{
public:
  explicit BindProbe(int* binds, const IParam** owner) : mBinds(binds), mOwner(owner) {}
  Shape* Duplicate() const override { return new BindProbe(*this); }
  void Bind(IParam& owner) override
  {
    ++*mBinds;
    *mOwner = &owner;
  }

private:
  int* mBinds;
  const IParam** mOwner;
};

} // namespace

TEST(IParamSetup, FreshRecordIsAnUndefinedLinearZeroToOne)
{
  IParam param;
  EXPECT_EQ(param.Type(), IParam::kTypeNone);
  EXPECT_EQ(param.Unit(), 21);
  EXPECT_EQ(param.GetMin(), 0.0);
  EXPECT_EQ(param.GetMax(), 1.0);
  EXPECT_EQ(param.GetStep(), 1.0);
  EXPECT_EQ(param.GetPlain(), 0.0);
  EXPECT_STREQ(param.GetName(), "");
  EXPECT_EQ(param.GetShape().CurveCode(), 0);
  EXPECT_DOUBLE_EQ(param.Normalize(0.25), 0.25);
}

TEST(IParamSetup, MaximumIsNeverBelowMinimumPlusStep)
{
  IParam param;
  param.SetupDouble("HPF", 20.0, 20.0, 20.0, 1.0);
  EXPECT_EQ(param.GetMin(), 20.0);
  EXPECT_EQ(param.GetMax(), 21.0);

  IParam wide;
  wide.SetupDouble("Gain", 0.0, -15.0, 15.0, 0.1);
  EXPECT_EQ(wide.GetMax(), 15.0);
}

TEST(IParamSetup, PrecisionFollowsTheStep)
{
  const struct
  {
    double step;
    int precision;
  } cases[] = {{0.1, 1}, {0.01, 2}, {1.0, 0}, {0.5, 1}, {0.25, 2}, {1e-9, 6}, {5.0, 0}};
  for (const auto& c : cases)
  {
    IParam param;
    param.SetupDouble("p", 0.0, 0.0, 100.0, c.step);
    EXPECT_EQ(param.GetPrecision(), c.precision) << "step " << c.step;
  }
}

TEST(IParamSetup, StoresEverythingAndClampsTheDefaultIntoTheValue)
{
  IParam param;
  param.SetupDouble("Ratio Int", 40.0, 1.0, 20.0, 0.1, ":1", IParam::kFlagCannotAutomate, "", IParam::ShapePowCurve(1.5));
  EXPECT_EQ(param.Type(), IParam::kTypeDouble);
  EXPECT_STREQ(param.GetName(), "Ratio Int");
  EXPECT_STREQ(param.GetLabel(), ":1");
  EXPECT_FALSE(param.CanAutomate());
  EXPECT_EQ(param.GetDefaultValue(), 40.0);
  EXPECT_EQ(param.GetPlain(), 20.0);
  EXPECT_EQ(param.GetShape().CurveCode(), 0);
}

TEST(IParamSetup, KeepsATypeSetBeforeAndTypeIsSetOnlyOnce)
{
  IParam param;
  param.SetType(IParam::kTypeInt);
  param.SetType(IParam::kTypeEnum);
  param.SetupDouble("Power", 1.0, 0.0, 1.0, 1.0, "", IParam::kFlagStepped);
  EXPECT_EQ(param.Type(), IParam::kTypeInt);
}

TEST(IParamSetup, OwnsADuplicateOfTheShapeAndBindsItOnce)
{
  int binds = 0;
  const IParam* owner = nullptr;
  IParam param;
  {
    BindProbe probe(&binds, &owner);
    param.SetupDouble("p", 0.0, 0.0, 1.0, 0.01, "", 0, "", probe);
  }
  EXPECT_EQ(binds, 1);
  EXPECT_EQ(owner, &param);
  EXPECT_DOUBLE_EQ(param.Normalize(0.5), 0.5); // the probe itself is gone; the duplicate works
}

TEST(IParamSetup, OverlongTextsAreCutTo31Bytes)
{
  const std::string longName(40, 'n');
  IParam param;
  param.SetupDouble(longName.c_str(), 0.0, 0.0, 1.0, 1.0, longName.c_str());
  param.AddDisplayText(0.0, longName.c_str());
  EXPECT_EQ(std::string(param.GetName()), longName.substr(0, 31));
  EXPECT_EQ(std::string(param.GetLabel()), longName.substr(0, 31));
  EXPECT_EQ(std::string(param.DisplayTextAt(0).text), longName.substr(0, 31));
}

TEST(IParamShape, PowCurveCurveCodes)
{
  const struct
  {
    double exponent;
    int code;
  } cases[] = {{3.0, 6}, {2.5, 4}, {2.0, 4}, {1.75, 4}, {1.5, 0}, {1.0, 0}, {0.3, 5}, {0.4, 3}, {0.5, 3}, {0.6666, 3}, {2.0 / 3.0, 0}};
  for (const auto& c : cases)
    EXPECT_EQ(IParam::ShapePowCurve(c.exponent).CurveCode(), c.code) << "exponent " << c.exponent;
}

TEST(IParamShape, PowCurveMapsBothWays)
{
  IParam param;
  param.SetupDouble("HPF", 20.0, 20.0, 750.0, 1.0, "Hz", 0, "", IParam::ShapePowCurve(2.0));
  EXPECT_DOUBLE_EQ(param.Denormalize(0.5), 0.25 * 730.0 + 20.0);
  EXPECT_DOUBLE_EQ(param.Normalize(0.25 * 730.0 + 20.0), 0.5);
  for (double n : {0.0, 0.1, 0.33, 0.9, 1.0})
    EXPECT_NEAR(param.Normalize(param.Denormalize(n)), n, 1e-12);
}

TEST(IParamValue, ClampRoundsSteppedValuesHalfAwayFromZero)
{
  IParam param;
  param.SetupDouble("s", 0.0, -10.0, 10.0, 0.5, "", IParam::kFlagStepped);
  const struct
  {
    double in, out;
  } cases[] = {{0.26, 0.5}, {0.24, 0.0}, {0.25, 0.5}, {-0.25, -0.5}, {0.75, 1.0}, {-0.75, -1.0}, {12.0, 10.0}, {-11.0, -10.0}};
  for (const auto& c : cases)
    EXPECT_EQ(param.Clamp(c.in), c.out) << c.in;
}

TEST(IParamValue, UnsteppedValuesAreOnlyRangeClamped)
{
  IParam param;
  param.SetupDouble("Attack", 10.0, 0.1, 50.0, 0.1, "ms");
  EXPECT_EQ(param.Clamp(12.345), 12.345);
  EXPECT_EQ(param.Clamp(0.0), 0.1);
  EXPECT_EQ(param.Clamp(80.0), 50.0);
  EXPECT_EQ(param.Clamp(std::numeric_limits<double>::quiet_NaN()), 0.1);
  param.SetPlain(12.345);
  EXPECT_EQ(param.GetPlain(), 12.345);
  param.SetPlain(-3.0);
  EXPECT_EQ(param.GetPlain(), 0.1);
}

TEST(IParamValue, NormalizeSaturatesAndDenormalizeClamps)
{
  IParam param;
  param.SetupDouble("Threshold Int", 10.0, -20.0, 10.0, 0.1, "dB");
  EXPECT_EQ(param.Normalize(11.0), 1.0);
  EXPECT_EQ(param.Normalize(1e9), 1.0);
  EXPECT_EQ(param.Normalize(-21.0), 0.0);
  EXPECT_DOUBLE_EQ(param.Normalize(-5.0), 0.5);
  EXPECT_EQ(param.Denormalize(1.5), 10.0);
  EXPECT_EQ(param.Denormalize(-0.5), -20.0);
  EXPECT_DOUBLE_EQ(param.GetNormalized(), 1.0);
  EXPECT_EQ(param.GetDefaultValue(false), 10.0);
  EXPECT_EQ(param.GetDefaultValue(true), 1.0);

  IParam curve;
  curve.SetupDouble("Ratio", 4.0, 1.0, 20.0, 0.1, "", 0, "", IParam::ShapePowCurve(1.5));
  EXPECT_EQ(curve.Denormalize(-1.0), 1.0); // pow of a negative number is NaN: ends at the minimum
}

TEST(IParamValue, SteppedNormalizeAndDenormalizeLandOnSteps)
{
  IParam param;
  param.SetType(IParam::kTypeInt);
  param.SetupDouble("Power", 1.0, 0.0, 1.0, 1.0, "", IParam::kFlagStepped);
  EXPECT_EQ(param.Denormalize(0.49), 0.0);
  EXPECT_EQ(param.Denormalize(0.5), 1.0);
  EXPECT_EQ(param.Normalize(0.7), 1.0);
}

TEST(IParamFormat, NumbersFollowPrecisionSignAndNegateFlags)
{
  const struct
  {
    double step;
    int flags;
    double value;
    const char* text;
  } cases[] = {
    {1.0, 0, 2.5, "3"},
    {1.0, 0, -2.5, "-3"},
    {1.0, 0, 2.4999, "2"},
    {1.0, IParam::kFlagSignDisplay, 3.0, "3"},
    {0.1, 0, 3.0, "3.0"},
    {0.1, 0, -3.04, "-3.0"},
    {0.01, 0, 1.0 / 3.0, "0.33"},
    {0.1, IParam::kFlagSignDisplay, 3.0, "+3.0"},
    {0.1, IParam::kFlagSignDisplay, 0.0, "0.0"},
    {0.1, IParam::kFlagSignDisplay, -3.0, "-3.0"},
    {1.0, IParam::kFlagNegateDisplay, 0.0, "0"},
    {0.1, IParam::kFlagNegateDisplay, 0.0, "0.0"},
    {0.1, IParam::kFlagNegateDisplay, 2.5, "-2.5"},
    {0.1, IParam::kFlagNegateDisplay | IParam::kFlagSignDisplay, -2.5, "+2.5"},
    {0.1, 0, -0.0, "0.0"},
  };
  for (const auto& c : cases)
  {
    IParam param;
    param.SetupDouble("p", 0.0, -100.0, 100.0, c.step, "", c.flags);
    EXPECT_EQ(Format(param, c.value), c.text) << "value " << c.value << " step " << c.step << " flags " << c.flags;
  }
}

TEST(IParamFormat, LargeValuesAreCutTo32Characters)
{
  IParam param;
  param.SetupDouble("p", 0.0, -1e300, 1e300, 0.1);
  const std::string text = Format(param, 1e40);
  EXPECT_EQ(text.size(), 32u);
  EXPECT_EQ(text.substr(0, 5), "10000");

  IParam whole;
  whole.SetupDouble("p", 0.0, -1e300, 1e300, 1.0);
  EXPECT_EQ(Format(whole, 1e20), "2147483647"); // beyond a 32-bit integer: saturates instead of undefined conversion
}

TEST(IParamFormat, NormalizedValuesAreMappedAndClampedFirst)
{
  IParam param;
  param.SetupDouble("Threshold", 10.0, -20.0, 10.0, 0.1, "dB");
  EXPECT_EQ(Format(param, 0.5, true), "-5.0");
  EXPECT_EQ(Format(param, 2.0, true), "10.0");
}

TEST(IParamFormat, DisplayTextsAndDisplayFunction)
{
  IParam param;
  param.SetType(IParam::kTypeInt);
  param.SetupDouble("Oversampling", 0.0, 0.0, 3.0, 1.0, "", IParam::kFlagStepped);
  param.AddDisplayText(0.0, "Oversampling Off");
  param.AddDisplayText(1.0, "Oversampling On");
  param.AddDisplayText(1.0, "Shadowed");
  param.AddDisplayText(2.0, "");
  EXPECT_EQ(Format(param, 0.0), "Oversampling Off");
  EXPECT_EQ(Format(param, 1.0), "Oversampling On");
  EXPECT_EQ(Format(param, 1.0 / 3.0, true), "Oversampling On");
  EXPECT_EQ(Format(param, 2.0), "2"); // an empty display text falls back to the number
  EXPECT_EQ(Format(param, 1.0, false, false), "1");

  IParam custom;
  custom.SetupDouble("p", 0.5, 0.0, 1.0, 0.01, "", 0, "", IParam::ShapeLinear(),
                     [](double value, std::string& text) { text = "v=" + std::to_string(value) + std::string(40, '!'); });
  const std::string text = Format(custom, 0.25);
  EXPECT_EQ(text.size(), 32u);
  EXPECT_EQ(text.substr(0, 10), "v=0.250000");
}

TEST(IParamParse, NumbersAndTexts)
{
  IParam threshold;
  threshold.SetupDouble("Threshold", 10.0, -20.0, 10.0, 0.1, "dB");
  IParam stepped;
  stepped.SetupDouble("s", 0.0, -10.0, 10.0, 0.5, "", IParam::kFlagStepped);
  IParam negated;
  negated.SetupDouble("n", 0.0, -10.0, 10.0, 0.1, "", IParam::kFlagNegateDisplay);
  const std::string hugeDigits = "1" + std::string(400, '0') + ".5e-80";
  const std::string tinyDigits = "0." + std::string(400, '0') + "1e70";
  const struct
  {
    const IParam* param;
    const char* text;
    double value;
  } cases[] = {
    {&threshold, "abc", 0.0},
    {&threshold, "", 0.0},
    {&threshold, "-3.25 dB", -3.25},
    {&threshold, "  +4.5", 4.5},
    {&threshold, "1e1", 10.0},
    {&threshold, "-1e", -1.0},
    {&threshold, ".5", 0.5},
    {&threshold, "0x10", 0.0},
    {&threshold, "inf", 0.0},
    {&threshold, "nan", 0.0},
    {&threshold, "-99", -20.0},
    {&threshold, "1,5", 1.0},
    {&threshold, "1e400", 10.0}, // beyond any double: still clamped to the end it lies beyond
    {&threshold, "-1E+999999999999999999999", -20.0},
    {&threshold, "1e-400", 0.0},
    {&threshold, hugeDigits.c_str(), 10.0},
    {&threshold, tinyDigits.c_str(), 0.0},
    {&stepped, "0.26", 0.5},
    {&stepped, "-0.25", -0.5},
    {&negated, "3", -3.0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.param->ParseValue(c.text), c.value) << "\"" << c.text << "\"";
}

TEST(IParamParse, DisplayTextsWinUnclampedAndSwitchesWithoutMatchGiveZero)
{
  IParam param;
  param.SetType(IParam::kTypeInt);
  param.SetupDouble("Oversampling", 0.0, 0.0, 1.0, 1.0, "", IParam::kFlagStepped);
  param.AddDisplayText(0.0, "Oversampling Off");
  param.AddDisplayText(1.0, "Oversampling On");
  param.AddDisplayText(7.0, "Seven");
  EXPECT_EQ(param.ParseValue("Oversampling On"), 1.0);
  EXPECT_EQ(param.ParseValue("Seven"), 7.0);
  EXPECT_EQ(param.ParseValue("oversampling on"), 0.0); // case-sensitive: read as a number, and there is none
  EXPECT_EQ(param.ParseValue("1"), 1.0);                    // an integer parameter still reads numbers

  for (IParam::EParamType type : {IParam::kTypeBool, IParam::kTypeEnum})
  {
    IParam sw;
    sw.SetType(type);
    sw.SetupDouble("sw", 1.0, 0.0, 1.0, 1.0, "", IParam::kFlagStepped);
    EXPECT_EQ(sw.ParseValue("1"), 0.0);
    sw.AddDisplayText(1.0, "on");
    EXPECT_EQ(sw.ParseValue("on"), 1.0);
    EXPECT_EQ(sw.ParseValue("1"), 0.0);
  }
}

TEST(IParamUnits, LabelUnlessTheTruncatedValueHasANonEmptyDisplayText)
{
  IParam param;
  param.SetupDouble("p", 0.0, 0.0, 3.0, 0.1, "dB");
  param.AddDisplayText(1.0, "one");
  param.AddDisplayText(2.0, "");
  param.AddDisplayText(2.0, "two");
  const struct
  {
    double value;
    const char* units;
  } cases[] = {{0.0, "dB"}, {1.0, ""}, {1.9, ""}, {2.5, "dB"}, {3.0, "dB"}};
  for (const auto& c : cases)
  {
    param.SetPlain(c.value);
    EXPECT_STREQ(param.GetUnitsText(), c.units) << c.value;
  }
}
