#include "plug/vst3/IPluginVST3ControllerBase.h"

#include "plug/vst3/IPluginVST3Parameter.h"

#include "plug/Utf8.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace plug {

namespace Vst = Steinberg::Vst;
using Steinberg::int64;
using Steinberg::kResultTrue;

namespace {

// Names of MIDI controllers 0..127; "Contr. n" for the unassigned numbers.
const char* const kNamedControllers[128] = {
  "BankSel.MSB", "Modulation", "BreathCtrl", nullptr, "Foot Ctrl", "Porta.Time", "DataEntMSB", "MainVolume",
  "Balance", nullptr, "Pan", "Expression", "FXControl1", "FXControl2", nullptr, nullptr,
  "Gen.Purp.1", "Gen.Purp.2", "Gen.Purp.3", "Gen.Purp.4", nullptr, nullptr, nullptr, nullptr,
  nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
  "BankSel.LSB", "Modul. LSB", "BrthCt LSB", nullptr, "FootCt LSB", "Port.T LSB", "DataEntLSB", "MainVolLSB",
  "BalanceLSB", nullptr, "Pan LSB", "Expr. LSB", nullptr, nullptr, nullptr, nullptr,
  "Gen.P.1LSB", "Gen.P.2LSB", "Gen.P.3LSB", "Gen.P.4LSB", nullptr, nullptr, nullptr, nullptr,
  nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
  "Damper Ped", "Porta. Ped", "Sostenuto ", "Soft Pedal", "Legato Sw", "Hold 2", "SoundCont 1", "SoundCont 2",
  "SoundCont 3", "SoundCont 4", "SoundCont 5", "SoundCont 6", "SoundCont 7", "SoundCont 8", "SoundCont 9", "SoundCont 10",
  "Gen.Purp.5", "Gen.Purp.6", "Gen.Purp.7", "Gen.Purp.8", "Portamento", nullptr, nullptr, nullptr,
  nullptr, nullptr, nullptr, "FX 1 Depth", "FX 2 Depth", "FX 3 Depth", "FX 4 Depth", "FX 5 Depth",
  "Data Incr", "Data Decr", "Non-RegLSB", "Non-RegMSB", "Reg LSB", "Reg MSB", nullptr, nullptr,
  nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
  nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
  nullptr, "Reset Ctrl", "Local Ctrl", "AllNoteOff", "OmniModOff", "OmniModeOn", "MonoModeOn", "PolyModeOn",
};

// Longest text a host channel attribute is read at.
constexpr int64 kMaxChannelTextUnits = 4096;

// Reads a text attribute, of at most kMaxChannelTextUnits UTF-16 units. The
// host's length key is no measure of the buffer: Ardour 7 gives a channel name
// shorter than the name it then copies whole, and copies as many units as the
// size in bytes it is handed. The buffer holds the longest text kept twice over.
void ReadText(Vst::IAttributeList* list, Vst::IAttributeList::AttrID key, std::string& stored)
{
  std::vector<Vst::TChar> text(static_cast<size_t>(2 * kMaxChannelTextUnits + 1), 0);
  const auto bytes = static_cast<Steinberg::uint32>(kMaxChannelTextUnits * sizeof(Vst::TChar));
  if (list->getString(key, text.data(), bytes) == kResultTrue)
  {
    text[static_cast<size_t>(kMaxChannelTextUnits)] = 0;
    stored = Utf16ToUtf8(reinterpret_cast<const char16_t*>(text.data()));
  }
}

} // namespace

void IPluginVST3ControllerBase::InitializeParameters(IPluginAPIBase& plug, bool withBypass, bool withMidiControllers,
                                                     Vst::ParameterContainer& parameters,
                                                     Vst::EditControllerEx1& controller)
{
  mParamGroups.clear();
  if (withBypass)
    parameters.addParameter(new IPluginVST3BypassParameter());
  controller.addUnit(new Vst::Unit(STR16("Root"), Vst::kRootUnitId, Vst::kNoParentUnitId));
  for (int i = 0; i < plug.NParams(); ++i)
  {
    const IParam& param = *plug.GetParameter(i);
    const Vst::UnitID unit = UnitForGroup(param.GetGroup(), controller);
    parameters.addParameter(new IPluginVST3Parameter(param, static_cast<Vst::ParamID>(i), unit));
  }
  if (withMidiControllers)
    AddMidiControllerParameters(parameters, controller);
}

Vst::UnitID IPluginVST3ControllerBase::UnitForGroup(const char* group, Vst::EditControllerEx1& controller)
{
  if (!group || !group[0])
    return Vst::kRootUnitId;
  const auto found = std::find(mParamGroups.begin(), mParamGroups.end(), std::string(group));
  if (found != mParamGroups.end())
    return static_cast<Vst::UnitID>(found - mParamGroups.begin()) + 1;
  mParamGroups.emplace_back(group);
  const auto id = static_cast<Vst::UnitID>(mParamGroups.size());
  Vst::String128 name;
  WidenToString128(group, name);
  controller.addUnit(new Vst::Unit(name, id, Vst::kRootUnitId));
  return id;
}

void IPluginVST3ControllerBase::AddMidiControllerParameters(Vst::ParameterContainer& parameters,
                                                            Vst::EditControllerEx1& controller)
{
  const Vst::UnitID midiUnit = controller.getUnitCount() + 1;
  controller.addUnit(new Vst::Unit(STR16("MIDI CCs"), midiUnit, Vst::kRootUnitId));
  const Vst::UnitID channelUnit = controller.getUnitCount() + 1;
  Vst::String128 channelName;
  char channelText[16];
  std::snprintf(channelText, sizeof(channelText), "CH%i", 1);
  WidenToString128(channelText, channelName);
  controller.addUnit(new Vst::Unit(channelName, channelUnit, midiUnit));

  Vst::String128 title;
  for (int c = 0; c < 128; ++c)
  {
    char text[16];
    if (kNamedControllers[c])
      std::snprintf(text, sizeof(text), "%s", kNamedControllers[c]);
    else
      std::snprintf(text, sizeof(text), "Contr. %d", c);
    WidenToString128(text, title);
    parameters.addParameter(title, nullptr, 0, 0.0, 0, static_cast<Steinberg::int32>(kMIDICCParamStartID + c),
                            channelUnit);
  }
  parameters.addParameter(STR16("Channel Aftertouch"), nullptr, 0, 0.0, 0,
                          static_cast<Steinberg::int32>(kMIDICCParamStartID + 128), channelUnit);
  parameters.addParameter(STR16("Pitch Bend"), nullptr, 0, 0.5, 0,
                          static_cast<Steinberg::int32>(kMIDICCParamStartID + 129), channelUnit);
}

Steinberg::tresult IPluginVST3ControllerBase::SetChannelContextInfos(Vst::IAttributeList* list)
{
  if (!list)
    return Steinberg::kResultFalse;
  ReadText(list, Vst::ChannelContext::kChannelNameKey, mChannelName);
  ReadText(list, Vst::ChannelContext::kChannelUIDKey, mChannelUID);
  int64 value = 0;
  if (list->getInt(Vst::ChannelContext::kChannelIndexKey, value) == kResultTrue)
    mChannelIndex = static_cast<int>(value);
  if (list->getInt(Vst::ChannelContext::kChannelColorKey, value) == kResultTrue)
    mChannelColour = static_cast<uint32_t>(value);
  if (list->getInt(Vst::ChannelContext::kChannelIndexNamespaceOrderKey, value) == kResultTrue)
    mChannelNamespaceOrder = static_cast<int>(value);
  ReadText(list, Vst::ChannelContext::kChannelIndexNamespaceKey, mChannelNamespace);
  list->getInt(Vst::ChannelContext::kChannelPluginLocationKey, value); // read, not kept
  return Steinberg::kResultOk;
}

} // namespace plug
