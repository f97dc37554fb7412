// A knob, a switch and a needle meter drawn by their controls through the
// NanoVG backend on real OpenGL at draw scale 2, compared with a committed
// picture (GoldenImage.h says how, and how to regenerate it).

#include "GoldenImage.h"
#include "TestGfx.h"

#include "gfx/controls/IBitmapControls.h"

#include <gtest/gtest.h>

#include <string>

namespace gfxtest {
namespace {

using gfx::IArea;

constexpr int kWidth = 320;
constexpr int kHeight = 100;

void PaintPanel(gfx::IGfx& g, const IArea& area)
{
  g.PaintRect(gfx::IRgba(255, 48, 52, 60), area);
}

TEST(BitmapControlsOnGL, KnobSwitchAndNeedleAtDrawScale2)
{
  std::string error;
  DrawingFixture f = DrawingFixture::Open(kWidth, kHeight, 2.f, error);
  ASSERT_TRUE(f.gl) << error;
  gfx::IGfx& g = *f.g;
  const gfx::IBitmap knobImage = g.RequestBitmap("KNOB.png", 101);
  const gfx::IBitmap switchImage = g.RequestBitmap("SWITCH.png", 2);
  const gfx::IBitmap needleImage = g.RequestBitmap("NEEDLE.png", 101);
  ASSERT_TRUE(knobImage.IsValid() && switchImage.IsValid() && needleImage.IsValid()) << g.LastResourceError();

  g.AddControl(new FunctionControl(IArea(0.f, 0.f, kWidth, kHeight), PaintPanel));
  g.AddControl(new gfx::IBKnobControl(10.f, 14.f, knobImage))->StoreValue(0.37, 0);
  g.AddControl(new gfx::IBSwitchControl(100.f, 37.f, switchImage))->StoreValue(1.0, 0);
  g.AddControl(new gfx::IBitmapControl(170.f, 15.f, needleImage))->StoreValue(0.62, 0);
  const Image picture = f.RenderAreas({IArea(0.f, 0.f, kWidth, kHeight)});
  EXPECT_TRUE(MatchesGolden("bitmap_controls@2x", picture));

  // The frames the values select, blitted by hand, give the same picture.
  const Image byHand = f.Render([&](gfx::IGfx& gh, const IArea& area) {
    PaintPanel(gh, area);
    gh.BlitBitmap(knobImage, IArea(10.f, 14.f, 83.f, 87.f), 0, 37 * 73);
    gh.BlitBitmap(switchImage, IArea(100.f, 37.f, 146.f, 63.f), 0, 26);
    gh.BlitBitmap(needleImage, IArea(170.f, 15.f, 302.f, 85.f), 0, 62 * 70);
  });
  EXPECT_TRUE(MatchesGolden("bitmap_controls@2x", byHand, kGoldenTolerance, false));
}

} // namespace
} // namespace gfxtest
