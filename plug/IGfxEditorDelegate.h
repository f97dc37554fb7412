#pragma once

// Editor delegate that owns the editor's graphics context while the editor
// is open. The plug-in installs MakeGraphicsFunction (creates the context)
// and LayoutFunction (adds the controls when the context opens its window).
// Closing the editor remembers its size and scale; the next opening, and the
// editor size stored in a state image, use them. SendParameterValueToEditor
// may run on the audio thread (meter readings): closing the editor waits for
// such a call to leave the context before destroying it.

#include "plug/IEditorDelegate.h"
#include "plug/IGraphicsContext.h"

#include <atomic>
#include <functional>
#include <memory>

namespace plug {

class IGfxEditorDelegate : public IEditorDelegate
{
public:
  using MakeGraphicsFunc = std::function<std::unique_ptr<IGraphicsContext>()>;
  using LayoutFunc = std::function<void(IGraphicsContext* graphics)>;

  explicit IGfxEditorDelegate(int nParams);
  ~IGfxEditorDelegate() override;

  /** Builds the editor's graphics context; the delegate owns the result. */
  MakeGraphicsFunc MakeGraphicsFunction;
  /** Fills a graphics context with controls; the context calls BuildLayout while opening its window. */
  LayoutFunc LayoutFunction;

  /** The open editor's context, nullptr while the editor is closed. */
  IGraphicsContext* GetGraphics() const { return mGraphics.get(); }
  bool IsClosing() const { return mClosing; }

  /** Size and scale kept while no editor is open (0, 0, 0 before any). */
  int GetRememberedWidth() const { return mRememberedWidth; }
  int GetRememberedHeight() const { return mRememberedHeight; }
  float GetRememberedScale() const { return mRememberedScale; }
  void RememberEditorSize(int width, int height, float scale);

  void* OpenEditor(void* parent) override;
  void CloseEditor() override;
  bool ForwardKeyDown(const IKeyEvent& key) override;
  bool ForwardKeyUp(const IKeyEvent& key) override;
  void SendControlValueToEditor(int controlTag, double normalized) override;
  void SendControlMessageToEditor(int controlTag, int messageTag, int dataSize, const void* data) override;
  void SendMidiToEditor(const IMidiMsg& message) override;
  void SendParameterValueToEditor(int paramIdx, double value, bool normalized = false) override;
  bool SaveEditorSize(StateChunk& chunk) const override;
  int LoadEditorSize(const StateChunk& chunk, int pos) override;
  void ApplyScreenScale(float scale) override;

  virtual std::unique_ptr<IGraphicsContext> BuildGraphics();
  virtual void BuildLayout(IGraphicsContext* graphics);

private:
  void DestroyGraphics();

  std::unique_ptr<IGraphicsContext> mGraphics;
  std::atomic<IGraphicsContext*> mSharedGraphics{nullptr}; // mGraphics as seen from other threads
  std::atomic<int> mSharedGraphicsUsers{0};
  int mRememberedWidth = 0;
  int mRememberedHeight = 0;
  float mRememberedScale = 0.f;
  bool mClosing = false;
};

} // namespace plug
