// Small scenes drawn through the NanoVG backend on real OpenGL and compared
// with committed pictures (GoldenImage.h says how, and how to regenerate
// them). Each scene is drawn at draw scale 1 and 2, so a wrong scale, a
// flipped axis, straight alpha taken for premultiplied, a leaking clip or a
// neighbouring frame of a strip changes the picture.

#include "GoldenImage.h"
#include "TestGfx.h"

#include "gfx/SvgRender.h"

#include <stb_image_write.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace gfxtest {
namespace {

using gfx::IArea;
using gfx::IGfx;
using gfx::IRgba;

const IRgba kWhite(255, 255, 255, 255);
const IRgba kBlack(255, 0, 0, 0);

struct Scene
{
  const char* name;
  int width, height;
  FunctionControl::PaintFunc paint;
  void (*prepare)(TestGfx& g) = nullptr;
};

std::string GoldenName(const Scene& scene, float scale)
{
  return scale == 1.f ? scene.name : std::string(scene.name) + "@2x";
}

void ShapesWithTransformAndClip(IGfx& g, const IArea& area)
{
  g.PaintRect(kWhite, area);
  gfx::IFillPattern ramp;
  ramp.type = gfx::EPatternType::Linear;
  ramp.AddStop(IRgba(255, 255, 160, 0), 0.f);
  ramp.AddStop(IRgba(255, 0, 90, 200), 1.f);
  ramp.transform = gfx::ITransform2D(1.0 / 60.0, 0.0, 0.0, 1.0, -10.0 / 60.0, 0.0); // x 10..70 -> 0..1
  g.PathReset();
  g.PathRect(IArea(0.f, 0.f, 80.f, 6.f));
  g.PathFillWith(ramp, gfx::IFillStyle(), nullptr);

  g.PathClipTo(IArea(10.f, 9.f, 70.f, 50.f));
  g.PaintRect(IRgba(255, 235, 235, 235), area); // shows the clip
  g.PushTransform();
  g.TranslateTransform(40.f, 30.f);
  g.RotateTransform(30.f);
  g.PaintRect(IRgba(255, 40, 80, 220), IArea(-25.f, -9.f, 25.f, 9.f));
  g.OutlineRect(kBlack, IArea(-25.f, -9.f, 25.f, 9.f), nullptr, 2.f);
  g.PopTransform();
  g.PaintCircle(IRgba(200, 230, 30, 30), 15.f, 45.f, 12.f);
  g.OutlineRoundRect(IRgba(255, 0, 150, 0), IArea(45.f, 35.f, 76.f, 58.f), 6.f, nullptr, 1.5f);
  g.PathClipTo(IArea()); // back to the whole control
  g.StrokeLine(kBlack, 0.f, 59.f, 79.f, 52.f, nullptr, 1.f);
}

void KnobFrame(IGfx& g, const IArea& area)
{
  g.PaintRect(IRgba(255, 60, 60, 70), area);
  const gfx::IBitmap knob = g.RequestBitmap("KNOB.png", 101);
  ASSERT_TRUE(knob.IsValid()) << g.LastResourceError();
  g.BlitBitmap(knob, area, 0, 37 * knob.FrameHeight());
}

// Four 16 x 12 frames, each its own colour, with a white first row and a
// black last row: the wrong frame changes the colour, a flipped one swaps the rows.
std::vector<uint8_t> StripPng()
{
  const int w = 16, h = 12, frames = 4;
  const uint8_t colours[frames][3] = {{220, 40, 40}, {40, 200, 40}, {40, 40, 220}, {230, 200, 30}};
  std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * frames * 4);
  for (int y = 0; y < h * frames; ++y)
    for (int x = 0; x < w; ++x)
    {
      const int f = y / h, row = y % h;
      uint8_t* p = &rgba[(static_cast<size_t>(y) * w + x) * 4];
      for (int c = 0; c < 3; ++c)
        p[c] = row == 0 ? 255 : row == h - 1 ? 0 : colours[f][c];
      p[3] = 255;
    }
  std::vector<uint8_t> png;
  stbi_write_png_to_func(
    [](void* context, void* data, int size) {
      auto* out = static_cast<std::vector<uint8_t>*>(context);
      out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    },
    &png, w, h * frames, 4, rgba.data(), w * 4);
  return png;
}

void StripFrame(IGfx& g, const IArea& area)
{
  static const std::vector<uint8_t> png = StripPng();
  const gfx::IBitmap strip = g.RequestBitmapFromData("strip.png", png.data(), png.size(), 4);
  ASSERT_TRUE(strip.IsValid()) << g.LastResourceError();
  g.PaintRect(kBlack, area);
  g.BlitBitmap(strip, IArea(2.f, 2.f, 18.f, 14.f), 0, 2 * strip.FrameHeight());
}

void TextLine(IGfx& g, const IArea& area)
{
  ASSERT_TRUE(g.RequestFont("Roboto-Regular", "Roboto-Regular.ttf")) << g.LastResourceError();
  g.PaintRect(kWhite, area);
  gfx::ITextStyle style;
  style.size = 16.f;
  style.align = gfx::EAlign::Near;
  g.PrintText(style, "KORVEL -12.5 dB Int/Ext", IArea(4.f, 0.f, area.R, area.B));
}

void LayerWithAlpha(IGfx& g, const IArea& area)
{
  g.PaintRect(kWhite, IArea(0.f, 0.f, 32.f, 48.f));
  g.PaintRect(kBlack, IArea(32.f, 0.f, 64.f, 48.f));
  g.OpenLayer(nullptr, IArea(8.f, 8.f, 56.f, 40.f));
  g.PaintRect(IRgba(255, 30, 60, 230), IArea(8.f, 8.f, 30.f, 40.f));
  g.PaintCircle(IRgba(128, 255, 0, 0), 38.f, 24.f, 15.f);
  gfx::ILayerPtr layer = g.CloseLayer();
  ASSERT_TRUE(layer);
  const gfx::IBlendMode half(gfx::EBlend::SrcOver, 0.5f);
  g.DrawLayer(layer, &half);
  (void)area;
}

const char kSvg[] = R"svg(<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32">
  <defs><linearGradient id="g" x1="0%" y1="0%" x2="0%" y2="100%">
    <stop offset="0" stop-color="#f0c020"/><stop offset="1" stop-color="#2040c0"/></linearGradient></defs>
  <rect x="1" y="1" width="14" height="30" fill="url(#g)"/>
  <path d="M17 2 h13 v13 h-13 z M20 5 v7 h7 v-7 z" fill="#c02040" stroke="#000" stroke-width="1"/>
  <circle cx="24" cy="24" r="5" fill="none" stroke="#108040" stroke-width="2" opacity="0.6"/>
</svg>)svg";

void DrawSvg(IGfx& g, const IArea& area)
{
  g.PaintRect(kWhite, area);
  const gfx::SvgDocument svg = gfx::ParseSvg(kSvg);
  ASSERT_TRUE(svg);
  gfx::RenderSvg(g, *svg, IArea(0.f, 0.f, 64.f, 80.f)); // fits the width: drawn at 2x from the top
}

const Scene kScenes[] = {
  {"shapes_transform_clip", 80, 60, ShapesWithTransformAndClip},
  {"knob_frame37", 73, 73, KnobFrame},
  {"knob_frame37_tiled", 73, 73, KnobFrame, [](TestGfx& g) { g.LimitTextureSize(4096); }},
  {"strip_frame2", 20, 16, StripFrame},
  {"text_roboto", 200, 24, TextLine},
  {"layer_alpha", 64, 48, LayerWithAlpha},
  {"svg", 64, 80, DrawSvg},
};

class GoldenScene : public ::testing::TestWithParam<std::tuple<int, float>>
{
};

TEST_P(GoldenScene, MatchesTheCommittedPicture)
{
  const Scene& scene = kScenes[std::get<0>(GetParam())];
  const float scale = std::get<1>(GetParam());
  std::string error;
  DrawingFixture f = DrawingFixture::Open(scene.width, scene.height, scale, error);
  ASSERT_TRUE(f.g) << error;
  if (scene.prepare)
    scene.prepare(*f.g);
  const Image image = f.Render(scene.paint);
  ASSERT_EQ(image.width, static_cast<int>(scene.width * scale));
  // The tiled knob must look exactly like the knob from one texture.
  std::string golden = GoldenName(scene, scale);
  const bool tiled = std::string(scene.name) == "knob_frame37_tiled";
  if (tiled)
    golden.replace(golden.find("_tiled"), 6, "");
  EXPECT_TRUE(MatchesGolden(golden, image, kGoldenTolerance, !tiled));
}

INSTANTIATE_TEST_SUITE_P(Scenes, GoldenScene,
                         ::testing::Combine(::testing::Range(0, static_cast<int>(std::size(kScenes))),
                                            ::testing::Values(1.f, 2.f)),
                         [](const ::testing::TestParamInfo<std::tuple<int, float>>& info) {
                           return std::string(kScenes[std::get<0>(info.param)].name) +
                                  (std::get<1>(info.param) == 1.f ? "_scale1" : "_scale2");
                         });

} // namespace
} // namespace gfxtest
