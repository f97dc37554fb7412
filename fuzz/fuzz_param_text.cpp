// Parameter texts typed by a user or sent by a host: IParam::ParseValue on
// KORVEL's parameters and on parameters with every display flag, and the
// controller's getParamValueByString with the same bytes as UTF-16.
//
// Promises checked: a parsed value is a display text's value or lies in the
// range; its normalized value lies in 0..1; its display text has at most 32
// characters and reads back to within half a display step.

#include "FuzzHost.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <memory>

namespace {

// Parameters with the flags and shapes KORVEL does not use.
std::vector<std::unique_ptr<plug::IParam>> MakeFlaggedParams()
{
  std::vector<std::unique_ptr<plug::IParam>> params;
  auto add = [&](plug::IParam::EParamType type, double def, double min, double max, double step, int flags,
                 const plug::IParam::Shape& shape) -> plug::IParam& {
    params.push_back(std::make_unique<plug::IParam>());
    plug::IParam& p = *params.back();
    if (type != plug::IParam::kTypeNone)
      p.SetType(type);
    p.SetupDouble("Flagged", def, min, max, step, "u", flags, "", shape);
    return p;
  };
  add(plug::IParam::kTypeNone, 0.0, -20.0, 10.0, 0.5, plug::IParam::kFlagNegateDisplay | plug::IParam::kFlagStepped,
      plug::IParam::ShapeLinear());
  add(plug::IParam::kTypeNone, 1.0, -3.0, 3.0, 0.001, plug::IParam::kFlagSignDisplay, plug::IParam::ShapePowCurve(0.3));
  add(plug::IParam::kTypeNone, 1e-3, 1e-6, 1e9, 1e-7, plug::IParam::kFlagsNone, plug::IParam::ShapePowCurve(3.0));
  plug::IParam& list = add(plug::IParam::kTypeEnum, 1.0, 0.0, 3.0, 1.0, plug::IParam::kFlagStepped,
                           plug::IParam::ShapeLinear());
  list.AddDisplayText(0.0, "zero");
  list.AddDisplayText(2.0, "");
  list.AddDisplayText(7.0, "outside");
  add(plug::IParam::kTypeInt, 20.0, 20.0, 20.0, 1.0, plug::IParam::kFlagStepped, plug::IParam::ShapeLinear());
  return params;
}

bool IsDisplayTextValue(const plug::IParam& param, double value)
{
  for (int i = 0; i < param.NDisplayTexts(); ++i)
    if (param.DisplayTextAt(i).value == value)
      return true;
  return false;
}

void CheckParse(const plug::IParam& param, const char* text)
{
  const double value = param.ParseValue(text);
  const bool listed = IsDisplayTextValue(param, value);
  FUZZ_CHECK(listed || (value >= param.GetMin() && value <= param.GetMax()), "'%s' parsed to %g outside [%g, %g]",
             text, value, param.GetMin(), param.GetMax());
  const double normalized = param.Normalize(value);
  FUZZ_CHECK(normalized >= 0.0 && normalized <= 1.0, "'%s' normalized to %g", text, normalized);

  std::string shown;
  param.FormatValue(value, false, shown, true);
  FUZZ_CHECK(shown.size() <= 32, "display text of %g is %zu characters", value, shown.size());
  if (listed)
    return;
  // Without the display texts the number itself is shown; it reads back to
  // the value within half of the last shown decimal (stepped: exactly).
  param.FormatValue(value, false, shown, false);
  const double back = param.ParseValue(shown.c_str());
  const double tolerance = param.IsStepped() ? 1e-9 * std::fabs(value) + 1e-12
                                             : 0.5 * std::pow(10.0, -param.GetPrecision()) * (1.0 + 1e-9) +
                                                 1e-15 * std::fabs(value);
  if (param.NDisplayTexts() == 0)
    FUZZ_CHECK(std::fabs(back - value) <= tolerance, "%g shows as '%s', which reads back as %g", value, shown.c_str(),
               back);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static FuzzKorvel korvel;
  static const std::vector<std::unique_ptr<plug::IParam>> flagged = MakeFlaggedParams();

  FuzzedDataProvider input(data, size);
  const int paramIdx = input.ConsumeIntegralInRange<int>(0, kNumKorvelParams - 1);
  // Any normalized value a host may ask the text of, from the same bytes.
  double asked = 0.0;
  if (size >= sizeof(asked))
    std::memcpy(&asked, data, sizeof(asked));
  const std::string text = input.ConsumeRemainingBytesAsString();

  CheckParse(*korvel.plugin->GetParameter(paramIdx), text.c_str());
  for (const auto& param : flagged)
    CheckParse(*param, text.c_str());

  // The same bytes as a host's UTF-16 text, terminated.
  std::vector<Steinberg::Vst::TChar> wide(text.size() / 2 + 1, 0);
  std::memcpy(wide.data(), text.data(), text.size() / 2 * 2);
  Steinberg::Vst::ParamValue normalized = -1.0;
  const auto id = static_cast<Steinberg::Vst::ParamID>(paramIdx);
  FUZZ_CHECK(korvel.plugin->getParamValueByString(id, wide.data(), normalized) == Steinberg::kResultOk,
             "getParamValueByString(%d)", paramIdx);
  FUZZ_CHECK(normalized >= 0.0 && normalized <= 1.0, "getParamValueByString(%d) gave %g", paramIdx, normalized);
  Steinberg::Vst::String128 shown{};
  FUZZ_CHECK(korvel.plugin->getParamStringByValue(id, normalized, shown) == Steinberg::kResultOk,
             "getParamStringByValue(%d, %g)", paramIdx, normalized);

  // The bypass parameter takes texts too (the SDK's list parameter).
  korvel.plugin->getParamValueByString(plug::kBypassParamID, wide.data(), normalized);

  // Texts and plain values of any normalized value, in range or not.
  for (Steinberg::Vst::ParamID any : {id, plug::kBypassParamID})
  {
    korvel.plugin->getParamStringByValue(any, asked, shown);
    const double plain = korvel.plugin->normalizedParamToPlain(any, asked);
    const double back = korvel.plugin->plainParamToNormalized(any, plain);
    FUZZ_CHECK(std::isnan(asked) || (back >= 0.0 && back <= 1.0), "parameter %u: %g -> %g -> %g", any, asked, plain,
               back);
  }
  return 0;
}
