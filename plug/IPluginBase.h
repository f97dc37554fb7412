#pragma once

// The plug-in object's state layer: turns the parameter set into a state
// image and back, and keeps the preset slots. A state image is the editor
// size written by the plug-in's SaveState followed by every parameter's plain
// value as an 8-byte double, in index order.

#include "plug/IGfxEditorDelegate.h"
#include "plug/IPluginDefinition.h"
#include "plug/StateChunk.h"

#include <string>
#include <vector>

namespace plug {

/** One preset: a name and a captured state image. */
struct IPresetSlot
{
  bool initialized = false;
  std::string name = "empty";
  StateChunk state;
};

class IPluginBase : public IGfxEditorDelegate
{
public:
  explicit IPluginBase(const IPluginDefinition& definition);

  virtual void HostParameterInfoChanged() {}
  /** Default: the parameters only. True on success. */
  virtual bool SaveState(StateChunk& chunk) const;
  /** Default: the parameters only. The position after the data, or -1. */
  virtual int LoadState(const StateChunk& chunk, int startPos);
  virtual bool SaveControllerState(StateChunk& /*chunk*/) const { return true; }
  virtual int LoadControllerState(const StateChunk& /*chunk*/, int startPos) { return startPos; }
  virtual void PresetsChanged() {}

  /** Appends every parameter's plain value; false only when memory ran out. */
  bool SerializeParams(StateChunk& chunk) const;
  /**
   * Reads parameter values from pos until one cannot be read: that parameter is
   * set to Clamp(0.0) and the later ones keep their values. Then announces every
   * parameter with source kPresetRecall. Returns the final position (-1 after a
   * short chunk, or the negative start position unchanged).
   */
  int UnserializeParams(const StateChunk& chunk, int pos);

  /** Loads an initialized slot, or captures the current state into a new one. */
  bool RecallPreset(int index);
  /** The slot's name, "" outside the list. */
  const char* PresetNameAt(int index) const;
  int NPresets() const { return static_cast<int>(mPresets.size()); }
  int GetCurrentPresetIdx() const { return mCurrentPresetIdx; }
  bool StateAsChunk() const { return mStateAsChunk; }

private:
  std::vector<IPresetSlot> mPresets;
  int mCurrentPresetIdx = 0;
  bool mStateAsChunk = true;
};

} // namespace plug
