#include "plug/vst3/IPluginVST3Parameter.h"

#include "plug/Utf8.h"

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace plug {

namespace Vst = Steinberg::Vst;

void WidenToString128(const char* text, Vst::String128 out)
{
  int i = 0;
  for (; text && text[i] && i < 127; ++i)
    out[i] = static_cast<Vst::TChar>(static_cast<signed char>(text[i]));
  out[i] = 0;
}

namespace {

// The SDK's list parameter picks its entry by index without a range check
// (std::vector::at, which throws through the host) and converts without
// one: every value it gets passes through here first.
Vst::ParamValue ClampNormalized(Vst::ParamValue normalized)
{
  return normalized > 0.0 ? (normalized < 1.0 ? normalized : 1.0) : 0.0;
}

// Host text to the 8-bit text ParseValue reads: the ANSI code page on Windows, UTF-8 elsewhere.
std::string NarrowHostText(const Vst::TChar* text)
{
  std::u16string wide;
  for (int i = 0; text[i] && i < 1024; ++i)
    wide.push_back(static_cast<char16_t>(text[i]));
#ifdef _WIN32
  const wchar_t* source = reinterpret_cast<const wchar_t*>(wide.c_str());
  const int size = WideCharToMultiByte(CP_ACP, 0, source, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0)
    return std::string();
  std::string narrow(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, source, -1, &narrow[0], size, nullptr, nullptr);
  narrow.resize(static_cast<size_t>(size - 1));
  return narrow;
#else
  return Utf16ToUtf8(wide.c_str());
#endif
}

} // namespace

IPluginVST3Parameter::IPluginVST3Parameter(const IParam& param, Vst::ParamID id, Vst::UnitID unitID) : mParam(param)
{
  info.id = id;
  WidenToString128(param.GetName(), info.title);
  if (!info.title[0])
  {
    // Hosts need a title for every parameter, also for one that was never declared.
    char title[32];
    std::snprintf(title, sizeof(title), "Parameter %u", static_cast<unsigned>(id));
    WidenToString128(title, info.title);
  }
  info.shortTitle[0] = 0;
  WidenToString128(param.GetUnitsText(), info.units);
  info.stepCount = param.Type() == IParam::kTypeDouble ? 0 : static_cast<Steinberg::int32>(param.GetMax() - param.GetMin());
  info.defaultNormalizedValue = param.GetDefaultValue(true);
  valueNormalized = info.defaultNormalizedValue;
  info.unitId = unitID;
  info.flags = param.CanAutomate() ? Vst::ParameterInfo::kCanAutomate : 0;
  if (param.IsMeter())
    info.flags = Vst::ParameterInfo::kIsReadOnly;
  if (param.Type() == IParam::kTypeEnum)
    info.flags |= Vst::ParameterInfo::kIsList;
  precision = param.GetPrecision();
}

void IPluginVST3Parameter::toString(Vst::ParamValue normalized, Vst::String128 text) const
{
  std::string display;
  mParam.FormatValue(normalized, true, display, true);
  WidenToString128(display.c_str(), text);
}

bool IPluginVST3Parameter::fromString(const Vst::TChar* text, Vst::ParamValue& normalized) const
{
  if (!text)
    return false;
  normalized = mParam.Normalize(mParam.ParseValue(NarrowHostText(text).c_str()));
  return true;
}

Vst::ParamValue IPluginVST3Parameter::toPlain(Vst::ParamValue normalized) const
{
  return mParam.Denormalize(normalized);
}

Vst::ParamValue IPluginVST3Parameter::toNormalized(Vst::ParamValue plain) const
{
  return mParam.Normalize(plain);
}

IPluginVST3BypassParameter::IPluginVST3BypassParameter()
  : StringListParameter(STR16("Bypass"), kBypassParamID, nullptr,
                        Vst::ParameterInfo::kCanAutomate | Vst::ParameterInfo::kIsList | Vst::ParameterInfo::kIsBypass,
                        Vst::kRootUnitId)
{
  appendString(STR16("off"));
  appendString(STR16("on"));
}

void IPluginVST3BypassParameter::toString(Vst::ParamValue normalized, Vst::String128 text) const
{
  StringListParameter::toString(ClampNormalized(normalized), text);
}

Vst::ParamValue IPluginVST3BypassParameter::toPlain(Vst::ParamValue normalized) const
{
  return StringListParameter::toPlain(ClampNormalized(normalized));
}

} // namespace plug
