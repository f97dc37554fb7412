#pragma once

// The NanoVG backend on a test GL context, without a window: the platform
// operations do nothing, and the frame lands in the GL context's default
// framebuffer, where a window's would be. Render() paints a function through
// the real frame loop (dirty areas, clip, StartFrame ... FinishFrame) and
// reads the result back.

#include "GLTestContext.h"

#include "gfx/controls/IControl.h"
#include "gfx/drawing/IGfxNanoVG.h"

#include <functional>
#include <memory>
#include <string>

namespace gfxtest {

class TestGfx : public gfx::IGfxNanoVG
{
public:
  TestGfx(int width, int height, float drawScale = 1.f, plug::IGfxEditorDelegate* delegate = nullptr)
    : IGfxNanoVG(delegate, width, height, 60, drawScale)
  {
  }
  ~TestGfx() override { OnContextDestroyed(); }

  void* OpenEditorWindow(void*) override { return nullptr; }
  void CloseEditorWindow() override {}
  void QueryCursorPosition(float& x, float& y) override { x = y = 0.f; }
  void SetCursorHidden(bool, bool) override {}
  void WarpCursor(float, float) override {}
  void CancelTextEntry() override {}
  void* WindowHandle() override { return nullptr; }
  /** What the stand-in window's back buffer is said to hold (0: unknown). */
  int bufferAge = 0;
  int WindowBufferAge() override { return bufferAge; }
  bool ReadClipboardText(std::string&) override { return false; }
  bool WriteClipboardText(const char*) override { return false; }
  gfx::EMsgBoxResult ShowMessageDialog(const char*, const char*, gfx::EMsgBoxType, MsgBoxCompletionFunc) override
  {
    return gfx::EMsgBoxResult::Cancel;
  }
  void AskForFile(std::string&, std::string&, gfx::EFileAction, const char*, FileDialogCompletionFunc) override {}
  void AskForDirectory(std::string&, FileDialogCompletionFunc) override {}
  bool AskForColour(gfx::IRgba&, const char*, ColourPickerCompletionFunc) override { return false; }
  bool OpenWebPage(const char*, const char*, const char*, const char*) override { return false; }
  void CreateNativeTextEntry(int, const gfx::ITextStyle&, const gfx::IArea&, int, const char*) override {}
  gfx::IMenuModel* ShowNativeMenu(gfx::IMenuModel&, const gfx::IArea&, bool& isAsync) override
  {
    isAsync = false;
    return nullptr;
  }
};

/** A control that paints with a function. */
class FunctionControl : public gfx::IControl
{
public:
  using PaintFunc = std::function<void(gfx::IGfx& g, const gfx::IArea& area)>;
  FunctionControl(const gfx::IArea& area, PaintFunc paint) : IControl(area), mPaint(std::move(paint)) {}
  void Paint(gfx::IGfx& g) override { mPaint(g, Area()); }

private:
  PaintFunc mPaint;
};

/** A GL context and a TestGfx of the editor size at a draw scale, with the NanoVG context made. */
struct DrawingFixture
{
  std::unique_ptr<GLTestContext> gl;
  std::unique_ptr<TestGfx> g;

  /** Empty gl (and a reason in error) when no GL context can be had. */
  static DrawingFixture Open(int width, int height, float drawScale, std::string& error);

  /**
   * Replaces the controls by one covering the editor that paints with the
   * function, draws a frame of the whole editor and returns the window's pixels.
   */
  Image Render(const FunctionControl::PaintFunc& paint);
  /** Draws a frame of only these (unscaled) areas with the controls as they are; returns the window's pixels. */
  Image RenderAreas(const gfx::IAreaList& areas);
  Image ReadWindow() const;
};

} // namespace gfxtest
