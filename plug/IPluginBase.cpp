#include "plug/IPluginBase.h"

#include "plug/Trace.h"

namespace plug {

IPluginBase::IPluginBase(const IPluginDefinition& definition)
  : IGfxEditorDelegate(definition.paramCount)
  , mPresets(definition.presetCount > 0 ? definition.presetCount : 0)
  , mStateAsChunk(definition.stateAsChunk)
{
}

bool IPluginBase::SaveState(StateChunk& chunk) const
{
  PLUG_TRACE("plug::IPluginBase::SaveState");
  return SerializeParams(chunk);
}

int IPluginBase::LoadState(const StateChunk& chunk, int startPos)
{
  PLUG_TRACE("plug::IPluginBase::LoadState");
  return UnserializeParams(chunk, startPos);
}

bool IPluginBase::SerializeParams(StateChunk& chunk) const
{
  PLUG_TRACE("plug::IPluginBase::SerializeParams");
  for (int i = 0; i < NParams(); ++i)
  {
    const double value = GetParameter(i)->GetPlain();
    if (chunk.Put(value) < 0)
      return false;
  }
  return true;
}

int IPluginBase::UnserializeParams(const StateChunk& chunk, int pos)
{
  PLUG_TRACE("plug::IPluginBase::UnserializeParams");
  for (int i = 0; i < NParams() && pos >= 0; ++i)
  {
    double value = 0.0;
    pos = chunk.Get(value, pos);
    GetParameter(i)->SetPlain(value);
  }
  for (int i = 0; i < NParams(); ++i)
  {
    OnParamChange(i, kPresetRecall, -1);
    OnParamChangeForEditor(i, kPresetRecall);
  }
  return pos;
}

bool IPluginBase::RecallPreset(int index)
{
  PLUG_TRACE("plug::IPluginBase::RecallPreset");
  if (index < 0 || index >= NPresets())
    return false;

  IPresetSlot& slot = mPresets[index];
  bool restored = false;
  if (slot.initialized)
    restored = LoadState(slot.state, 0) > 0;
  else
  {
    slot.initialized = true;
    int userPresets = 0;
    for (const IPresetSlot& other : mPresets)
      if (other.name.find("user preset") != std::string::npos)
        ++userPresets;
    slot.name = "user preset " + std::to_string(userPresets + 1);
    slot.state.Clear();
    restored = SaveState(slot.state);
  }

  if (restored)
  {
    mCurrentPresetIdx = index;
    AfterStateRestored();
    PresetsChanged();
  }
  return restored;
}

const char* IPluginBase::PresetNameAt(int index) const
{
  return index >= 0 && index < NPresets() ? mPresets[index].name.c_str() : "";
}

} // namespace plug
