#pragma once

// Controller data of the VST3 plug-in object that the SDK's edit controller
// does not hold: the host's channel (track) information, and the setup of
// the parameter objects and units from the framework's parameters.

#include "plug/vst3/VST3Sdk.h"

#include "plug/IPluginAPIBase.h"

#include <string>

namespace plug {

class IPluginVST3ControllerBase
{
public:
  const std::string& GetChannelName() const { return mChannelName; }
  const std::string& GetChannelNamespace() const { return mChannelNamespace; }
  const std::string& GetChannelUID() const { return mChannelUID; }
  int GetChannelNamespaceOrder() const { return mChannelNamespaceOrder; }
  int GetChannelIndex() const { return mChannelIndex; }
  /** 0xAARRGGBB. */
  uint32_t GetChannelColour() const { return mChannelColour; }

protected:
  /**
   * Bypass parameter (unless the plug-in is an instrument), root unit, one unit per
   * parameter group, one parameter object per framework parameter, and the MIDI
   * controller parameters when the plug-in takes MIDI.
   */
  void InitializeParameters(IPluginAPIBase& plug, bool withBypass, bool withMidiControllers,
                            Steinberg::Vst::ParameterContainer& parameters,
                            Steinberg::Vst::EditControllerEx1& controller);
  /** Reads the keys the host provides; absent keys leave their values alone. */
  Steinberg::tresult SetChannelContextInfos(Steinberg::Vst::IAttributeList* list);

private:
  Steinberg::Vst::UnitID UnitForGroup(const char* group, Steinberg::Vst::EditControllerEx1& controller);
  void AddMidiControllerParameters(Steinberg::Vst::ParameterContainer& parameters,
                                   Steinberg::Vst::EditControllerEx1& controller);

  std::vector<std::string> mParamGroups;
  std::string mChannelName;
  std::string mChannelNamespace;
  std::string mChannelUID;
  int mChannelNamespaceOrder = 0;
  int mChannelIndex = 0;
  uint32_t mChannelColour = 0;
};

} // namespace plug
