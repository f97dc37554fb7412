#include "ControlsTestSupport.h"

#include <gtest/gtest.h>

using namespace controlstest;
using gfx::IArea;
using gfx::IMouseMods;

namespace {

struct ResizerEditor : Editor
{
  gfx::ICornerResizerControl* resizer = new gfx::ICornerResizerControl(IArea(0.f, 0.f, 998.f, 386.f), 20.f);
  ResizerEditor() { gfx.AddCornerResizer(resizer, 0, false); }

  // The platform hands over pointer positions in unscaled pixels: device pixels divided by the scale.
  void PressAtDevice(float px, float py)
  {
    const float s = gfx.GetDrawScale();
    Press(px / s, py / s);
  }
  void DragToDevice(float px, float py)
  {
    const float s = gfx.GetDrawScale();
    Drag(px / s, py / s, 1.f, 1.f);
  }
  void ReleaseAtDevice(float px, float py)
  {
    const float s = gfx.GetDrawScale();
    Release(px / s, py / s);
  }
};

} // namespace

TEST(CornerResizer, CornerKeepsItsScreenSizeAtEveryScale)
{
  gfx::ICornerResizerControl alone(IArea(0.f, 0.f, 998.f, 386.f), 20.f);
  EXPECT_EQ(alone.Area(), IArea(979.f, 367.f, 997.f, 385.f)); // before it knows the editor

  ResizerEditor e;
  EXPECT_EQ(e.resizer->Area(), IArea(978.f, 366.f, 998.f, 386.f));
  e.gfx.SetEditorSize(998, 386, 2.f);
  EXPECT_EQ(e.resizer->Area(), IArea(988.f, 376.f, 998.f, 386.f));
  EXPECT_EQ(e.resizer->HitArea(), e.resizer->Area());
  e.gfx.SetEditorSize(998, 386, 0.5f);
  EXPECT_EQ(e.resizer->Area(), IArea(958.f, 346.f, 998.f, 386.f));
}

TEST(CornerResizer, DragScalesTheEditorWithinItsLimitsReportingEachChangeOnce)
{
  ResizerEditor e;
  e.PressAtDevice(990.f, 380.f);
  EXPECT_TRUE(e.gfx.ResizingInProgress());

  struct Step
  {
    float px, py;  // pointer in device pixels
    float scale;   // draw scale after the move
  };
  const Step steps[] = {
    {1485.f, 570.f, 1.5f},   // both directions half as far again
    {1485.f, 760.f, 1.5f},   // the smaller of the two ratios wins
    {3000.f, 3000.f, 2.f},   // beyond the largest size: clamped
    {4000.f, 3500.f, 2.f},   // still beyond: no change to report
    {100.f, 100.f, 0.5f},    // below the smallest size: clamped
    {990.f, 380.f, 1.f},     // back to the start
  };
  for (const Step& s : steps)
  {
    e.DragToDevice(s.px, s.py);
    EXPECT_FLOAT_EQ(e.gfx.GetDrawScale(), s.scale) << s.px << "," << s.py;
    EXPECT_EQ(e.gfx.GetWidth(), 998);
    EXPECT_EQ(e.gfx.GetHeight(), 386);
  }
  EXPECT_EQ(e.delegate.EventsStartingWith("ResizeFromEditor"),
            (std::vector<std::string>{"ResizeFromEditor(1497,579)", "ResizeFromEditor(1996,772)", "ResizeFromEditor(499,193)", "ResizeFromEditor(998,386)"}));
  e.ReleaseAtDevice(990.f, 380.f);
  EXPECT_FALSE(e.gfx.ResizingInProgress());
}

TEST(CornerResizer, ReleaseAfterADragPutsTheCornerAtTheNewScale)
{
  ResizerEditor e;
  e.PressAtDevice(990.f, 380.f);
  e.DragToDevice(1980.f, 760.f);
  e.ReleaseAtDevice(1980.f, 760.f);
  EXPECT_FLOAT_EQ(e.gfx.GetDrawScale(), 2.f);
  EXPECT_EQ(e.resizer->Area(), IArea(988.f, 376.f, 998.f, 386.f));
}

TEST(CornerResizer, DoubleClickReturnsToTheInitialSizeAtScaleOne)
{
  ResizerEditor e;
  e.gfx.SetEditorSize(998, 386, 1.75f);
  e.delegate.events.clear();
  e.DoubleClick(995.f, 383.f);
  EXPECT_FLOAT_EQ(e.gfx.GetDrawScale(), 1.f);
  EXPECT_EQ(e.gfx.GetWidth(), 998);
  EXPECT_EQ(e.gfx.GetHeight(), 386);
  EXPECT_EQ(e.delegate.EventsStartingWith("ResizeFromEditor"), std::vector<std::string>{"ResizeFromEditor(998,386)"});
}

TEST(CornerResizer, TakesThePressBeforeTheControlsBelowIt)
{
  ResizerEditor e;
  auto* under = e.Add(new gfx::IBSwitchControl(960.f, 360.f, e.images.Toggle(), 1)); // to (1006, 386)
  e.Press(990.f, 380.f);
  EXPECT_TRUE(e.gfx.ResizingInProgress());
  EXPECT_EQ(under->Value(0), 0.0);
  e.Release(990.f, 380.f);
  e.Press(965.f, 380.f); // outside the corner: the switch
  EXPECT_FALSE(e.gfx.ResizingInProgress());
  EXPECT_EQ(under->Value(0), 1.0);
}

TEST(CornerResizer, ShowsTheDiagonalCursorWhileThePointerIsOverIt)
{
  ResizerEditor e;
  e.gfx.SetCursorShape(gfx::ECursor::Hand);
  e.gfx.calls.clear();
  e.gfx.DispatchMouseOver(990.f, 380.f, IMouseMods());
  e.gfx.DispatchMouseOver(992.f, 381.f, IMouseMods());
  EXPECT_EQ(e.gfx.CursorShape(), gfx::ECursor::SizeNWSE);
  EXPECT_TRUE(e.resizer->PointerIsOver());
  e.gfx.DispatchMouseOver(500.f, 200.f, IMouseMods());
  EXPECT_EQ(e.gfx.CursorShape(), gfx::ECursor::Hand);
  EXPECT_FALSE(e.resizer->PointerIsOver());
  EXPECT_EQ(e.gfx.CallsStartingWith("SetCursorShape"),
            (std::vector<std::string>{"SetCursorShape(5)", "SetCursorShape(11)"}));
}

TEST(CornerResizer, PaintsTheLowerRightHalfDarkerWhenPointedAtOrDragged)
{
  ResizerEditor e;
  auto paint = [&e] {
    e.gfx.calls.clear();
    e.resizer->Paint(e.gfx);
    return e.gfx.calls;
  };
  const std::vector<std::string> rest = paint();
  EXPECT_EQ(rest, (std::vector<std::string>{"PathReset", "PathMove(978,386)", "PathLine(998,366)",
                                            "PathLine(998,386)", "PathCloseFigure", "Fill(10,0,0,0,1)"}));
  e.gfx.DispatchMouseOver(990.f, 380.f, IMouseMods());
  EXPECT_EQ(paint().back(), "Fill(255,0,0,0,1)");
  e.gfx.DispatchMouseLeave();
  EXPECT_EQ(paint().back(), "Fill(10,0,0,0,1)");
  e.Press(990.f, 380.f);
  EXPECT_EQ(paint().back(), "Fill(255,0,0,0,1)");
}
