#pragma once

// A small editor for the tests of the controls: the recording delegate with
// parameters, the recording graphics context on it, a frame clock the test steps, pointer
// helpers, and backend images with the frame layouts of the editor's artwork.

#include "RecordingGfx.h"

#include "gfx/gfx.h"
#include "plug/IGfxEditorDelegate.h"

#include <string>
#include <vector>

namespace controlstest {

using gfxtest::Call;

/** The recording delegate with parameters 0..nParams-1, linear 0..1 with default 0 unless a test sets them up again. */
class LoggingDelegate : public gfxtest::RecordingDelegate
{
public:
  explicit LoggingDelegate(int nParams) : RecordingDelegate(nParams)
  {
    for (int i = 0; i < nParams; ++i)
      GetParameter(i)->SetupDouble("Param", 0.0, 0.0, 1.0, 0.001);
  }

  /** The events starting with prefix. */
  std::vector<std::string> EventsStartingWith(const std::string& prefix) const
  {
    std::vector<std::string> found;
    for (const std::string& e : events)
    {
      if (e.compare(0, prefix.size(), prefix) == 0)
        found.push_back(e);
    }
    return found;
  }
};

/** Backend images sized like the editor's artwork at scale 2 (only their size matters here). */
struct Images
{
  gfxtest::RecordingBitmap knob{146, 14746, 2.f, 1.f};  // 101 frames of 73 x 73
  gfxtest::RecordingBitmap toggle{92, 104, 2.f, 1.f};   // 2 frames of 46 x 26
  gfxtest::RecordingBitmap needle{265, 14140, 2.f, 1.f}; // 101 frames of 132 x 70
  gfxtest::RecordingBitmap panel{1996, 772, 2.f, 1.f};  // 1 frame of 998 x 386
  gfxtest::RecordingBitmap strip3{90, 20, 1.f, 1.f};    // 3 frames of 30 x 20, side by side

  // No name: nothing to reload, so the control keeps exactly this image.
  gfx::IBitmap Knob() { return gfx::IBitmap(&knob, 101, false, ""); }
  gfx::IBitmap Toggle() { return gfx::IBitmap(&toggle, 2, false, ""); }
  gfx::IBitmap Needle() { return gfx::IBitmap(&needle, 101, false, ""); }
  gfx::IBitmap Panel() { return gfx::IBitmap(&panel, 1, false, ""); }
  gfx::IBitmap Strip3() { return gfx::IBitmap(&strip3, 3, true, ""); }
};

/** The delegate, the recording context on it, and a 60 Hz frame clock. */
struct Editor
{
  static constexpr double kFrameMs = 1000.0 / 60.0;

  Images images;
  LoggingDelegate delegate{8};
  gfxtest::RecordingGfx gfx{&delegate};
  double nowMs = 1000.0;

  /** One frame at the next tick of the clock. */
  void Tick() { TickAt(nowMs + kFrameMs); }
  void TickAt(double ms)
  {
    nowMs = ms;
    gfx.Frame(ms);
  }
  void TickFor(double ms)
  {
    const double end = nowMs + ms;
    while (nowMs + kFrameMs <= end + 1e-9)
      Tick();
  }

  template <typename T>
  T* Add(T* control)
  {
    gfx.AddControl(control);
    return control;
  }

  void Press(float x, float y, const gfx::IMouseMods& mods = gfx::IMouseMods(true, false))
  {
    gfx.DispatchMouseDown({gfx::IMouseState(x, y, mods)});
  }
  void Drag(float x, float y, float dX, float dY, const gfx::IMouseMods& mods = gfx::IMouseMods(true, false))
  {
    gfx.DispatchMouseDrag({gfx::IMouseState(x, y, mods, dX, dY)});
  }
  void Release(float x, float y, const gfx::IMouseMods& mods = gfx::IMouseMods(true, false))
  {
    gfx.DispatchMouseUp({gfx::IMouseState(x, y, mods)});
  }
  void DoubleClick(float x, float y) { gfx.DispatchDoubleClick(gfx::IMouseState(x, y, gfx::IMouseMods(true, false))); }
  void Wheel(float x, float y, float delta, const gfx::IMouseMods& mods = gfx::IMouseMods())
  {
    gfx.DispatchWheel(x, y, mods, delta);
  }
};

} // namespace controlstest
