#include "RecordingGfx.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

using gfx::IArea;
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

class ControlTest : public testing::Test
{
protected:
  RecordingControl* Add(const char* name, const IArea& area, int paramIdx = -1)
  {
    auto* control = new RecordingControl(log, name, area, paramIdx);
    g.AddControl(control);
    return control;
  }

  RecordingDelegate delegate{8};
  RecordingGfx g{&delegate};
  std::vector<std::string> log;
};

TEST_F(ControlTest, StoredValuesAreClampedWhenTheControlIsMarkedDirty)
{
  RecordingControl* c = Add("c", IArea(0, 0, 10, 10));
  const struct
  {
    double stored, afterDirty;
  } cases[] = {{1.3, 1.0}, {-0.2, 0.0}, {0.4, 0.4}};
  for (const auto& v : cases)
  {
    c->StoreValue(v.stored);
    EXPECT_EQ(c->Value(), v.stored) << "StoreValue does nothing else";
    c->MarkDirty(false);
    EXPECT_EQ(c->Value(), v.afterDirty);
  }
}

TEST_F(ControlTest, ANaNValueIsIgnoredAndNeverReachesTheHost)
{
  RecordingControl* c = Add("c", IArea(0, 0, 10, 10), 2);
  c->StoreValue(0.25);
  c->StoreValue(std::nan(""));
  c->MarkDirty(true);
  EXPECT_THAT(delegate.events, ElementsAre(Call("Set", {2, 0.25})));
  c->ReceiveValue(std::nan(""), 0);
  EXPECT_EQ(c->Value(), 0.25);
}

TEST_F(ControlTest, AReportedChangeReachesTheDelegateOnceAndEveryOtherControlOfTheParameter)
{
  int actions = 0;
  RecordingControl* knob = Add("knob", IArea(0, 0, 10, 10), 5);
  RecordingControl* twin = Add("twin", IArea(20, 0, 30, 10), 5);
  RecordingControl* other = Add("other", IArea(40, 0, 50, 10), 4);
  auto* multi = new RecordingControl(log, "multi", IArea(60, 0, 70, 10), 4);
  multi->AddValueSlot(5); // its second slot follows parameter 5
  g.AddControl(multi);
  knob->SetActionFunction([&actions](IControl*) { ++actions; });

  knob->StoreValue(0.75);
  knob->MarkDirty(true);
  EXPECT_THAT(delegate.events, ElementsAre(Call("Set", {5, 0.75})));
  EXPECT_EQ(twin->Value(), 0.75);
  EXPECT_EQ(multi->Value(1), 0.75);
  EXPECT_EQ(multi->Value(0), 0.0);
  EXPECT_EQ(other->Value(), 0.0);
  EXPECT_EQ(actions, 1);

  RecordingControl* loose = Add("loose", IArea(80, 0, 90, 10));
  loose->SetActionFunction([&actions](IControl*) { ++actions; });
  delegate.events.clear();
  loose->StoreValue(0.5);
  loose->MarkDirty(true);
  EXPECT_THAT(delegate.events, IsEmpty()) << "an unbound control reports nothing...";
  EXPECT_EQ(actions, 2) << "...but runs its action";
}

TEST_F(ControlTest, ValuesFromThePluginAreIgnoredWhileThePointerHoldsTheControl)
{
  RecordingControl* knob = Add("knob", IArea(0, 0, 10, 10), 1);
  g.Frame(0.0);
  knob->ReceiveValue(0.3);
  EXPECT_EQ(knob->Value(), 0.3);
  EXPECT_TRUE(knob->IsDirty());
  g.Frame(16.0);
  knob->ReceiveValue(0.3);
  EXPECT_FALSE(knob->IsDirty()) << "an unchanged value costs no repaint";

  g.DispatchMouseDown({IMouseState(5, 5, IMouseMods(true, false))});
  knob->ReceiveValue(0.9);
  EXPECT_EQ(knob->Value(), 0.3) << "the drag wins";
  g.DispatchMouseUp({IMouseState(5, 5, IMouseMods(true, false))});
  knob->ReceiveValue(0.9);
  EXPECT_EQ(knob->Value(), 0.9);
}

TEST_F(ControlTest, ResetToDefaultUsesTheParametersDefaultAndWithoutOneOnlyRepaints)
{
  delegate.GetParameter(2)->SetupDouble("Ratio", 4.0, 1.0, 21.0, 0.1);
  RecordingControl* bound = Add("bound", IArea(0, 0, 10, 10), 2);
  delegate.GetParameter(2)->SetPlain(19.0);
  bound->StoreValue(0.9);
  bound->ResetToDefault();
  EXPECT_DOUBLE_EQ(bound->Value(), 0.15);
  EXPECT_THAT(delegate.events, ElementsAre(Call("Set", {2, 0.15})));

  int actions = 0;
  RecordingControl* loose = Add("loose", IArea(20, 0, 30, 10));
  loose->SetActionFunction([&actions](IControl*) { ++actions; });
  loose->StoreValue(0.9);
  g.Frame(0.0);
  loose->ResetToDefault();
  EXPECT_EQ(loose->Value(), 0.9);
  EXPECT_TRUE(loose->IsDirty());
  EXPECT_EQ(actions, 1);
}

TEST_F(ControlTest, PointIsInsideFromTheLeftAndTopEdgeToJustBeforeTheRightAndBottom)
{
  RecordingControl* c = Add("c", IArea(10, 20, 30, 40));
  const struct
  {
    float x, y;
    bool inside;
  } cases[] = {{10, 20, true}, {29.99f, 39.99f, true}, {30, 25, false}, {15, 40, false}, {9.99f, 25, false}};
  for (const auto& p : cases)
    EXPECT_EQ(c->ContainsPoint(p.x, p.y), p.inside) << p.x << "," << p.y;
  RecordingControl* zero = Add("zero", IArea());
  EXPECT_FALSE(zero->ContainsPoint(0, 0));
}

TEST_F(ControlTest, DisablingSetsTheBlendWeight)
{
  RecordingControl* c = Add("c", IArea(0, 0, 10, 10));
  c->SetBlendMode(gfx::IBlendMode(gfx::EBlend::SrcOver, 0.6f));
  c->SetDisabled(true);
  EXPECT_EQ(c->BlendMode().weight, 0.25f);
  c->SetDisabled(false);
  EXPECT_EQ(c->BlendMode().weight, 1.f);
}

TEST_F(ControlTest, BindingAValueSlotThatDoesNotExistChangesNothing)
{
  RecordingControl* c = Add("c", IArea(0, 0, 10, 10), 3);
  EXPECT_FALSE(c->BindParameter(6, 1));
  EXPECT_FALSE(c->BindParameter(6, -1));
  EXPECT_EQ(c->ParamIdx(0), 3);
  EXPECT_TRUE(c->BindParameter(6, 0));
  EXPECT_EQ(c->ParamIdx(0), 6);
}

TEST_F(ControlTest, MovingKeepsTheSizeAndTheHitAreasOffsetAndStopsAtTheEditorsEdge)
{
  RecordingControl* c = Add("c", IArea(10, 10, 50, 30));
  c->SetHitArea(IArea(15, 12, 45, 28));
  c->MoveTo(100, 200);
  EXPECT_EQ(c->Area(), IArea(100, 200, 140, 220));
  EXPECT_EQ(c->HitArea(), IArea(105, 202, 135, 218));
  c->MoveTo(-5, -7);
  EXPECT_EQ(c->Area(), IArea(0, 0, 40, 20));
  c->SetExtent(-3, 12);
  EXPECT_EQ(c->Area(), IArea(0, 0, 0, 12));
  EXPECT_EQ(c->HitArea(), c->Area());
}

TEST_F(ControlTest, SnapToPointerMapsThePositionInsideTheBoundsAndReportsIt)
{
  RecordingControl* c = Add("c", IArea(0, 0, 10, 100), 1);
  const IArea bounds(0, 0, 10, 100);
  c->SnapToPointer(5, 25, 0, bounds);
  EXPECT_DOUBLE_EQ(c->Value(), 0.75);
  c->SnapToPointer(5, 150, 0, bounds);
  EXPECT_DOUBLE_EQ(c->Value(), 0.0);
  c->SnapToPointer(3.33333f, 50, 1, bounds, -1, 0.0, 0.3);
  EXPECT_DOUBLE_EQ(c->Value(), 0.3) << "limited to the upper clip";
  c->SnapToPointer(1.23456f, 50, 1, bounds);
  EXPECT_NEAR(c->Value(), 0.123, 1e-12) << "multiples of 0.001";
  EXPECT_EQ(delegate.events.size(), 4u);
}

TEST_F(ControlTest, AnimationHookMayReplaceItselfWhileItRuns)
{
  RecordingControl* c = Add("c", IArea(0, 0, 10, 10));
  std::vector<std::string> steps;
  g.Frame(0.0);
  c->SetAnimationEndFunction([&steps](IControl* control) {
    steps.push_back("end");
    control->StartAnimation([&steps](IControl* again) {
      steps.push_back("second");
      if (again->AnimationProgress() > 1.0)
        again->FinishAnimation();
    }, 100);
  });
  // The first hook's captures die when it is replaced from inside itself.
  auto state = std::make_shared<std::string>("first");
  c->StartAnimation([&steps, state](IControl* control) {
    steps.push_back(*state);
    if (control->AnimationProgress() >= 1.0)
    {
      control->SetAnimationEndFunction(nullptr);
      control->StartAnimation([&steps](IControl* next) {
        steps.push_back("replaced");
        next->FinishAnimation();
      }, 10);
      steps.push_back(*state + " still alive");
    }
  }, 50);
  state.reset();
  g.Frame(25.0);
  g.Frame(50.0);
  g.Frame(60.0);
  g.Frame(70.0);
  EXPECT_THAT(steps, ElementsAre("first", "first", "first still alive", "replaced"));
  EXPECT_FALSE(c->HasAnimation());
  EXPECT_FALSE(c->NeedsRepaint());
}

TEST_F(ControlTest, NeedsRepaintWhileAnimatingAndProgressIsZeroWithoutAnAnimation)
{
  RecordingControl* c = Add("c", IArea(0, 0, 10, 10));
  g.Frame(100.0);
  EXPECT_FALSE(c->NeedsRepaint());
  EXPECT_EQ(c->AnimationProgress(), 0.0);
  c->StartAnimation([](IControl*) {}, 200);
  g.Frame(150.0);
  EXPECT_TRUE(c->NeedsRepaint());
  EXPECT_DOUBLE_EQ(c->AnimationProgress(), 0.25);
  g.Frame(500.0);
  EXPECT_DOUBLE_EQ(c->AnimationProgress(), 2.0) << "not clamped: the hook decides when it is over";
}

TEST_F(ControlTest, RightClickPromptsOnlyWhenTheControlAllowsIt)
{
  delegate.GetParameter(1)->SetupDouble("Gain", 0.0, -12.0, 12.0, 0.5, "dB");
  RecordingControl* c = Add("c", IArea(100, 100, 200, 140), 1);
  c->HandleMouseDown(150, 120, IMouseMods(false, true));
  EXPECT_THAT(g.CallsStartingWith("CreateNativeTextEntry"), IsEmpty()) << "prompt disabled by default";
  c->SetPromptDisabled(false);
  c->HandleMouseDown(150, 120, IMouseMods(true, false));
  EXPECT_THAT(g.CallsStartingWith("CreateNativeTextEntry"), IsEmpty()) << "left button";
  c->HandleMouseDown(150, 120, IMouseMods(false, true));
  EXPECT_THAT(g.CallsStartingWith("CreateNativeTextEntry"), ElementsAre("CreateNativeTextEntry(1,130,112,170,128,7,0.0)"))
    << "a 40 x 16 entry centred on the control";
}

TEST_F(ControlTest, HighlightDotIsDrawnOnlyWhenHighlighted)
{
  RecordingControl* c = Add("c", IArea(10, 10, 50, 50));
  c->PaintHighlight(g);
  EXPECT_THAT(g.CallsStartingWith("Fill"), IsEmpty());
  c->SetHighlighted(true, gfx::IRgba(255, 0, 255, 0));
  c->PaintHighlight(g);
  EXPECT_THAT(g.CallsStartingWith("PathMove"), ElementsAre(Call("PathMove", {45, 13})));
  EXPECT_THAT(g.CallsStartingWith("Fill"), ElementsAre("Fill(255,0,255,0,1)"));
}

} // namespace
