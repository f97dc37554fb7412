#pragma once

// The NanoVG backend on a test GL context, without a window: the platform
// operations do nothing, and the frame lands in the GL context's default
// framebuffer, where a window's would be, or, for a fixture that stands for a
// window taking pixels, in a window image of the test's. Render() paints a
// function through the real frame loop (dirty areas, clip, StartFrame ...
// FinishFrame) and reads the result back.

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
  /** A window that takes frames as pixels (on a software renderer): its image and the device areas put. */
  struct PixelWindow
  {
    bool topFirst = true;
    int rowBytes = 0;
    std::vector<uint8_t> image; // B, G, R, A
    std::vector<gfx::IArea> puts;
  };
  std::unique_ptr<PixelWindow> pixelWindow; // set before the context is made
  bool CanPutPixelsInWindow() override { return pixelWindow != nullptr; }
  uint8_t* WindowImage(int& rowBytes, bool& topFirst) override
  {
    PixelWindow& w = *pixelWindow;
    w.rowBytes = BackingWidth() * 4 + 12; // rows longer than the image, as an X or DIB image's may be
    w.image.resize(static_cast<size_t>(w.rowBytes) * BackingHeight());
    rowBytes = w.rowBytes;
    topFirst = w.topFirst;
    return w.image.data();
  }
  void PutWindowImage(int left, int top, int width, int height) override
  {
    pixelWindow->puts.emplace_back(float(left), float(top), float(left + width), float(top + height));
  }
  /** The window image's pixel at device (x, y), y from the top. */
  gfx::IRgba WindowImagePixel(int x, int y) const
  {
    const PixelWindow& w = *pixelWindow;
    const int row = w.topFirst ? y : BackingHeight() - 1 - y;
    const uint8_t* p = &w.image[static_cast<size_t>(row) * w.rowBytes + static_cast<size_t>(x) * 4];
    return gfx::IRgba(p[3], p[2], p[1], p[0]);
  }

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

  /**
   * Empty gl (and a reason in error) when no GL context can be had. With a
   * pixel window, frames are put into it where the renderer allows that.
   */
  static DrawingFixture Open(int width, int height, float drawScale, std::string& error,
                             std::unique_ptr<TestGfx::PixelWindow> pixelWindow = nullptr);

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
