#include "ControlsTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace controlstest;
using gfx::EBubbleArrowSide;
using gfx::EBubbleState;
using gfx::IArea;

namespace {

// A control that only occupies an area.
class Spot : public gfx::IControl
{
public:
  explicit Spot(const IArea& area, int paramIdx = -1) : IControl(area, paramIdx) {}
  void Paint(gfx::IGfx&) override {}
};

// What the editor's controls do after a change: the parameter's value and
// units, centred above the control, in a box of at least 50 x 20.
void ShowValue(gfx::IControl* control)
{
  std::string text;
  if (const plug::IParam* param = control->Param(0))
  {
    param->FormatValue(param->GetPlain(), false, text);
    if (*param->GetUnitsText())
      text += std::string(" ") + param->GetUnitsText();
  }
  control->GraphicsContext()->ShowValueBubble(control, control->Area().MW(), control->Area().T, text.c_str(), 0,
                                              IArea(0.f, 0.f, 50.f, 20.f));
}

struct BubbleEditor : Editor
{
  gfx::IValueBubbleControl* bubble = new gfx::IValueBubbleControl(5.f);
  BubbleEditor() { gfx.AddValueBubble(bubble); }
};

} // namespace

// --- Placement ----------------------------------------------------------------------------------

struct PlacementCase
{
  const char* name;
  IArea caller;
  float x, y;
  const char* text;
  int direction;
  IArea box;
  EBubbleArrowSide arrow;
};

class BubblePlacement : public ::testing::TestWithParam<PlacementCase>
{
};

// The recording context measures 7 pixels per character and 14 high.
TEST_P(BubblePlacement, BoxAndArrowFollowThePoint)
{
  const PlacementCase& c = GetParam();
  BubbleEditor e;
  auto* caller = e.Add(new Spot(c.caller));
  e.gfx.ShowValueBubble(caller, c.x, c.y, c.text, c.direction, IArea(0.f, 0.f, 50.f, 20.f));
  EXPECT_EQ(e.bubble->BubbleArea(), c.box) << c.name;
  EXPECT_EQ(e.bubble->ArrowSide(), c.arrow) << c.name;
  EXPECT_EQ(e.bubble->BubbleText(), c.text) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
  Rules, BubblePlacement,
  ::testing::Values(
    PlacementCase{"top-row knob: above", {86, 67, 159, 140}, 122.5f, 67.f, "10.0 dB", 0, {82.5f, 27, 162.5f, 67},
                  EBubbleArrowSide::Bottom},
    PlacementCase{"lower-row knob: above", {86, 239, 159, 312}, 122.5f, 239.f, "-3.5 dB", 0,
                  {82.5f, 199, 162.5f, 239}, EBubbleArrowSide::Bottom},
    PlacementCase{"one character: minimum box", {86, 67, 159, 140}, 122.5f, 67.f, "5", 0, {82.5f, 27, 162.5f, 67},
                  EBubbleArrowSide::Bottom},
    PlacementCase{"wide text widens the box", {63, 366, 220, 383}, 141.5f, 366.f, "Oversampling Off", 0,
                  {70.5f, 326, 212.5f, 366}, EBubbleArrowSide::Bottom},
    PlacementCase{"exactly room above", {100, 40, 173, 113}, 136.5f, 40.f, "1", 0, {96.5f, 0, 176.5f, 40},
                  EBubbleArrowSide::Bottom},
    PlacementCase{"no room above: below", {100, 10, 173, 83}, 136.5f, 10.f, "1", 0, {96.5f, 83, 176.5f, 123},
                  EBubbleArrowSide::Top},
    PlacementCase{"left edge: no horizontal correction", {0, 100, 20, 120}, 10.f, 100.f, "1", 0, {-30, 60, 50, 100},
                  EBubbleArrowSide::Bottom},
    PlacementCase{"beside: right of the point", {100, 100, 150, 120}, 150.f, 110.f, "1", 1, {150, 90, 230, 130},
                  EBubbleArrowSide::Left},
    PlacementCase{"beside, no room right: left of the caller", {900, 100, 950, 120}, 950.f, 110.f, "1", 1,
                  {820, 90, 900, 130}, EBubbleArrowSide::Right}),
  [](const ::testing::TestParamInfo<PlacementCase>& info) {
    std::string name;
    for (const char* p = info.param.name; *p; ++p)
      name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
  });

TEST(ValueBubble, ShowsTheParameterTextOfTheChangedKnob)
{
  BubbleEditor e;
  e.delegate.GetParameter(0)->SetupDouble("Threshold Int", 10.0, -60.0, 20.0, 0.1, "dB");
  auto* knob = e.Add(new gfx::IBKnobControl(86.f, 67.f, e.images.Knob(), 0));
  knob->SetActionFunction(ShowValue);
  EXPECT_TRUE(e.bubble->IsHidden());
  e.DoubleClick(120.f, 100.f);
  EXPECT_EQ(e.bubble->BubbleText(), "10.0 dB");
  EXPECT_EQ(e.bubble->BubbleArea(), IArea(82.5f, 27.f, 162.5f, 67.f));
  EXPECT_FALSE(e.bubble->IsHidden());
}

// Every change a user makes shows the value, whichever way it came and
// whether the editor serves several fingers or one pointer.
TEST(ValueBubble, EveryUserChangeShowsIt)
{
  struct Change
  {
    const char* what;
    std::function<void(Editor& e)> act;
  };
  const Change changes[] = {
    {"drag", [](Editor& e) { e.Press(120.f, 100.f); e.Drag(120.f, 90.f, 0.f, -10.f); e.Release(120.f, 90.f); }},
    {"wheel", [](Editor& e) { e.Wheel(120.f, 100.f, 1.f); }},
    {"double click", [](Editor& e) { e.DoubleClick(120.f, 100.f); }},
  };
  for (bool multiTouch : {false, true})
  {
    for (const Change& c : changes)
    {
      SCOPED_TRACE(std::string(c.what) + (multiTouch ? ", multi-touch" : ", single pointer"));
      BubbleEditor e;
      e.gfx.SetMultiTouchEnabled(multiTouch);
      auto* knob = e.Add(new gfx::IBKnobControl(86.f, 67.f, e.images.Knob(), 0));
      knob->StoreValue(0.5, 0);
      knob->SetActionFunction(ShowValue);
      c.act(e);
      EXPECT_FALSE(e.bubble->IsHidden());
      EXPECT_NE(e.bubble->BubbleText(), "");
    }
  }
}

TEST(ValueBubble, NeverTakesThePointer)
{
  BubbleEditor e;
  auto* knob = e.Add(new gfx::IBKnobControl(86.f, 67.f, e.images.Knob(), 0));
  knob->SetActionFunction(ShowValue);
  auto* below = e.Add(new gfx::IBKnobControl(86.f, 0.f, e.images.Knob(), 1)); // under the bubble's box
  e.Wheel(120.f, 100.f, 1.f);
  e.Tick();
  ASSERT_TRUE(e.bubble->BubbleArea().Contains(120.f, 50.f));
  EXPECT_EQ(e.gfx.HitTestControl(120.f, 50.f, false), below);
  e.Wheel(120.f, 50.f, 1.f);
  EXPECT_NEAR(below->Value(0), 0.01, 1e-9);
}

// --- Painting -----------------------------------------------------------------------------------

TEST(ValueBubble, PaintsABoxWhoseArrowPointsAtTheCaller)
{
  BubbleEditor e;
  auto* caller = e.Add(new Spot(IArea(86.f, 67.f, 159.f, 140.f)));
  e.TickAt(1000.0);
  e.gfx.ShowValueBubble(caller, 122.5f, 67.f, "10.0 dB", 0, IArea(0.f, 0.f, 50.f, 20.f));
  e.TickAt(1100.0); // half-way through the fade-in
  e.gfx.calls.clear();
  e.bubble->Paint(e.gfx);
  const std::vector<std::string>& calls = e.gfx.calls;
  // Inner box (92.5, 37, 152.5, 57): corners of radius 5, the arrow in the bottom edge.
  const std::vector<std::string> path(calls.begin() + 1, calls.begin() + 11);
  EXPECT_EQ(path, (std::vector<std::string>{
                    "PathMove(92.5,42)", "PathAddArc(97.5,42,5,270,360,0)", "PathAddArc(147.5,42,5,0,90,0)",
                    "PathAddArc(147.5,52,5,90,180,0)", "PathLine(127.5,57)", "PathLine(122.5,67)",
                    "PathLine(117.5,57)", "PathAddArc(97.5,52,5,180,270,0)", "PathCloseFigure",
                    "Fill(255,255,255,255,0.475)"}));
  EXPECT_EQ(e.gfx.CallsStartingWith("Stroke"), std::vector<std::string>{"Stroke(255,0,0,0,2,0,0.475)"});
  EXPECT_EQ(e.gfx.CallsStartingWith("PrintText"), std::vector<std::string>{"PrintText(10.0 dB,92.5,37,152.5,57,0.475)"});
}

TEST(ValueBubble, ArrowOnTopPointsUpAtTheCallersBottom)
{
  BubbleEditor e;
  auto* caller = e.Add(new Spot(IArea(100.f, 10.f, 173.f, 83.f)));
  e.gfx.ShowValueBubble(caller, 136.5f, 10.f, "1", 0, IArea(0.f, 0.f, 50.f, 20.f));
  e.gfx.calls.clear();
  e.bubble->Paint(e.gfx);
  const std::vector<std::string> lines = e.gfx.CallsStartingWith("PathLine");
  EXPECT_EQ(lines, (std::vector<std::string>{"PathLine(131.5,93)", "PathLine(136.5,83)", "PathLine(141.5,93)"}));
}

// --- Fade timeline ------------------------------------------------------------------------------

struct FadePoint
{
  double ms; // frame time after the show at 1000 ms
  EBubbleState state;
  float opacity;
  bool hidden;
};

TEST(ValueBubble, FadesInHoldsAndFadesOutOnTheFrameClock)
{
  BubbleEditor e;
  auto* caller = e.Add(new Spot(IArea(86.f, 67.f, 159.f, 140.f)));
  e.TickAt(1000.0);
  e.gfx.ShowValueBubble(caller, 122.5f, 67.f, "1", 0, IArea(0.f, 0.f, 50.f, 20.f));
  EXPECT_EQ(e.bubble->FadeState(), EBubbleState::FadingIn);
  EXPECT_EQ(e.bubble->Opacity(), 0.f);

  // A phase ends at the first frame after its length has passed.
  const FadePoint timeline[] = {
    {1100.0, EBubbleState::FadingIn, 0.475f, false},  {1200.0, EBubbleState::FadingIn, 0.95f, false},
    {1201.0, EBubbleState::Holding, 0.95f, false},    {2201.0, EBubbleState::Holding, 0.95f, false},
    {2202.0, EBubbleState::FadingOut, 0.95f, false},  {2302.0, EBubbleState::FadingOut, 0.475f, false},
    {2402.0, EBubbleState::FadingOut, 0.f, false},    {2403.0, EBubbleState::Hidden, 0.f, true},
  };
  for (const FadePoint& p : timeline)
  {
    e.TickAt(p.ms);
    EXPECT_EQ(e.bubble->FadeState(), p.state) << p.ms;
    EXPECT_FLOAT_EQ(e.bubble->Opacity(), p.opacity) << p.ms;
    EXPECT_EQ(e.bubble->IsHidden(), p.hidden) << p.ms;
  }
  // The frame that hid it repaints where it was; then nothing is drawn any more.
  bool erased = false;
  for (const IArea& a : e.gfx.lastAreas)
    erased = erased || a.Contains(e.bubble->BubbleArea());
  EXPECT_TRUE(erased);
  EXPECT_FALSE(e.bubble->HasAnimation());
  EXPECT_FALSE(e.gfx.Frame(2500.0));
}

TEST(ValueBubble, StaysWhileTheKnobIsHeldAndFadesSoonAfterTheRelease)
{
  BubbleEditor e;
  auto* knob = e.Add(new gfx::IBKnobControl(86.f, 67.f, e.images.Knob(), 0));
  knob->SetActionFunction(ShowValue);
  e.Tick();
  e.Press(120.f, 100.f);
  e.Drag(120.f, 90.f, 0.f, -10.f);
  const double pressed = e.nowMs;
  e.TickFor(250.0);
  while (e.nowMs < pressed + 5000.0)
  {
    e.Tick();
    ASSERT_EQ(e.bubble->FadeState(), EBubbleState::Holding) << e.nowMs - pressed;
    ASSERT_FLOAT_EQ(e.bubble->Opacity(), 0.95f);
  }
  e.Release(120.f, 90.f);
  const double released = e.nowMs;
  while (e.bubble->FadeState() == EBubbleState::Holding && e.nowMs < released + 1000.0)
    e.Tick();
  // Held, the bubble is checked every 200 ms: the fade-out starts at the first check after the release.
  EXPECT_EQ(e.bubble->FadeState(), EBubbleState::FadingOut);
  EXPECT_LE(e.nowMs - released, 200.0 + Editor::kFrameMs);
  while (!e.bubble->IsHidden() && e.nowMs < released + 2000.0)
    e.Tick();
  EXPECT_TRUE(e.bubble->IsHidden());
  EXPECT_LE(e.nowMs - released, 400.0 + 2 * Editor::kFrameMs);
}

TEST(ValueBubble, ASecondClickChangesTheTextButNotTheTimeline)
{
  BubbleEditor e;
  e.delegate.GetParameter(3)->SetupDouble("Oversampling", 0.0, 0.0, 1.0, 1.0);
  e.delegate.GetParameter(3)->AddDisplayText(0.0, "Oversampling Off");
  e.delegate.GetParameter(3)->AddDisplayText(1.0, "Oversampling On");
  auto* toggle = e.Add(new gfx::IBSwitchControl(63.f, 366.f, e.images.Toggle(), 3));
  toggle->SetActionFunction(ShowValue);
  e.Tick();
  const double first = e.nowMs;
  e.Press(70.f, 370.f);
  e.Release(70.f, 370.f);
  EXPECT_EQ(e.bubble->BubbleText(), "Oversampling On");
  e.TickFor(500.0);
  e.Press(70.f, 370.f);
  e.Release(70.f, 370.f);
  EXPECT_EQ(e.bubble->BubbleText(), "Oversampling Off");

  e.TickAt(first + 1200.0);
  EXPECT_EQ(e.bubble->FadeState(), EBubbleState::Holding);
  e.TickAt(first + 1250.0);
  EXPECT_EQ(e.bubble->FadeState(), EBubbleState::FadingOut);
  e.TickAt(first + 1500.0);
  EXPECT_TRUE(e.bubble->IsHidden());
}

TEST(ValueBubble, AShowDuringTheFadeOutDoesNotBringItBack)
{
  BubbleEditor e;
  auto* caller = e.Add(new Spot(IArea(86.f, 67.f, 159.f, 140.f)));
  const IArea minimum(0.f, 0.f, 50.f, 20.f);
  e.TickAt(1000.0);
  e.gfx.ShowValueBubble(caller, 122.5f, 67.f, "1", 0, minimum);
  e.TickAt(1201.0);
  e.TickAt(2202.0);
  ASSERT_EQ(e.bubble->FadeState(), EBubbleState::FadingOut);
  e.TickAt(2252.0);
  e.gfx.ShowValueBubble(caller, 122.5f, 67.f, "2", 0, minimum);
  EXPECT_EQ(e.bubble->BubbleText(), "2");
  e.TickAt(2302.0);
  EXPECT_EQ(e.bubble->FadeState(), EBubbleState::FadingOut);
  EXPECT_FLOAT_EQ(e.bubble->Opacity(), 0.475f);
  e.TickAt(2403.0);
  EXPECT_TRUE(e.bubble->IsHidden());

  // The next change after that starts a new cycle.
  e.gfx.ShowValueBubble(caller, 122.5f, 67.f, "3", 0, minimum);
  EXPECT_EQ(e.bubble->FadeState(), EBubbleState::FadingIn);
  EXPECT_FALSE(e.bubble->IsHidden());
  e.TickAt(2503.0);
  EXPECT_FLOAT_EQ(e.bubble->Opacity(), 0.475f);
}

// --- Repainting ---------------------------------------------------------------------------------

TEST(ValueBubble, MovingForTheSameCallerRepaintsBothPlacesAnotherCallerRepaintsAll)
{
  BubbleEditor e;
  auto* a = e.Add(new Spot(IArea(86.f, 67.f, 159.f, 140.f)));
  auto* b = e.Add(new Spot(IArea(457.f, 239.f, 530.f, 312.f)));
  const IArea minimum(0.f, 0.f, 50.f, 20.f);
  e.gfx.ShowValueBubble(a, 122.5f, 67.f, "1", 0, minimum);
  e.Tick();
  e.gfx.ShowValueBubble(a, 132.5f, 67.f, "1", 0, minimum);
  EXPECT_EQ(e.bubble->Area(), IArea(82.5f, 27.f, 172.5f, 67.f));

  e.Tick();
  e.gfx.ShowValueBubble(b, 493.5f, 239.f, "1", 0, minimum);
  EXPECT_EQ(e.bubble->Area(), IArea(453.5f, 199.f, 533.5f, 239.f));
  EXPECT_TRUE(a->IsDirty());
  EXPECT_TRUE(b->IsDirty());
}
