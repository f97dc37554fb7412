#include "RecordingGfx.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <random>

using gfx::IArea;
using gfx::IAreaList;
using gfx::IControl;
using gfx::IMouseMods;
using gfx::IMouseState;
using gfxtest::Call;
using gfxtest::RecordingControl;
using gfxtest::RecordingDelegate;
using gfxtest::RecordingGfx;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

const IMouseMods kLeft{true, false};
const IMouseMods kRight{false, true};

std::vector<IMouseState> Press(float x, float y, const IMouseMods& mods = kLeft, float dX = 0.f, float dY = 0.f)
{
  return {IMouseState(x, y, mods, dX, dY)};
}

class GfxContextTest : public testing::Test
{
protected:
  RecordingControl* Add(const char* name, const IArea& area, int paramIdx = -1)
  {
    auto* control = new RecordingControl(log, name, area, paramIdx);
    g.AddControl(control);
    names[control] = name;
    return control;
  }

  std::string Name(const IControl* control) const
  {
    if (!control)
      return "none";
    const auto it = names.find(control);
    return it == names.end() ? "?" : it->second;
  }

  RecordingDelegate delegate{4};
  RecordingGfx g{&delegate};
  std::vector<std::string> log;
  std::map<const IControl*, std::string> names;
};

// --- Hit testing ------------------------------------------------------------------

class HitTest : public GfxContextTest
{
protected:
  void SetUp() override
  {
    Add("bg", IArea(0, 0, 998, 386));
    Add("a", IArea(10, 10, 110, 110));
    Add("b", IArea(60, 60, 160, 160)); // added later: on top of a where they overlap
    Add("hidden", IArea(200, 10, 300, 110))->SetHidden(true);
    Add("disabled", IArea(310, 10, 410, 110))->SetDisabled(true);
    RecordingControl* events = Add("disabledWithEvents", IArea(420, 10, 520, 110));
    events->SetDisabled(true);
    events->SetEventsWhenDisabled(true);
    Add("ignores", IArea(20, 20, 40, 40))->SetIgnoresPointer(true);
    Add("zeroHitArea", IArea(600, 10, 700, 110))->SetHitArea(IArea());
    g.SetHoverEnabled(true);
  }
};

TEST_F(HitTest, TopmostQualifyingControlTakesThePointer)
{
  const struct
  {
    float x, y;
    const char* expected;
  } cases[] = {
    {70, 70, "b"},                    // overlap: the later control wins
    {30, 30, "a"},                    // a control that ignores the pointer lets it through
    {15, 15, "a"},
    {60, 60, "b"},                    // left and top edges belong to the control
    {159.9f, 100, "b"},
    {160, 100, "bg"},                 // right edge does not
    {250, 50, "bg"},                  // hidden controls are never hit
    {350, 50, "bg"},                  // disabled ones neither...
    {450, 50, "disabledWithEvents"},  // ...unless they ask for events
    {650, 50, "bg"},                  // an all-zero hit area is never hit
    {-1, -1, "none"},
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    EXPECT_EQ(Name(g.HitTestControl(c.x, c.y, false)), c.expected);
  }
}

TEST_F(HitTest, MouseOverSkipsTheBackgroundAndNeedsHover)
{
  EXPECT_EQ(Name(g.HitTestControl(70, 70, false, true)), "b");
  EXPECT_EQ(g.MouseOverIndex(), 2);
  EXPECT_EQ(Name(g.HitTestControl(800, 300, false, true)), "none");
  EXPECT_EQ(g.MouseOverIndex(), -1);
  EXPECT_EQ(Name(g.HitTestControl(450, 50, false, true)), "none") << "disabled without the mouse-over flag";
  g.SetHoverEnabled(false);
  EXPECT_EQ(Name(g.HitTestControl(70, 70, false, true)), "none");
}

TEST_F(HitTest, ACapturedControlKeepsThePointerWherever_ItMoves)
{
  EXPECT_EQ(Name(g.HitTestControl(70, 70, true)), "b");
  EXPECT_EQ(Name(g.HitTestControl(900, 300, false)), "b");
  EXPECT_EQ(Name(g.HitTestControl(900, 300, false, false, 7)), "bg") << "another pointer is not held";
  g.ClearCaptures();
  EXPECT_EQ(Name(g.HitTestControl(900, 300, false)), "bg");
}

TEST_F(HitTest, SecondPointerOnACapturedControlDependsOnMultiTouch)
{
  IControl* a = g.HitTestControl(30, 30, true, false, 1);
  EXPECT_EQ(Name(g.HitTestControl(31, 31, true, false, 2)), "a") << "multi-touch off: captured again";
  EXPECT_THAT(g.TouchesHolding(a), ElementsAre(1, 2));
  g.ClearCaptures();

  g.SetMultiTouchEnabled(true);
  g.HitTestControl(30, 30, true, false, 1);
  EXPECT_EQ(Name(g.HitTestControl(31, 31, true, false, 2)), "none");
  a->SetAcceptsMultiTouch(true);
  EXPECT_EQ(Name(g.HitTestControl(31, 31, true, false, 3)), "a");
}

// --- Dispatch -------------------------------------------------------------------------

TEST_F(GfxContextTest, DragKeepsCaptureOutsideTheControlAndBracketsTheHostEdit)
{
  Add("bg", IArea(0, 0, 998, 386));
  Add("knob", IArea(10, 10, 110, 110), 2);
  g.DispatchMouseDown(Press(50, 50));
  g.DispatchMouseDrag(Press(500, 300, kLeft, 450, 250)); // far outside the knob
  g.DispatchMouseDrag(Press(500, 300, kLeft, 0, 0));     // no movement: not delivered
  g.DispatchMouseDrag(Press(501, 300, kLeft, 1, 0));
  g.DispatchMouseUp(Press(501, 300));
  g.DispatchMouseDrag(Press(505, 300, kLeft, 4, 0)); // released: nobody holds the pointer
  EXPECT_THAT(log, ElementsAre("knob:Down(50,50,0)", "knob:Drag(500,300,450,250)", "knob:Drag(501,300,1,0)",
                               "knob:Up(501,300)"));
  EXPECT_THAT(delegate.events, ElementsAre(Call("Begin", {2}), Call("End", {2})));
}

TEST_F(GfxContextTest, RightPressOnABoundControlOpensTheHostMenuInsteadOfThePress)
{
  Add("bg", IArea(0, 0, 998, 386));
  RecordingControl* bound = Add("bound", IArea(10, 10, 110, 110), 1);
  Add("free", IArea(200, 10, 300, 110));
  bound->contextItems = {"Copy", "Paste"};
  delegate.hostMenuChoice = 1;
  g.SetEditorSize(998, 386, 1.5f);
  delegate.events.clear();

  g.DispatchMouseDown(Press(20, 30, kRight));
  EXPECT_THAT(delegate.events, ElementsAre(Call("HostMenu", {1, 30, 45, 2})));
  EXPECT_EQ(delegate.lastHostMenuItems[1].text, "Paste");
  EXPECT_THAT(log, ElementsAre("bound:ContextMenuItem(1)"));
  EXPECT_FALSE(g.IsCaptured(bound));

  log.clear();
  g.DispatchMouseDown(Press(250, 50, kRight));
  EXPECT_THAT(log, ElementsAre("free:Down(250,50,1)"));
}

TEST_F(GfxContextTest, DoubleClickResetsToTheDefaultInsideAHostEditAndEndsTheCapture)
{
  RecordingControl* knob = Add("knob", IArea(10, 10, 110, 110), 0);
  delegate.GetParameter(0)->SetupDouble("Gain", 0.25, 0.0, 1.0, 0.01);
  delegate.GetParameter(0)->SetPlain(0.8);
  knob->StoreValue(0.8);
  g.DispatchDoubleClick(IMouseState(50, 50, kLeft));
  EXPECT_DOUBLE_EQ(knob->Value(), 0.25);
  EXPECT_THAT(delegate.events, ElementsAre(Call("Begin", {0}), Call("Set", {0, 0.25}), Call("End", {0})));
  EXPECT_FALSE(g.IsCaptured(knob));
}

TEST_F(GfxContextTest, DoubleClickOnASwitchIsASecondPress)
{
  RecordingControl* button = Add("switch", IArea(10, 10, 110, 110));
  button->SetDoubleClickAsPress(true);
  g.DispatchDoubleClick(IMouseState(50, 50, kLeft));
  EXPECT_THAT(log, ElementsAre("switch:Down(50,50,0)"));
  EXPECT_TRUE(g.IsCaptured(button));
}

// The recording control changes no value: the host hears of no edit (the
// edits of turns that change a value are in HostEditTest).
TEST_F(GfxContextTest, WheelGoesToTheControlUnderThePointerAndTheHostHearsOnlyOfAChange)
{
  Add("knob", IArea(10, 10, 110, 110), 3);
  g.DispatchWheel(50, 50, IMouseMods(), 2.f);
  g.DispatchWheel(500, 300, IMouseMods(), 1.f);
  g.DispatchWheel(50, 50, IMouseMods(), 0.f);
  EXPECT_THAT(log, ElementsAre("knob:Wheel(50,50,2)"));
  EXPECT_THAT(delegate.events, IsEmpty());
}

TEST_F(GfxContextTest, KeysGoToTheControlUnderThePointerThenTheKeyHandlerNeverTheBackground)
{
  Add("bg", IArea(0, 0, 998, 386))->takesKeys = true;
  RecordingControl* knob = Add("knob", IArea(10, 10, 110, 110));
  std::vector<int> handled;
  g.SetKeyHandlerFunc([&handled](const gfx::IKeyEvent& key, bool isUp) {
    handled.push_back(isUp ? -key.vk : key.vk);
    return true;
  });
  gfx::IKeyEvent key;
  key.vk = 37;
  EXPECT_TRUE(g.OnKeyDown(500, 300, key));  // over the background: straight to the handler
  EXPECT_TRUE(g.OnKeyDown(50, 50, key));    // the knob declines
  knob->takesKeys = true;
  EXPECT_TRUE(g.OnKeyDown(50, 50, key));
  EXPECT_TRUE(g.OnKeyUp(50, 50, key));
  EXPECT_THAT(log, ElementsAre("knob:KeyDown(50,50,37)", "knob:KeyDown(50,50,37)"));
  EXPECT_THAT(handled, ElementsAre(37, 37, -37));
  g.SetKeyHandlerFunc(nullptr);
  EXPECT_FALSE(g.OnKeyDown(500, 300, key));
}

TEST_F(GfxContextTest, MouseOverMovesBetweenControlsAndLeavesWithThePointer)
{
  Add("bg", IArea(0, 0, 998, 386));
  Add("a", IArea(10, 10, 110, 110));
  Add("b", IArea(200, 10, 300, 110));
  EXPECT_FALSE(g.DispatchMouseOver(50, 50, IMouseMods())) << "hover is off by default";
  g.SetHoverEnabled(true);
  EXPECT_TRUE(g.DispatchMouseOver(50, 50, IMouseMods()));
  g.DispatchMouseOver(60, 50, IMouseMods());
  EXPECT_TRUE(g.DispatchMouseOver(250, 50, IMouseMods()));
  EXPECT_FALSE(g.DispatchMouseOver(500, 300, IMouseMods())) << "the background takes no mouse-over";
  g.DispatchMouseOver(250, 50, IMouseMods());
  g.DispatchMouseLeave();
  EXPECT_THAT(log, ElementsAre("a:Over", "a:Out", "b:Over", "b:Out", "b:Over", "b:Out"));
  EXPECT_EQ(g.MouseOverControl(), nullptr);
}

TEST_F(GfxContextTest, FileDropReachesTheControlUnderIt)
{
  Add("a", IArea(10, 10, 110, 110));
  g.DispatchFileDrop("/tmp/x.wav", 50, 50);
  g.DispatchFileDrop("/tmp/y.wav", 500, 50);
  EXPECT_THAT(log, ElementsAre("a:Drop(/tmp/x.wav)"));
}

// --- Frames and dirty areas -------------------------------------------------------------

// Marks itself dirty again while it is being painted, once.
class RepaintingControl : public RecordingControl
{
public:
  using RecordingControl::RecordingControl;
  void Paint(gfx::IGfx& g) override
  {
    RecordingControl::Paint(g);
    if (dirtyAgain)
    {
      dirtyAgain = false;
      MarkDirty(false);
    }
  }
  bool dirtyAgain = false;
};

TEST_F(GfxContextTest, AFrameDrawsOnlyWhatIsDirtyAndAChangeDuringDrawingIsNotLost)
{
  Add("bg", IArea(0, 0, 998, 386));
  auto* a = new RepaintingControl(log, "a", IArea(10, 10, 110, 110));
  g.AddControl(a);
  RecordingControl* far = Add("far", IArea(600, 200, 700, 300));

  EXPECT_TRUE(g.Frame(0.0)); // everything starts dirty
  g.calls.clear();
  log.clear();
  EXPECT_FALSE(g.Frame(16.0)) << "nothing changed";
  EXPECT_THAT(g.calls, IsEmpty());

  a->dirtyAgain = true;
  a->MarkDirty(false);
  EXPECT_TRUE(g.Frame(32.0));
  EXPECT_THAT(g.lastAreas, ElementsAre(IArea(9.25f, 9.25f, 110.75f, 110.75f)));
  EXPECT_THAT(log, ElementsAre("bg:Paint", "a:Paint")) << "the far control does not meet the area";
  EXPECT_THAT(g.CallsStartingWith("SetClipArea"), ElementsAre("SetClipArea(9,9,111,111)", "SetClipArea(9,9,111,111)"));

  log.clear();
  EXPECT_TRUE(g.Frame(48.0)) << "dirtied while drawing: drawn in the next frame";
  EXPECT_THAT(log, ElementsAre("bg:Paint", "a:Paint"));
  EXPECT_FALSE(g.Frame(64.0));
  (void)far;
}

// A host hides the editor's window (a closed plug-in window, another tab):
// nothing is drawn however often the frame ticks, and what changed meanwhile
// is drawn by the first tick once it shows again. The platform is asked only
// when there is something to draw, as its answer may cost a server round trip.
TEST_F(GfxContextTest, AHiddenWindowDrawsNothingAndShowsWhatChangedOnceVisibleAgain)
{
  Add("bg", IArea(0, 0, 998, 386));
  RecordingControl* a = Add("a", IArea(10, 10, 110, 110));
  RecordingControl* far = Add("far", IArea(600, 200, 700, 300));
  g.Frame(0.0);
  for (int i = 1; i <= 5; ++i)
    EXPECT_FALSE(g.Frame(16.0 * i));
  EXPECT_EQ(g.showingAsked, 1) << "asked at rest";

  g.showing = false;
  g.calls.clear();
  log.clear();
  for (int i = 6; i <= 20; ++i)
  {
    a->MarkDirty(false);
    EXPECT_FALSE(g.Frame(16.0 * i)) << "frame " << i;
    EXPECT_TRUE(g.lastAreas.empty());
  }
  EXPECT_THAT(g.calls, IsEmpty()) << "no frame started while hidden";
  EXPECT_THAT(log, IsEmpty());
  EXPECT_TRUE(a->IsDirty()) << "the change waits for the window to show";
  EXPECT_FALSE(far->IsDirty());

  g.showing = true;
  EXPECT_TRUE(g.Frame(16.0 * 21));
  EXPECT_THAT(g.lastAreas, ElementsAre(IArea(9.25f, 9.25f, 110.75f, 110.75f)));
  EXPECT_THAT(log, ElementsAre("bg:Paint", "a:Paint"));
  EXPECT_FALSE(g.Frame(16.0 * 22));
}

TEST_F(GfxContextTest, HiddenBackgroundIsStillDrawnHiddenControlsAreNot)
{
  Add("bg", IArea(0, 0, 998, 386))->SetHidden(true);
  Add("a", IArea(10, 10, 110, 110))->SetHidden(true);
  g.Frame(0.0);
  EXPECT_THAT(log, ElementsAre("bg:Paint"));
}

TEST_F(GfxContextTest, StrictDrawingPaintsTheUnionOnce)
{
  Add("a", IArea(10, 10, 20, 20));
  Add("b", IArea(100, 100, 110, 110));
  g.SetStrictDrawing(true);
  g.Frame(0.0);
  EXPECT_THAT(log, ElementsAre("a:Paint", "b:Paint"));
  EXPECT_THAT(g.CallsStartingWith("StartFrame"), testing::SizeIs(1));
}

TEST(GfxContextValues, ValuesSentToTheEditorReachItsControlsAtTheNextFrame)
{
  RecordingDelegate delegate(4);
  RecordingGfx* g = nullptr;
  std::vector<std::string> log;
  RecordingControl* meter = nullptr;
  RecordingControl* other = nullptr;
  delegate.MakeGraphicsFunction = [&] {
    auto made = std::make_unique<RecordingGfx>(&delegate);
    g = made.get();
    return made;
  };
  delegate.LayoutFunction = [&](plug::IEditor*) {
    meter = static_cast<RecordingControl*>(g->AddControl(new RecordingControl(log, "meter", IArea(0, 0, 10, 10), 3)));
    other = static_cast<RecordingControl*>(g->AddControl(new RecordingControl(log, "other", IArea(20, 0, 30, 10), 1)));
  };
  delegate.GetParameter(3)->SetPlain(0.125);
  ASSERT_NE(delegate.OpenEditor(nullptr), nullptr);
  EXPECT_EQ(meter->Value(), 0.125) << "opening delivers every value before anything is drawn";
  g->Frame(0.0);
  EXPECT_EQ(meter->Value(), 0.125);

  delegate.SendParameterValueToEditor(3, 0.5, true);
  EXPECT_EQ(meter->Value(), 0.125);
  g->Frame(16.0);
  log.clear();
  EXPECT_EQ(meter->Value(), 0.5);
  delegate.SendParameterValueToEditor(3, 0.75, true);
  g->Frame(32.0);
  EXPECT_THAT(log, testing::Contains("meter:Paint"));
  EXPECT_THAT(log, testing::Not(testing::Contains("other:Paint")));
  delegate.CloseEditor();
}

TEST_F(GfxContextTest, AnimationTimeComesFromTheFrameTick)
{
  RecordingControl* a = Add("a", IArea(10, 10, 110, 110));
  std::vector<double> seen;
  g.Frame(1000.0);
  a->StartAnimation([&seen](IControl* c) {
    seen.push_back(c->AnimationProgress());
    if (c->AnimationProgress() >= 1.0)
      c->FinishAnimation();
  }, 200);
  g.Frame(1100.0);
  g.Frame(1200.0);
  g.Frame(1300.0);
  EXPECT_THAT(seen, ElementsAre(0.5, 1.0));
  EXPECT_FALSE(a->HasAnimation());
}

// --- Area optimisation ------------------------------------------------------------------

TEST(OptimizeAreas, ContainedAreasGoAndEdgeSharingAreasMerge)
{
  const struct
  {
    IAreaList in;
    IAreaList out;
  } cases[] = {
    {{IArea(0, 0, 10, 10), IArea(2, 2, 5, 5)}, {IArea(0, 0, 10, 10)}},
    {{IArea(2, 2, 5, 5), IArea(0, 0, 10, 10)}, {IArea(0, 0, 10, 10)}},
    {{IArea(0, 0, 10, 10), IArea(0, 10, 10, 20)}, {IArea(0, 0, 10, 20)}},
    {{IArea(0, 0, 10, 10), IArea(10, 0, 30, 10)}, {IArea(0, 0, 30, 10)}},
    {{IArea(0, 0, 10, 10), IArea(0, 5, 10, 20)}, {IArea(0, 0, 10, 20)}},
    {{IArea(0, 0, 10, 10), IArea(20, 20, 30, 30)}, {IArea(0, 0, 10, 10), IArea(20, 20, 30, 30)}},
    // A band across the middle: cutting the band out of the square would lose
    // the square's lower part, so the band loses what the square covers.
    {{IArea(0, 0, 10, 10), IArea(-5, 4, 15, 6)}, {IArea(0, 0, 10, 10), IArea(-5, 4, 0, 6), IArea(10, 4, 15, 6)}},
    // Overlapping at a corner: the smaller one gives way.
    {{IArea(0, 0, 10, 10), IArea(5, 5, 12, 12)}, {IArea(0, 0, 10, 10), IArea(5, 10, 12, 12), IArea(10, 5, 12, 10)}},
  };
  for (const auto& c : cases)
  {
    IAreaList areas = c.in;
    gfx::IGfx::OptimizeAreas(areas);
    EXPECT_EQ(areas, c.out);
  }
}

// Counts, for a grid of sample points, how many areas cover each.
std::vector<int> Coverage(const IAreaList& areas, int size)
{
  std::vector<int> counts(static_cast<size_t>(size * size), 0);
  for (int y = 0; y < size; ++y)
  {
    for (int x = 0; x < size; ++x)
    {
      for (const IArea& a : areas)
      {
        if (a.Contains(x + 0.5f, y + 0.5f))
          ++counts[static_cast<size_t>(y * size + x)];
      }
    }
  }
  return counts;
}

TEST(OptimizeAreas, RandomOverlapsKeepEveryPixelAndDrawNoneTwice)
{
  std::mt19937 random(1234);
  std::uniform_int_distribution<int> coordinate(0, 40);
  for (int round = 0; round < 300; ++round)
  {
    IAreaList areas;
    const int n = 2 + round % 6;
    for (int i = 0; i < n; ++i)
    {
      int l = coordinate(random), r = coordinate(random), t = coordinate(random), b = coordinate(random);
      if (l == r || t == b)
        continue;
      areas.emplace_back(static_cast<float>(std::min(l, r)), static_cast<float>(std::min(t, b)),
                         static_cast<float>(std::max(l, r)), static_cast<float>(std::max(t, b)));
    }
    const std::vector<int> before = Coverage(areas, 41);
    IAreaList optimized = areas;
    gfx::IGfx::OptimizeAreas(optimized);
    const std::vector<int> after = Coverage(optimized, 41);
    for (size_t p = 0; p < before.size(); ++p)
    {
      ASSERT_EQ(after[p] > 0, before[p] > 0) << "round " << round << ", point " << p;
      ASSERT_LE(after[p], 1) << "round " << round << ", point " << p;
    }
  }
}

// --- Size and scale -------------------------------------------------------------------

// The limits hold for the window at display scale 1 too (size x draw scale):
// the draw scale stays, the size gives way.
TEST_F(GfxContextTest, EditorSizeIsClampedIntoTheLimitsAndAnUnchangedSizeDoesNothing)
{
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const struct
  {
    int w, h;
    float scale;
    int expectedW, expectedH;
    float expectedScale;
  } cases[] = {
    {1200, 500, 1.5f, 1200, 500, 1.5f},
    {100, 100, 1.f, 499, 193, 1.f},
    {-5, 0, 0.f, 998, 386, 0.5f},       // a 499 x 193 window
    {5000, 5000, 9.f, 998, 386, 2.f},   // a 1996 x 772 window
    {1996, 772, 2.f, 998, 386, 2.f},
    {1497, 579, 1.5f, 1330, 514, 1.5f}, // 1995 x 771
    {499, 193, 0.5f, 998, 386, 0.5f},
    {1200, 500, 1.5f, 1200, 500, 1.5f},
    {1996, 772, 2.f, 998, 386, 2.f},
    {998, 386, nan, 998, 386, 2.f}, // keeps the scale of the case before
    {998, 386, inf, 998, 386, 2.f},
    {998, 386, -inf, 998, 386, 2.f},
    {998, 386, 0.25f, 998, 386, 0.5f},
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "@" << c.scale);
    g.SetEditorSize(c.w, c.h, c.scale);
    EXPECT_EQ(g.GetWidth(), c.expectedW);
    EXPECT_EQ(g.GetHeight(), c.expectedH);
    EXPECT_EQ(g.GetDrawScale(), c.expectedScale);
    EXPECT_LE(g.DeviceWidth(), 1996);
    EXPECT_GE(g.DeviceWidth(), 499);
    EXPECT_LE(g.DeviceHeight(), 772);
    EXPECT_GE(g.DeviceHeight(), 193);
  }
  delegate.events.clear();
  g.calls.clear();
  g.SetEditorSize(998, 386, 0.5f);
  EXPECT_THAT(delegate.events, IsEmpty());
  EXPECT_THAT(g.calls, IsEmpty());
}

TEST_F(GfxContextTest, ResizingTellsTheHostEndsCapturesAndRepaintsEverything)
{
  RecordingControl* a = Add("a", IArea(10, 10, 110, 110));
  g.Frame(0.0);
  g.DispatchMouseDown(Press(50, 50));
  g.calls.clear();
  g.SetEditorSize(1000, 400, 1.5f);
  EXPECT_THAT(delegate.events, ElementsAre(Call("ResizeFromEditor", {1500, 600})));
  EXPECT_THAT(g.calls, ElementsAre(Call("ResizeHostWindow", {1}), "OnBackingResized"));
  EXPECT_FALSE(g.IsCaptured(a));
  EXPECT_TRUE(a->IsDirty());
}

TEST_F(GfxContextTest, DisplayScaleRefusesNonsense)
{
  for (float bad : {0.f, -1.f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()})
  {
    g.SetDisplayScale(bad);
    EXPECT_EQ(g.DisplayScale(), 1.f);
  }
  g.SetDisplayScale(2.f);
  EXPECT_EQ(g.TotalScale(), 2.f);
}

TEST_F(GfxContextTest, DevicePixelMappingUsesDrawTimesDisplayScaleAndGrowsOutwards)
{
  g.SetEditorSize(998, 386, 1.5f);
  g.SetDisplayScale(2.f);
  const struct
  {
    IArea editor;
    IArea device;
  } cases[] = {
    {IArea(10, 20, 30, 40), IArea(30, 60, 90, 120)},
    {IArea(0.1f, 0.1f, 10.1f, 10.1f), IArea(0, 0, 31, 31)},
    {IArea(9.25f, 9.25f, 110.75f, 110.75f), IArea(27, 27, 333, 333)},
  };
  for (const auto& c : cases)
    EXPECT_EQ(g.ToDevicePixels(c.editor), c.device);
  EXPECT_EQ(g.FromDevicePixels(IArea(30, 60, 90, 120)), IArea(10, 20, 30, 40));
  EXPECT_EQ(g.FromDevicePixels(IArea(31, 61, 89, 119)), IArea(10, 20, 30, 40)) << "whole units, outwards";
  float x = 150.f, y = 300.f;
  g.FromDevicePoint(x, y);
  EXPECT_EQ(x, 50.f);
  EXPECT_EQ(y, 100.f);
}

TEST_F(HitTest, AScaleChangeLeavesHitAreasInEditorUnits)
{
  for (float scale : {0.5f, 1.f, 1.25f, 2.f})
  {
    g.SetEditorSize(998, 386, scale);
    g.SetDisplayScale(1.5f);
    float x = 70.f * g.TotalScale(), y = 70.f * g.TotalScale(); // where b's corner area is in the window
    g.FromDevicePoint(x, y);
    EXPECT_EQ(Name(g.HitTestControl(x, y, false)), "b") << scale;
    EXPECT_EQ(g.ControlAt(1)->HitArea(), IArea(10, 10, 110, 110));
  }
}

// Starts the context's drag-resizing when pressed.
class Resizer : public RecordingControl
{
public:
  using RecordingControl::RecordingControl;
  void HandleMouseDown(float x, float y, const IMouseMods& mod) override
  {
    RecordingControl::HandleMouseDown(x, y, mod);
    GraphicsContext()->SetResizingInProgress();
  }
};

TEST_F(GfxContextTest, DragResizingScalesFromThePressPointWithoutDrift)
{
  Add("bg", IArea(0, 0, 998, 386));
  g.AddCornerResizer(new Resizer(log, "corner", IArea(978, 366, 998, 386)), 0);
  g.AddCornerResizer(new Resizer(log, "second", IArea(0, 0, 1, 1)), 0); // refused and deleted (ASan checks)
  // The window reports device pixels; the platform divides by the current scale.
  auto at = [this](float deviceX, float deviceY) {
    g.FromDevicePoint(deviceX, deviceY);
    return Press(deviceX, deviceY, kLeft, 1.f, 1.f);
  };
  g.DispatchMouseDown(at(990, 380));
  EXPECT_TRUE(g.ResizingInProgress());
  for (float d = 991; d <= 1188; d += 3.f)
    g.DispatchMouseDrag(at(d, 380.f * d / 990.f));
  g.DispatchMouseDrag(at(1188, 456));
  EXPECT_NEAR(g.GetDrawScale(), 1.2f, 1e-5f);
  g.DispatchMouseDrag(at(495, 190)); // back to half the distance
  EXPECT_NEAR(g.GetDrawScale(), 0.5f, 1e-5f);
  g.DispatchMouseUp(at(495, 190));
  EXPECT_FALSE(g.ResizingInProgress());
  EXPECT_EQ(g.GetWidth(), 998) << "mode 0 keeps the size";
}

// --- Prompts --------------------------------------------------------------------------

TEST_F(GfxContextTest, TextPromptShowsTheValueAndTheTypedTextBecomesAReportedEdit)
{
  delegate.GetParameter(1)->SetupDouble("Threshold", -10.0, -20.0, 10.0, 0.1, "dB");
  RecordingControl* knob = Add("knob", IArea(100, 100, 200, 200), 1);
  knob->SetPromptDisabled(false);
  knob->SetPromptShowsLabel(true);
  knob->StoreValue(delegate.GetParameter(1)->GetNormalized());
  g.DispatchMouseDown(Press(150, 150, kRight)); // bound: the host menu, not the prompt
  EXPECT_THAT(g.CallsStartingWith("CreateNativeTextEntry"), IsEmpty());

  g.PromptForValue(knob, IArea(130, 142, 170, 158), 0);
  EXPECT_EQ(g.lastTextEntry, "-10.0 dB");
  EXPECT_EQ(g.lastTextEntryParam, 1);
  EXPECT_EQ(g.TextEntryOwner(), knob);
  delegate.events.clear();
  g.ApplyTextEntryResult("5");
  EXPECT_NEAR(delegate.GetParameter(1)->GetPlain(), 5.0, 1e-9);
  EXPECT_THAT(delegate.events, ElementsAre(Call("Begin", {1}), Call("Set", {1, 0.833333}), Call("End", {1})));
  EXPECT_EQ(g.TextEntryOwner(), nullptr);
  g.ApplyTextEntryResult("7"); // no entry open: nothing
  EXPECT_NEAR(delegate.GetParameter(1)->GetPlain(), 5.0, 1e-9);
}

TEST_F(GfxContextTest, MenuPromptListsTheDisplayTextsAndTheChoiceBecomesTheValue)
{
  plug::IParam* mode = delegate.GetParameter(2);
  mode->SetType(plug::IParam::kTypeEnum);
  mode->SetupDouble("Mode", 1.0, 0.0, 2.0, 1.0, "", plug::IParam::kFlagStepped);
  mode->AddDisplayText(0.0, "VCA");
  mode->AddDisplayText(1.0, "FET");
  mode->AddDisplayText(2.0, "Opto");
  mode->SetPlain(1.0);
  RecordingControl* selector = Add("selector", IArea(100, 100, 200, 120), 2);
  selector->SetPromptDisabled(false);
  g.menuChoice = 2;
  g.PromptForValue(selector, selector->Area(), 0); // not from a press: the choice is its own host edit
  EXPECT_THAT(g.CallsStartingWith("ShowNativeMenu"), ElementsAre("ShowNativeMenu(Mode,100,100,200,120,VCA,*FET,Opto)"));
  EXPECT_DOUBLE_EQ(selector->Value(), 1.0);
  EXPECT_DOUBLE_EQ(mode->GetPlain(), 2.0);
  EXPECT_EQ(g.MenuOwner(), nullptr);
  EXPECT_THAT(delegate.events, ElementsAre(Call("Begin", {2}), Call("Set", {2, 1}), Call("End", {2})));

  g.menuChoice = -1;
  delegate.events.clear();
  g.PromptForValue(selector, selector->Area(), 0);
  EXPECT_THAT(delegate.events, IsEmpty()) << "no choice: no change";

  // From a press the edit began with the press and ends with the menu, not twice.
  g.menuChoice = 1;
  auto* prompting = new RecordingControl(log, "prompting", IArea(300, 100, 400, 120), 2);
  g.AddControl(prompting);
  prompting->SetPromptDisabled(false);
  prompting->SetPromptShowsLabel(false);
  delegate.events.clear();
  g.DispatchMouseDown(Press(350, 110));
  g.PromptForValue(prompting, prompting->Area(), 0);
  g.DispatchMouseUp(Press(350, 110));
  EXPECT_THAT(delegate.events, ElementsAre(Call("Begin", {2}), Call("Set", {2, 0.5}), Call("End", {2})));
}

TEST_F(GfxContextTest, ClearingTheControlsForgetsOwnersAndCaptures)
{
  RecordingControl* knob = Add("knob", IArea(100, 100, 200, 200), 1);
  g.DispatchMouseDown(Press(150, 150));
  g.OpenTextEntry(knob, knob->TextStyle(), knob->Area(), "x", 0);
  g.ClearControls();
  EXPECT_EQ(g.ControlCount(), 0);
  EXPECT_EQ(g.TextEntryOwner(), nullptr);
  g.ApplyTextEntryResult("0.5"); // the owner is gone: nothing may touch it
  g.DispatchMouseUp(Press(150, 150));
  g.DispatchMouseDrag(Press(151, 150, kLeft, 1, 0));
  EXPECT_THAT(log, ElementsAre("knob:Down(150,150,0)"));
  EXPECT_THAT(delegate.events, ElementsAre(Call("Begin", {1}), Call("End", {1}))) << "the cut gesture's edit is ended";
}

TEST_F(GfxContextTest, ControlsAreFoundByTagAndReceiveMessagesAndMidi)
{
  RecordingControl* a = Add("a", IArea(0, 0, 10, 10));
  auto* tagged = new RecordingControl(log, "tagged", IArea(20, 0, 30, 10));
  g.AddControl(tagged, 5);
  EXPECT_EQ(g.ControlByTag(5), tagged);
  EXPECT_EQ(g.ControlByTag(6), nullptr);
  g.SetControlValueByTag(5, 1.5);
  EXPECT_EQ(tagged->Value(), 1.0);
  g.SetControlValueByTag(6, 0.5);
  EXPECT_EQ(a->Value(), 0.0);
}

} // namespace
