#include "ControlsTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <limits>

using namespace controlstest;
using gfx::IArea;
using gfx::IMouseMods;

namespace {

// "BlitBitmap(name,L,T,R,B,srcX,srcY,weight)" as the recording context writes it.
std::string Blit(const char* name, const IArea& dest, int srcX, int srcY, double weight = 1.0)
{
  char text[256];
  std::snprintf(text, sizeof(text), "BlitBitmap(%s,%g,%g,%g,%g,%d,%d,%g)", name, dest.L, dest.T, dest.R, dest.B, srcX,
                srcY, weight);
  return text;
}

// The one blit that painting the control alone records.
std::string PaintAlone(gfxtest::RecordingGfx& g, gfx::IControl& control)
{
  g.calls.clear();
  control.Paint(g);
  const std::vector<std::string> blits = g.CallsStartingWith("BlitBitmap");
  return blits.size() == 1 ? blits[0] : "(" + std::to_string(blits.size()) + " blits)";
}

const IMouseMods kLeft(true, false);
const IMouseMods kShift(true, false, true, false);
const IMouseMods kControl(true, false, false, true);

} // namespace

// --- Frames --------------------------------------------------------------------------

struct FrameCase
{
  const char* image;
  double value;
  int frame;
};

class BitmapFrames : public ::testing::TestWithParam<FrameCase>
{
};

TEST_P(BitmapFrames, ValueSelectsTheFrameRoundingHalfUp)
{
  const FrameCase& c = GetParam();
  Editor e;
  const std::string image = c.image;
  gfx::IBitmap bitmap = image == "knob" ? e.images.Knob() : image == "toggle" ? e.images.Toggle() : e.images.Panel();
  auto* control = e.Add(new gfx::IBitmapControl(10.f, 20.f, bitmap, 0));
  control->StoreValue(c.value, 0); // unclamped on purpose: painting must cope

  const int frameW = bitmap.FrameWidth();
  const int frameH = bitmap.FrameHeight();
  EXPECT_EQ(PaintAlone(e.gfx, *control),
            Blit("", IArea(10.f, 20.f, 10.f + frameW, 20.f + frameH), 0, c.frame * frameH));
}

INSTANTIATE_TEST_SUITE_P(
  Strips, BitmapFrames,
  ::testing::Values(FrameCase{"knob", 0.0, 0}, FrameCase{"knob", 0.004, 0}, FrameCase{"knob", 0.006, 1},
                    FrameCase{"knob", 0.5, 50}, FrameCase{"knob", 0.994, 99}, FrameCase{"knob", 0.995, 100},
                    FrameCase{"knob", 1.0, 100}, FrameCase{"knob", 1.3, 100}, FrameCase{"knob", -0.2, 0},
                    FrameCase{"knob", std::numeric_limits<double>::quiet_NaN(), 0}, FrameCase{"toggle", 0.0, 0},
                    FrameCase{"toggle", 0.49, 0}, FrameCase{"toggle", 0.5, 1}, FrameCase{"toggle", 1.0, 1},
                    FrameCase{"panel", 0.0, 0}, FrameCase{"panel", 0.7, 0}, FrameCase{"panel", 1.0, 0}));

TEST(BitmapControls, AreaIsOneFrameAtThePosition)
{
  Editor e;
  auto* knob = e.Add(new gfx::IBKnobControl(86.f, 67.f, e.images.Knob(), 0));
  auto* toggle = e.Add(new gfx::IBSwitchControl(285.f, 314.f, e.images.Toggle(), 1));
  auto* needle = e.Add(new gfx::IBitmapControl(744.f, 56.f, e.images.Needle(), 2));
  auto* strip = e.Add(new gfx::IBitmapControl(5.f, 5.f, e.images.Strip3()));
  EXPECT_EQ(knob->Area(), IArea(86.f, 67.f, 159.f, 140.f));
  EXPECT_EQ(knob->HitArea(), knob->Area());
  EXPECT_EQ(toggle->Area(), IArea(285.f, 314.f, 331.f, 340.f));
  EXPECT_EQ(needle->Area(), IArea(744.f, 56.f, 876.f, 126.f));
  EXPECT_EQ(strip->Area(), IArea(5.f, 5.f, 35.f, 25.f));
}

TEST(BitmapControls, HorizontalFramesAreTakenFromLeftToRight)
{
  Editor e;
  auto* strip = e.Add(new gfx::IBitmapControl(5.f, 5.f, e.images.Strip3()));
  const double values[] = {0.0, 0.5, 1.0};
  for (int frame = 0; frame < 3; ++frame)
  {
    strip->StoreValue(values[frame], 0);
    EXPECT_EQ(PaintAlone(e.gfx, *strip), Blit("", IArea(5.f, 5.f, 35.f, 25.f), 30 * frame, 0)) << frame;
  }
}

TEST(BitmapControls, FrameIsDrawnAtItsOwnSizeCentredOnTheArea)
{
  Editor e;
  auto* knob = e.Add(new gfx::IBKnobControl(100.f, 100.f, e.images.Knob(), 0));
  knob->SetTargetAndDrawAreas(IArea(100.f, 100.f, 200.f, 150.f)); // 100 x 50, centre (150, 125)
  knob->StoreValue(1.0, 0);
  EXPECT_EQ(PaintAlone(e.gfx, *knob), Blit("", IArea(113.5f, 88.5f, 186.5f, 161.5f), 0, 100 * 73));
}

TEST(BitmapControls, DisabledControlDrawsAtQuarterWeight)
{
  Editor e;
  auto* toggle = e.Add(new gfx::IBSwitchControl(0.f, 0.f, e.images.Toggle(), 1));
  toggle->SetDisabled(true);
  EXPECT_EQ(PaintAlone(e.gfx, *toggle), Blit("", IArea(0.f, 0.f, 46.f, 26.f), 0, 0, 0.25));
  toggle->SetDisabled(false);
  EXPECT_EQ(PaintAlone(e.gfx, *toggle), Blit("", IArea(0.f, 0.f, 46.f, 26.f), 0, 0, 1.0));
}

TEST(BitmapControls, FrameFollowsValuesFromThePlugin)
{
  Editor e;
  auto* needle = e.Add(new gfx::IBitmapControl(744.f, 56.f, e.images.Needle(), 2));
  e.Tick();
  e.gfx.SetControlValuesOfParam(2, 0.505);
  e.Tick();
  const std::vector<std::string> blits = e.gfx.CallsStartingWith("BlitBitmap");
  ASSERT_FALSE(blits.empty());
  EXPECT_EQ(blits.back(), Blit("", needle->Area(), 0, 51 * 70));
}

// --- Knob drag -----------------------------------------------------------------------------

struct DragCase
{
  const char* name;
  double start;
  std::vector<float> dYs; // one drag event each
  IMouseMods mods;
  double expected;
};

class KnobDrag : public ::testing::TestWithParam<DragCase>
{
};

TEST_P(KnobDrag, VerticalDragMovesTheValueByGearing)
{
  const DragCase& c = GetParam();
  Editor e;
  auto* knob = e.Add(new gfx::IBKnobControl(86.f, 67.f, e.images.Knob(), 0, 4.0)); // 73 high
  knob->StoreValue(c.start, 0);
  e.Press(120.f, 100.f, c.mods);
  float y = 100.f;
  for (float dY : c.dYs)
  {
    y += dY;
    e.Drag(120.f, y, 0.f, dY, c.mods);
  }
  e.Release(120.f, y, c.mods);
  EXPECT_NEAR(knob->Value(0), c.expected, 1e-9) << c.name;
  EXPECT_NEAR(e.delegate.GetParameter(0)->GetNormalized(), c.expected, 1e-9) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
  Gearing, KnobDrag,
  ::testing::Values(DragCase{"up one height", 0.0, {-73.f}, kLeft, 0.25},
                    DragCase{"down one height", 0.5, {73.f}, kLeft, 0.25},
                    DragCase{"up in small steps", 0.0, {-10.f, -20.f, -30.f, -13.f}, kLeft, 0.25},
                    DragCase{"shift is fine", 0.0, {-73.f}, kShift, 0.025},
                    DragCase{"control is fine", 0.5, {73.f}, kControl, 0.475},
                    DragCase{"clamped at the top", 0.9, {-300.f}, kLeft, 1.0},
                    DragCase{"clamped at the bottom", 0.1, {300.f}, kLeft, 0.0},
                    DragCase{"back from beyond the bottom", 0.5, {1000.f, -1.f}, kLeft, 1.0 / 292.0},
                    DragCase{"back from beyond the top", 0.5, {-1000.f, 2.f}, kLeft, 1.0 - 2.0 / 292.0}),
  [](const ::testing::TestParamInfo<DragCase>& info) {
    std::string name = info.param.name;
    for (char& ch : name)
      if (ch == ' ')
        ch = '_';
    return name;
  });

TEST(KnobControl, HorizontalDragIncreasesToTheRight)
{
  Editor e;
  auto* knob = e.Add(new gfx::IBKnobControl(86.f, 67.f, e.images.Knob(), 0));
  knob->SetDirection(gfx::EDirection::Horizontal);
  e.Press(120.f, 100.f);
  e.Drag(193.f, 100.f, 73.f, -500.f); // vertical movement does not count
  EXPECT_NEAR(knob->Value(0), 0.25, 1e-9);
  e.Drag(156.f, 100.f, -36.5f, 0.f);
  EXPECT_NEAR(knob->Value(0), 0.125, 1e-9);
}

TEST(KnobControl, DragReportsEveryStepInsideOneHostEdit)
{
  Editor e;
  e.Add(new gfx::IBKnobControl(86.f, 67.f, e.images.Knob(), 3));
  e.Press(120.f, 100.f);
  e.Drag(120.f, 63.5f, 0.f, -36.5f);
  e.Drag(120.f, 27.f, 0.f, -36.5f);
  e.Release(120.f, 27.f);
  EXPECT_EQ(e.delegate.events,
            (std::vector<std::string>{"Begin(3)", "Set(3,0.125)", "Set(3,0.25)", "End(3)"}));
}

TEST(KnobControl, CursorIsHiddenOnlyWhileTheKnobIsHeld)
{
  Editor e;
  e.Add(new gfx::IBKnobControl(86.f, 67.f, e.images.Knob(), 0));
  e.Press(120.f, 100.f);
  EXPECT_TRUE(e.gfx.IsCursorHidden());
  EXPECT_EQ(e.gfx.CallsStartingWith("SetCursorHidden"), std::vector<std::string>{"SetCursorHidden(1,1)"});
  e.Drag(120.f, 90.f, 0.f, -10.f);
  EXPECT_TRUE(e.gfx.IsCursorHidden());
  e.Release(120.f, 90.f);
  EXPECT_FALSE(e.gfx.IsCursorHidden());
}

TEST(KnobControl, SlowDragCrossesTheStepsOfASteppedParameter)
{
  Editor e;
  e.delegate.GetParameter(0)->SetupDouble("Stepped", 0.0, 0.0, 1.0, 0.25, "", plug::IParam::kFlagStepped);
  auto* knob = e.Add(new gfx::IBKnobControl(86.f, 67.f, e.images.Knob(), 0));
  e.Press(120.f, 100.f);
  std::vector<double> seen;
  for (int i = 0; i < 73; ++i) // one pixel at a time: 73 / 292 = 0.25 in all
  {
    e.Drag(120.f, 99.f - i, 0.f, -1.f);
    seen.push_back(knob->Value(0));
  }
  // Every value shown lies on a step, and the accumulated drag reaches the next one.
  for (double v : seen)
    EXPECT_DOUBLE_EQ(v, std::round(v * 4.0) / 4.0);
  EXPECT_DOUBLE_EQ(seen.front(), 0.0);
  EXPECT_DOUBLE_EQ(seen.back(), 0.25);
}

// --- Knob wheel and double click ---------------------------------------------------------

struct WheelCase
{
  const char* name;
  bool stepped;
  double start;
  float delta;
  IMouseMods mods;
  double expected;
};

class KnobWheel : public ::testing::TestWithParam<WheelCase>
{
};

TEST_P(KnobWheel, WheelNudgesOrSteps)
{
  const WheelCase& c = GetParam();
  Editor e;
  if (c.stepped)
    e.delegate.GetParameter(0)->SetupDouble("Stepped", 0.0, 0.0, 10.0, 1.0, "", plug::IParam::kFlagStepped);
  auto* knob = e.Add(new gfx::IBKnobControl(86.f, 67.f, e.images.Knob(), 0));
  plug::IParam* param = e.delegate.GetParameter(0);
  param->SetPlain(param->Denormalize(c.start));
  knob->StoreValue(c.start, 0);
  e.Wheel(120.f, 100.f, c.delta, c.mods);
  EXPECT_NEAR(knob->Value(0), c.expected, 1e-9) << c.name;
  // A notch that cannot move the value (an end stop, no delta) tells the host nothing.
  EXPECT_EQ(e.delegate.EventsStartingWith("Set").size(), c.expected != c.start ? 1u : 0u) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
  Steps, KnobWheel,
  ::testing::Values(WheelCase{"up", false, 0.5, 1.f, IMouseMods(), 0.51},
                    WheelCase{"down twice as far", false, 0.5, -2.f, IMouseMods(), 0.48},
                    WheelCase{"fine with control", false, 0.5, 1.f, IMouseMods(false, false, false, true), 0.501},
                    WheelCase{"fine with shift", false, 0.5, -1.f, IMouseMods(false, false, true), 0.499},
                    WheelCase{"clamped at the top", false, 0.995, 1.f, IMouseMods(), 1.0},
                    WheelCase{"clamped at the bottom", false, 0.0, -3.f, IMouseMods(), 0.0},
                    WheelCase{"one step up whatever the delta", true, 0.3, 3.f, IMouseMods(), 0.4},
                    WheelCase{"one step down for a small delta", true, 0.3, -0.25f, IMouseMods(), 0.2},
                    WheelCase{"stepped at the top stays", true, 1.0, 1.f, IMouseMods(), 1.0},
                    WheelCase{"zero delta keeps the value", true, 0.3, 0.f, IMouseMods(), 0.3}),
  [](const ::testing::TestParamInfo<WheelCase>& info) {
    std::string name = info.param.name;
    for (char& ch : name)
      if (ch == ' ')
        ch = '_';
    return name;
  });

TEST(KnobControl, DoubleClickResetsToTheDefaultAndReportsIt)
{
  Editor e;
  e.delegate.GetParameter(1)->SetupDouble("Threshold", 10.0, -60.0, 20.0, 0.1, "dB");
  auto* knob = e.Add(new gfx::IBKnobControl(86.f, 67.f, e.images.Knob(), 1));
  e.delegate.GetParameter(1)->SetPlain(-60.0);
  knob->StoreValue(0.0, 0);
  e.DoubleClick(120.f, 100.f);
  EXPECT_NEAR(knob->Value(0), 0.875, 1e-9); // 10 dB in -60..20
  EXPECT_EQ(e.delegate.events, (std::vector<std::string>{"Begin(1)", "Set(1,0.875)", "End(1)"}));
}

// --- Switches ---------------------------------------------------------------------------------

TEST(SwitchControl, ClicksToggleATwoFrameSwitchAndReportEachChange)
{
  Editor e;
  auto* toggle = e.Add(new gfx::IBSwitchControl(285.f, 314.f, e.images.Toggle(), 5));
  std::vector<double> values;
  for (int i = 0; i < 3; ++i)
  {
    e.Press(300.f, 320.f);
    e.Release(300.f, 320.f);
    values.push_back(toggle->Value(0));
  }
  EXPECT_EQ(values, (std::vector<double>{1.0, 0.0, 1.0}));
  EXPECT_EQ(e.delegate.EventsStartingWith("Set"),
            (std::vector<std::string>{"Set(5,1)", "Set(5,0)", "Set(5,1)"}));
  EXPECT_FALSE(e.gfx.IsCursorHidden());
  EXPECT_TRUE(e.gfx.CallsStartingWith("SetCursorHidden").empty());
}

TEST(SwitchControl, DoubleClickCountsAsAPressNotAReset)
{
  Editor e;
  e.delegate.GetParameter(5)->SetupDouble("Power", 1.0, 0.0, 1.0, 1.0);
  auto* toggle = e.Add(new gfx::IBSwitchControl(285.f, 314.f, e.images.Toggle(), 5));
  e.Press(300.f, 320.f);
  e.Release(300.f, 320.f);
  ASSERT_EQ(toggle->Value(0), 1.0);
  e.DoubleClick(300.f, 320.f); // the second press of a fast double click
  e.Release(300.f, 320.f);
  EXPECT_EQ(toggle->Value(0), 0.0);
}

TEST(SwitchControl, WheelDoesNothing)
{
  Editor e;
  auto* toggle = e.Add(new gfx::IBSwitchControl(285.f, 314.f, e.images.Toggle(), 5));
  e.Wheel(300.f, 320.f, 1.f);
  EXPECT_EQ(toggle->Value(0), 0.0);
  EXPECT_TRUE(e.delegate.EventsStartingWith("Set").empty());
}

TEST(SwitchControl, ThreeFramesCycleThroughTheMiddle)
{
  Editor e;
  auto* strip = e.Add(new gfx::IBSwitchControl(0.f, 0.f, e.images.Strip3(), 5));
  std::vector<double> values;
  for (int i = 0; i < 4; ++i)
  {
    e.Press(10.f, 10.f);
    e.Release(10.f, 10.f);
    values.push_back(strip->Value(0));
  }
  EXPECT_EQ(values, (std::vector<double>{0.5, 1.0, 0.0, 0.5}));
}

namespace {

// A switch that only has the base behaviour.
class PlainSwitch : public gfx::ISwitchControlBase
{
public:
  using ISwitchControlBase::ISwitchControlBase;
  void Paint(gfx::IGfx&) override {}
};

} // namespace

TEST(SwitchControl, BaseTakesItsStatesFromTheParameterRange)
{
  Editor e;
  e.delegate.GetParameter(4)->SetupDouble("Mode", 0.0, 0.0, 3.0, 1.0, "", plug::IParam::kFlagStepped);
  auto* multi = e.Add(new PlainSwitch(IArea(0.f, 0.f, 20.f, 20.f), 4));
  EXPECT_EQ(multi->NStates(), 4);
  std::vector<double> values;
  for (int i = 0; i < 5; ++i)
  {
    e.Press(10.f, 10.f);
    EXPECT_TRUE(multi->IsPointerDown());
    e.Release(10.f, 10.f);
    EXPECT_FALSE(multi->IsPointerDown());
    values.push_back(multi->Value(0));
  }
  ASSERT_EQ(values.size(), 5u);
  EXPECT_NEAR(values[0], 1.0 / 3.0, 1e-12);
  EXPECT_NEAR(values[1], 2.0 / 3.0, 1e-12);
  EXPECT_NEAR(values[2], 1.0, 1e-12); // three thirds land on the end, not past it
  EXPECT_EQ(values[3], 0.0);
  EXPECT_NEAR(values[4], 1.0 / 3.0, 1e-12);
}

TEST(SwitchControl, BaseTwoStateSwitchTurnsAnyNonZeroValueOff)
{
  Editor e;
  auto* plain = e.Add(new PlainSwitch(IArea(0.f, 0.f, 20.f, 20.f), 4));
  plain->StoreValue(0.4, 0);
  e.Press(10.f, 10.f);
  EXPECT_EQ(plain->Value(0), 0.0);
  e.Release(10.f, 10.f);
  e.Press(10.f, 10.f);
  EXPECT_EQ(plain->Value(0), 1.0);
}

// --- Image control -----------------------------------------------------------------------------

TEST(BitmapImageControl, DoubleClickResetsItsParameterButPressesDoNothing)
{
  Editor e;
  e.delegate.GetParameter(6)->SetupDouble("Power", 1.0, 0.0, 1.0, 1.0);
  e.delegate.GetParameter(6)->SetPlain(0.0);
  auto* lamp = e.Add(new gfx::IBitmapControl(733.f, 29.f, e.images.Toggle(), 6));
  e.Press(740.f, 40.f);
  e.Press(740.f, 40.f, IMouseMods(false, true)); // right press: the host's menu, not the control
  e.Release(740.f, 40.f);
  EXPECT_EQ(lamp->Value(0), 0.0);
  EXPECT_TRUE(e.delegate.EventsStartingWith("Set").empty());
  EXPECT_FALSE(e.gfx.IsCursorHidden());

  e.DoubleClick(740.f, 40.f);
  EXPECT_EQ(lamp->Value(0), 1.0);
  EXPECT_EQ(e.delegate.EventsStartingWith("Set"), std::vector<std::string>{"Set(6,1)"});
}

TEST(BitmapImageControl, LinkedControlsFollowAUserChange)
{
  Editor e;
  auto* lamp = e.Add(new gfx::IBitmapControl(733.f, 29.f, e.images.Toggle(), 6));
  e.Add(new gfx::IBSwitchControl(285.f, 142.f, e.images.Toggle(), 6));
  e.Press(300.f, 150.f);
  e.Release(300.f, 150.f);
  EXPECT_EQ(lamp->Value(0), 1.0);
  EXPECT_EQ(PaintAlone(e.gfx, *lamp), Blit("", IArea(733.f, 29.f, 779.f, 55.f), 0, 26));
}

// --- Repainting ----------------------------------------------------------------------------------

namespace {

// Ways a strip control's value moves to a target, each followed by a frame.
struct MoveCase
{
  const char* name;
  bool knob;     // else a needle meter (an image control)
  bool fromUser; // reported to the host
  void (*moveTo)(Editor& e, gfx::IControl& control, double target);
};

void FromThePlugin(Editor& e, gfx::IControl& control, double target)
{
  e.gfx.SetControlValuesOfParam(control.ParamIdx(0), target);
}

// Shift: 40 x 73 pixels for the whole range.
void ByFineDrag(Editor& e, gfx::IControl& control, double target)
{
  if (!e.gfx.IsCaptured(&control))
    e.Press(120.f, 100.f, kShift);
  const float dY = static_cast<float>((control.Value(0) - target) * 2920.0);
  e.Drag(120.f, 100.f, 0.f, dY, kShift);
}

// Control: 0.001 per wheel unit.
void ByFineWheel(Editor& e, gfx::IControl& control, double target)
{
  e.Wheel(120.f, 100.f, static_cast<float>((target - control.Value(0)) / 0.001), kControl);
}

class StripRepaint : public ::testing::TestWithParam<MoveCase>
{
};

} // namespace

TEST_P(StripRepaint, OnlyAValueThatSelectsAnotherFrameRepaints)
{
  const MoveCase& c = GetParam();
  Editor e;
  gfx::IControl* control = nullptr;
  if (c.knob)
    control = e.Add(new gfx::IBKnobControl(86.f, 67.f, e.images.Knob(), 3));
  else
    control = e.Add(new gfx::IBitmapControl(86.f, 67.f, e.images.Knob(), 3));
  control->StoreValue(0.5, 0); // frame 50 covers 0.495 up to 0.505
  e.Tick();
  ASSERT_FALSE(e.gfx.lastAreas.empty()) << "a new control is drawn once";

  // A meter settling, or a fine drag: hairs within frame 50, then one step
  // into frame 51, then hairs within frame 51.
  const double targets[] = {0.5003, 0.5006, 0.5012, 0.5024, 0.5049, 0.5054, 0.5060, 0.5080, 0.5140};
  std::vector<double> repaintedAt;
  for (double target : targets)
  {
    e.gfx.calls.clear();
    c.moveTo(e, *control, target);
    EXPECT_NEAR(control->Value(0), target, 1e-9) << c.name << ": the value follows every change";
    e.Tick();
    if (!e.gfx.lastAreas.empty())
    {
      repaintedAt.push_back(target);
      EXPECT_EQ(e.gfx.CallsStartingWith("BlitBitmap"),
                std::vector<std::string>{Blit("", control->Area(), 0, 51 * 73)})
        << c.name;
    }
  }
  EXPECT_EQ(repaintedAt, std::vector<double>{0.5054}) << c.name;
  if (e.gfx.IsCaptured(control))
    e.Release(120.f, 100.f, kShift);
  if (c.fromUser)
  {
    EXPECT_EQ(e.delegate.EventsStartingWith("Set").size(), std::size(targets)) << c.name << ": every change reported";
    EXPECT_NEAR(e.delegate.GetParameter(3)->GetNormalized(), 0.514, 1e-9) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, StripRepaint,
                         ::testing::Values(MoveCase{"needle", false, false, FromThePlugin},
                                           MoveCase{"knob_automated", true, false, FromThePlugin},
                                           MoveCase{"knob_dragged", true, true, ByFineDrag},
                                           MoveCase{"knob_wheeled", true, true, ByFineWheel}),
                         [](const ::testing::TestParamInfo<MoveCase>& info) { return info.param.name; });

// After a hair-sized change has left a control clean, every other reason to
// repaint still repaints it.
TEST(StripRepaint, OtherReasonsStillRepaint)
{
  const struct
  {
    const char* name;
    void (*act)(Editor& e, gfx::IControl& needle);
  } cases[] = {
    {"hidden", [](Editor&, gfx::IControl& n) { n.SetHidden(true); }},
    {"disabled", [](Editor&, gfx::IControl& n) { n.SetDisabled(true); }},
    {"everything marked", [](Editor& e, gfx::IControl&) { e.gfx.MarkAllDirty(); }},
    {"editor resized", [](Editor& e, gfx::IControl&) { e.gfx.SetEditorSize(998, 386, 1.5f); }},
    {"display rescaled", [](Editor& e, gfx::IControl&) { e.gfx.SetDisplayScale(2.f); }},
    {"reset to the default in another frame", [](Editor&, gfx::IControl& n) { n.ResetToDefault(); }},
  };
  for (const auto& c : cases)
  {
    Editor e;
    auto* needle = e.Add(new gfx::IBitmapControl(744.f, 56.f, e.images.Needle(), 2));
    e.gfx.SetControlValuesOfParam(2, 0.5);
    e.Tick();
    e.gfx.SetControlValuesOfParam(2, 0.501);
    ASSERT_FALSE(needle->IsDirty()) << c.name;
    c.act(e, *needle);
    e.Tick();
    EXPECT_FALSE(e.gfx.lastAreas.empty()) << c.name;
  }
}

TEST(StripRepaint, AHairArrivingWhileAControlIsDirtyKeepsItDirty)
{
  Editor e;
  auto* needle = e.Add(new gfx::IBitmapControl(744.f, 56.f, e.images.Needle(), 2));
  e.gfx.SetControlValuesOfParam(2, 0.5);
  e.Tick();
  needle->SetHidden(true);
  e.Tick();
  needle->SetHidden(false); // to be drawn again...
  e.gfx.SetControlValuesOfParam(2, 0.501); // ...whatever the value does
  e.gfx.calls.clear();
  e.Tick();
  EXPECT_EQ(e.gfx.CallsStartingWith("BlitBitmap").size(), 1u);
}

TEST(StripRepaint, SwitchesAndTheLampFollowAClickInTheSameFrame)
{
  Editor e;
  auto* lamp = e.Add(new gfx::IBitmapControl(733.f, 29.f, e.images.Toggle(), 6));
  auto* power = e.Add(new gfx::IBSwitchControl(285.f, 142.f, e.images.Toggle(), 6));
  e.Tick();
  for (int click = 0; click < 2; ++click)
  {
    e.gfx.calls.clear();
    e.Press(300.f, 150.f);
    e.Release(300.f, 150.f);
    e.Tick();
    const int frame = click == 0 ? 1 : 0;
    const std::vector<std::string> blits = e.gfx.CallsStartingWith("BlitBitmap");
    EXPECT_NE(std::find(blits.begin(), blits.end(), Blit("", lamp->Area(), 0, 26 * frame)), blits.end()) << click;
    EXPECT_NE(std::find(blits.begin(), blits.end(), Blit("", power->Area(), 0, 26 * frame)), blits.end()) << click;
  }
}

// A drag that moves the bubble to a new knob repaints everything, the knob
// too, although its first step stays within its frame; later steps within
// the frame repaint only the bubble.
TEST(StripRepaint, TheBubbleMovingToAKnobStillRepaintsTheKnob)
{
  Editor e;
  auto* bubble = new gfx::IValueBubbleControl(5.f);
  e.gfx.AddValueBubble(bubble);
  auto* knob = e.Add(new gfx::IBKnobControl(86.f, 239.f, e.images.Knob(), 3));
  knob->SetActionFunction([](gfx::IControl* c) {
    c->GraphicsContext()->ShowValueBubble(c, c->Area().MW(), c->Area().T, "x", 0, IArea(0.f, 0.f, 50.f, 20.f));
  });
  knob->StoreValue(0.5, 0);
  e.Tick();
  e.Press(120.f, 270.f, kShift);
  e.Drag(120.f, 269.f, 0.f, -1.f, kShift);
  EXPECT_TRUE(knob->IsDirty()) << "the bubble's first show marks everything";
  e.Tick();
  e.gfx.calls.clear();
  e.Drag(120.f, 268.f, 0.f, -1.f, kShift);
  EXPECT_FALSE(knob->IsDirty());
  e.Tick();
  EXPECT_EQ(e.gfx.lastAreas, gfx::IAreaList{bubble->Area().GetPadded(0.75f)}) << "only the fading bubble";
  e.Release(120.f, 268.f, kShift);
}

// --- Images from the module's resources ------------------------------------------------------

TEST(BitmapResources, EditorImagesKeepTheirFramesAcrossDisplayScalesAndReloads)
{
  Editor e;
  const gfx::IBitmap knobImage = e.gfx.RequestBitmap("KNOB.png", 101);
  const gfx::IBitmap switchImage = e.gfx.RequestBitmap("SWITCH.png", 2);
  ASSERT_TRUE(knobImage.IsValid()) << e.gfx.LastResourceError();
  ASSERT_TRUE(switchImage.IsValid()) << e.gfx.LastResourceError();
  auto* knob = e.Add(new gfx::IBKnobControl(86.f, 67.f, knobImage, 0));
  auto* toggle = e.Add(new gfx::IBSwitchControl(285.f, 314.f, switchImage, 1));
  knob->StoreValue(1.0, 0);
  toggle->StoreValue(1.0, 0);
  const std::string knobAtEnd = Blit("KNOB.png", IArea(86.f, 67.f, 159.f, 140.f), 0, 100 * 73);
  const std::string switchOn = Blit("SWITCH.png", IArea(285.f, 314.f, 331.f, 340.f), 0, 26);
  EXPECT_EQ(PaintAlone(e.gfx, *knob), knobAtEnd);
  EXPECT_EQ(PaintAlone(e.gfx, *toggle), switchOn);

  e.gfx.SetDisplayScale(2.f); // the double-resolution images are the ones already loaded
  EXPECT_EQ(knob->Area(), IArea(86.f, 67.f, 159.f, 140.f));
  EXPECT_EQ(PaintAlone(e.gfx, *knob), knobAtEnd);

  // The backend's images are gone (a new GL context): a rescale loads them again.
  e.gfx.ClearBitmapCache();
  e.gfx.calls.clear();
  e.gfx.SetDisplayScale(1.f);
  EXPECT_EQ(e.gfx.CallsStartingWith("LoadBackendBitmap"),
            (std::vector<std::string>{"LoadBackendBitmap(146,14746,2)", "LoadBackendBitmap(92,104,2)"}));
  EXPECT_EQ(knob->Bitmap().GetAPIBitmap(), e.gfx.RequestBitmap("KNOB.png", 101).GetAPIBitmap());
  EXPECT_EQ(PaintAlone(e.gfx, *knob), knobAtEnd);
  EXPECT_EQ(PaintAlone(e.gfx, *toggle), switchOn);
}

TEST(BitmapResources, AnImageThatCannotBeReloadedIsNotDrawn)
{
  Editor e;
  gfxtest::RecordingBitmap stale(20, 20, 1.f, 1.f);
  auto* image = e.Add(new gfx::IBitmapControl(0.f, 0.f, gfx::IBitmap(&stale, 1, false, "MISSING.png")));
  EXPECT_FALSE(image->Bitmap().IsValid());
  EXPECT_EQ(image->Bitmap().GetName(), "MISSING.png"); // kept for the next attempt
  EXPECT_EQ(image->Area(), IArea(0.f, 0.f, 20.f, 20.f));
  EXPECT_EQ(PaintAlone(e.gfx, *image), "(0 blits)");
}
