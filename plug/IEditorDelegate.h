#pragma once

// Bottom layer of the plug-in object: owns the parameter records and the
// hooks through which parameter values, control values and messages travel
// between the plug-in and its editor. Every hook has an empty or forwarding
// default; the layers above and the plug-in override what they need.

#include "plug/EditorSize.h"
#include "plug/IParam.h"
#include "plug/PlugStructs.h"
#include "plug/StateChunk.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace plug {

/** An item that the editor adds to the host's context menu of a parameter. */
struct IHostMenuItem
{
  std::string text;
  bool disabled = false;
};

/** Called with the index of the editor's item that the user chose. */
using HostMenuItemFunc = std::function<void(int itemIndex)>;

class IEditorDelegate
{
public:
  explicit IEditorDelegate(int nParams);
  virtual ~IEditorDelegate();
  IEditorDelegate(const IEditorDelegate&) = delete;
  IEditorDelegate& operator=(const IEditorDelegate&) = delete;

  /** The parameter record, or nullptr outside the list. */
  IParam* GetParameter(int paramIdx);
  const IParam* GetParameter(int paramIdx) const;
  int NParams() const { return static_cast<int>(mParams.size()); }

  int GetEditorWidth() const { return mEditorWidth; }
  int GetEditorHeight() const { return mEditorHeight; }
  void SetEditorDimensions(int width, int height);
  int GetMinWidth() const { return mMinWidth; }
  int GetMaxWidth() const { return mMaxWidth; }
  int GetMinHeight() const { return mMinHeight; }
  int GetMaxHeight() const { return mMaxHeight; }
  /** Limits given the wrong way round are swapped. */
  void SetEditorSizeLimits(int minWidth, int maxWidth, int minHeight, int maxHeight);
  EditorSizeLimits GetEditorSizeLimits() const { return {mMinWidth, mMaxWidth, mMinHeight, mMaxHeight}; }
  /** Limits of the user's draw scale kept in states (0.5 to 2 unless set; swapped like the size limits). */
  float GetMinScale() const { return mMinScale; }
  float GetMaxScale() const { return mMaxScale; }
  void SetEditorScaleLimits(float minScale, float maxScale);

  /** Opens the editor in the parent window; returns the editor's window (nullptr here). */
  virtual void* OpenEditor(void* parent);
  virtual void CloseEditor();
  virtual void OnParentResized(int /*width*/, int /*height*/) {}
  /** Sends every parameter's normalized value to the editor. */
  virtual void OnEditorOpened();
  virtual void OnEditorClosed() {}
  /**
   * User-interface thread: the open editor's frame clock ticked, before the
   * frame collects what changed. It ticks every framePeriodMs while the editor is open.
   */
  virtual void OnEditorFrameTick(double /*framePeriodMs*/) {}

  /** The plug-in's reaction to a changed parameter value. */
  virtual void OnParamChange(int /*paramIdx*/) {}
  virtual void OnParamChange(int paramIdx, int source, int sampleOffset);
  virtual void OnParamChangeForEditor(int /*paramIdx*/, int /*source*/) {}
  /** OnParamChange(i, source, -1) then OnParamChangeForEditor(i, source) for every parameter. */
  virtual void AnnounceAllParameters(int source);
  virtual void OnMidiForEditor(const IMidiMsg& /*message*/) {}
  virtual void OnSysexForEditor(const ISysEx& /*message*/) {}
  virtual bool ReceiveMessage(int /*messageTag*/, int /*controlTag*/, int /*dataSize*/, const void* /*data*/)
  {
    return false;
  }
  virtual void AfterStateRestored();

  virtual bool ForwardKeyDown(const IKeyEvent& /*key*/) { return false; }
  virtual bool ForwardKeyUp(const IKeyEvent& /*key*/) { return false; }

  // Towards the editor.
  virtual void SendControlValueToEditor(int /*controlTag*/, double /*normalized*/) {}
  virtual void SendControlMessageToEditor(int controlTag, int messageTag, int dataSize, const void* data);
  virtual void SendMessageToEditor(int messageTag, int dataSize, const void* data);
  virtual void SendMidiToEditor(const IMidiMsg& message);
  virtual void SendSysexToEditor(const ISysEx& message);
  virtual void SendParameterValueToEditor(int paramIdx, double value, bool normalized = false);

  // From the editor.
  virtual void PushAllParametersToHost() {}
  virtual void BeginHostEditFromEditor(int /*paramIdx*/) {}
  virtual void SetParameterFromEditor(int paramIdx, double normalized);
  virtual void EndHostEditFromEditor(int /*paramIdx*/) {}
  /** Whether the host window follows a size change of the editor. */
  virtual bool ResizeFromEditor(int /*width*/, int /*height*/, bool /*needsPlatformResize*/) { return false; }
  virtual void MidiFromEditor(const IMidiMsg& /*message*/) {}
  virtual void SysexFromEditor(const ISysEx& /*message*/) {}
  virtual bool MessageFromEditor(int /*messageTag*/, int /*controlTag*/, int /*dataSize*/, const void* /*data*/)
  {
    return false;
  }
  virtual void QueueMidiFromEditor(const IMidiMsg& /*message*/) {}
  virtual void QueueSysexFromEditor(const ISysEx& /*message*/) {}
  /**
   * Opens the host's context menu for a parameter at (x, y), device pixels in
   * the editor window, with the editor's items appended; choosing one of them
   * calls onItem with its index, possibly before this returns. False when the
   * host offers no such menu (the default: only a binding to a host API can).
   */
  virtual bool OpenHostParameterMenu(int /*paramIdx*/, int /*x*/, int /*y*/, const std::vector<IHostMenuItem>& /*items*/,
                                     HostMenuItemFunc /*onItem*/)
  {
    return false;
  }

  /** Editor width, height and scale in front of the parameters of a state image. */
  virtual bool SaveEditorSize(StateChunk& /*chunk*/) const { return true; }
  virtual int LoadEditorSize(const StateChunk& /*chunk*/, int pos) { return pos; }
  virtual void ApplyScreenScale(float /*scale*/) {}
  /** The scale the next OpenEditor opens the editor at (the host's, given before it opened). */
  virtual void SetOpeningScale(float /*scale*/) {}

private:
  std::vector<std::unique_ptr<IParam>> mParams;
  int mEditorWidth = 0;
  int mEditorHeight = 0;
  int mMinWidth = 10;
  int mMaxWidth = 100000;
  int mMinHeight = 10;
  int mMaxHeight = 100000;
  float mMinScale = 0.5f;
  float mMaxScale = 2.f;
};

} // namespace plug
