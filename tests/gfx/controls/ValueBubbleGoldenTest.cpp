// The value bubble drawn through the NanoVG backend on real OpenGL, open
// over a knob that repaints on its own (a host change, a meter): the frame
// that redraws only the knob's area must leave the rest of the bubble as it
// was, and look like the whole editor drawn afresh. Compared with committed
// pictures at draw scale 1 and 2 (GoldenImage.h says how, and how to
// regenerate them).

#include "GoldenImage.h"
#include "TestGfx.h"

#include "gfx/controls/IBitmapControls.h"
#include "gfx/controls/IValueBubbleControl.h"

#include <gtest/gtest.h>

#include <string>

namespace gfxtest {
namespace {

using gfx::IArea;

constexpr int kWidth = 160;
constexpr int kHeight = 130;

void PaintPanel(gfx::IGfx& g, const IArea& area)
{
  g.PaintRect(gfx::IRgba(255, 48, 52, 60), area);
}

class BubbleOverKnob : public ::testing::TestWithParam<float>
{
};

TEST_P(BubbleOverKnob, RepaintingTheKnobLeavesTheRestOfTheBubbleAlone)
{
  const float scale = GetParam();
  std::string error;
  DrawingFixture f = DrawingFixture::Open(kWidth, kHeight, scale, error);
  ASSERT_TRUE(f.gl) << error;
  gfx::IGfx& g = *f.g;
  ASSERT_TRUE(g.RequestFont("Roboto-Regular", "Roboto-Regular.ttf")) << g.LastResourceError();
  const gfx::IBitmap knobImage = g.RequestBitmap("KNOB.png", 101);
  const gfx::IBitmap switchImage = g.RequestBitmap("SWITCH.png", 2);
  ASSERT_TRUE(knobImage.IsValid() && switchImage.IsValid()) << g.LastResourceError();

  g.AddControl(new FunctionControl(IArea(0.f, 0.f, kWidth, kHeight), PaintPanel));
  gfx::IControl* knob = g.AddControl(new gfx::IBKnobControl(20.f, 20.f, knobImage)); // 20..93 both ways
  gfx::IControl* toggle = g.AddControl(new gfx::IBSwitchControl(70.f, 100.f, switchImage));
  auto* bubble = new gfx::IValueBubbleControl(5.f);
  g.AddValueBubble(bubble);
  knob->StoreValue(0.2, 0);

  // The switch's bubble rises over the lower right part of the knob; frames
  // run until it has faded in completely.
  double nowMs = 1000.0;
  gfx::IAreaList areas;
  auto frame = [&](double ms) {
    nowMs = ms;
    if (g.TickFrame(nowMs, areas))
      f.RenderAreas(areas);
  };
  frame(nowMs);
  g.ShowValueBubble(toggle, toggle->Area().MW(), toggle->Area().T, "-12.5 dB", 0, IArea(0.f, 0.f, 50.f, 20.f));
  for (double ms = nowMs + 50.0; ms <= 1300.0; ms += 50.0)
    frame(ms);
  ASSERT_EQ(bubble->FadeState(), gfx::EBubbleState::Holding);
  ASSERT_FLOAT_EQ(bubble->Opacity(), 0.95f);
  ASSERT_GT(bubble->BubbleArea().Intersect(knob->Area()).Area(), 1000.f) << "the bubble must cover the knob";

  // The knob turns; only its area is drawn.
  knob->ReceiveValue(0.8, 0);
  const Image knobRepainted = f.RenderAreas({knob->Area().GetPadded(0.75f)});
  const std::string golden = scale == 1.f ? "bubble_over_knob" : "bubble_over_knob@2x";
  EXPECT_TRUE(MatchesGolden(golden, knobRepainted));

  // The same scene drawn whole gives the same picture.
  const Image whole = f.RenderAreas({IArea(0.f, 0.f, kWidth, kHeight)});
  EXPECT_TRUE(MatchesGolden(golden, whole, kGoldenTolerance, false));
}

INSTANTIATE_TEST_SUITE_P(DrawScales, BubbleOverKnob, ::testing::Values(1.f, 2.f),
                         [](const ::testing::TestParamInfo<float>& info) {
                           return info.param == 1.f ? std::string("scale1") : std::string("scale2");
                         });

} // namespace
} // namespace gfxtest
