#pragma once

// The VST3 parameter objects that publish the framework's parameters to the
// host: one per IParam, plus the host's bypass switch.

#include "plug/vst3/VST3Sdk.h"

#include "plug/IParam.h"

namespace plug {

constexpr Steinberg::Vst::ParamID kBypassParamID = 0x10000;
constexpr Steinberg::Vst::ParamID kPresetParamID = 0x10001;
constexpr Steinberg::Vst::ParamID kMIDICCParamStartID = 0x10002;
constexpr int kMIDIControllersPerChannel = 130; // 128 controllers, channel pressure, pitch bend

/** Widens each byte (taken as signed) to one UTF-16 unit; at most 127 units plus the terminator. */
void WidenToString128(const char* text, Steinberg::Vst::String128 out);

/** One framework parameter as the host sees it; values and texts come from the IParam. */
class IPluginVST3Parameter : public Steinberg::Vst::Parameter
{
public:
  IPluginVST3Parameter(const IParam& param, Steinberg::Vst::ParamID id, Steinberg::Vst::UnitID unitID);

  void toString(Steinberg::Vst::ParamValue normalized, Steinberg::Vst::String128 text) const override;
  bool fromString(const Steinberg::Vst::TChar* text, Steinberg::Vst::ParamValue& normalized) const override;
  Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue normalized) const override;
  Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plain) const override;

  const IParam& GetIParam() const { return mParam; }

  OBJ_METHODS(IPluginVST3Parameter, Parameter)

private:
  const IParam& mParam;
};

/** The host's bypass switch: "off" / "on". */
class IPluginVST3BypassParameter : public Steinberg::Vst::StringListParameter
{
public:
  IPluginVST3BypassParameter();

  /** A normalized value outside 0..1 (or NaN) counts as the nearest end (NaN as 0). */
  void toString(Steinberg::Vst::ParamValue normalized, Steinberg::Vst::String128 text) const override;
  Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue normalized) const override;

  OBJ_METHODS(IPluginVST3BypassParameter, StringListParameter)
};

} // namespace plug
