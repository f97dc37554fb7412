#pragma once

// Editor delegate that owns the open editor (a plug::IEditor, in practice the
// graphics layer's context) while the editor is open. The plug-in installs
// MakeGraphicsFunction (creates the editor) and LayoutFunction (adds the
// controls when the editor opens its window). Closing the editor remembers its
// size and scale; the next opening, and the editor size stored in a state
// image, use them, clamped into the editor limits.
//
// SendParameterValueToEditor may run on any thread, the audio thread included
// (meter readings): it only stores the normalized value in a per-parameter
// atomic slot and raises the slot's flag. The editor's frame tick, on the
// user-interface thread, calls DeliverPendingEditorValues, which hands every
// flagged value to the editor's controls. No editor object is ever touched
// from another thread, so closing the editor waits for nobody.

#include "plug/IEditor.h"
#include "plug/IEditorDelegate.h"
#include "plug/IHostRunLoop.h"

#include <atomic>
#include <functional>
#include <memory>

namespace plug {

class IGfxEditorDelegate : public IEditorDelegate
{
public:
  using MakeGraphicsFunc = std::function<std::unique_ptr<IEditor>()>;
  using LayoutFunc = std::function<void(IEditor* editor)>;

  explicit IGfxEditorDelegate(int nParams);
  ~IGfxEditorDelegate() override;

  /** Builds the editor; the delegate owns the result. */
  MakeGraphicsFunc MakeGraphicsFunction;
  /** Fills an editor with controls; the editor calls BuildLayout while opening its window. */
  LayoutFunc LayoutFunction;

  /** The open editor, nullptr while the editor is closed. User-interface thread only. */
  IEditor* GetEditor() const { return mEditor.get(); }
  bool IsClosing() const { return mClosing; }

  /** Size and scale kept while no editor is open (0, 0, 0 before any). */
  int GetRememberedWidth() const { return mRememberedWidth; }
  int GetRememberedHeight() const { return mRememberedHeight; }
  float GetRememberedScale() const { return mRememberedScale; }
  /**
   * Remembers a size for the next opening: width and height are clamped into
   * the editor limits and the scale into the scale limits; the editor fits
   * them together when it opens. A zero (which stands for "no size"), a
   * negative or a non-finite value leaves nothing remembered.
   */
  void RememberEditorSize(int width, int height, float scale);
  /**
   * The window the remembered size opens (fitted as the editor fits it) at
   * that window scale; false when nothing is remembered.
   */
  bool RememberedWindowSize(float windowScale, int& width, int& height) const;

  /**
   * User-interface thread, once per editor frame: hands every value sent
   * since the last call to the open editor's controls (SetControlValuesOfParam),
   * lowest parameter index first. Without an open editor the values wait.
   */
  void DeliverPendingEditorValues();

  void* OpenEditor(void* parent) override;
  void CloseEditor() override;
  bool ForwardKeyDown(const IKeyEvent& key) override;
  bool ForwardKeyUp(const IKeyEvent& key) override;
  void SendControlValueToEditor(int controlTag, double normalized) override;
  void SendControlMessageToEditor(int controlTag, int messageTag, int dataSize, const void* data) override;
  void SendMidiToEditor(const IMidiMsg& message) override;
  /** Any thread; stores the value for the next frame of the editor (see above). */
  void SendParameterValueToEditor(int paramIdx, double value, bool normalized = false) override;
  bool SaveEditorSize(StateChunk& chunk) const override;
  int LoadEditorSize(const StateChunk& chunk, int pos) override;
  void ApplyScreenScale(float scale) override;
  void SetOpeningScale(float scale) override { mOpeningScale = scale; }

  /**
   * The host's run loop (Linux): set by the view while it is attached, before
   * the editor opens, and cleared after it closed. Null elsewhere.
   */
  void SetHostRunLoop(IHostRunLoop* runLoop) { mHostRunLoop = runLoop; }
  IHostRunLoop* HostRunLoop() const { return mHostRunLoop; }

  virtual std::unique_ptr<IEditor> BuildGraphics();
  virtual void BuildLayout(IEditor* editor);

private:
  struct PendingValue
  {
    std::atomic<double> normalized{0.0};
    std::atomic<bool> pending{false};
  };

  std::unique_ptr<PendingValue[]> mPendingValues; // one per parameter, sized once
  float mOpeningScale = 0.f;                      // none given
  /** Keeps a closed editor for the next opening, releasing the one another delegate parked. */
  void Park(std::unique_ptr<IEditor> editor);
  /** The parked editor, if this delegate has one (it keeps the display scale it had). */
  std::unique_ptr<IEditor> Unpark();

  std::unique_ptr<IEditor> mEditor;               // destroyed first: it may still call the delegate
  std::unique_ptr<IEditor> mParkedEditor;         // closed, keeping its graphics resources
  int mRememberedWidth = 0;
  int mRememberedHeight = 0;
  float mRememberedScale = 0.f;
  bool mClosing = false;
  IHostRunLoop* mHostRunLoop = nullptr;
};

} // namespace plug
