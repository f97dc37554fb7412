// The NanoVG backend's behaviour on real OpenGL, checked pixel by pixel where
// a golden picture would say less: what survives between frames, angles and
// directions, blend weight, deferred framebuffer deletion, text measuring,
// bitmap scales, the whole-frame capture, and a context that could not be made.

#include "TestGfx.h"

#include "gfx/ResourceLookup.h"
#include "gfx/drawing/NanoVGIncludes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace gfxtest {
namespace {

using gfx::IArea;
using gfx::IGfx;
using gfx::IRgba;

const IRgba kWhite(255, 255, 255, 255);
const IRgba kBlack(255, 0, 0, 0);
const IRgba kRed(255, 255, 0, 0);
const IRgba kBlue(255, 0, 0, 255);

DrawingFixture OpenOrFail(int w, int h, float scale = 1.f)
{
  std::string error;
  DrawingFixture f = DrawingFixture::Open(w, h, scale, error);
  EXPECT_TRUE(f.g) << error;
  return f;
}

bool IsColour(const Image& image, int x, int y, int r, int g, int b, int tolerance = 2)
{
  const uint8_t* p = image.Pixel(x, y);
  return std::abs(p[0] - r) <= tolerance && std::abs(p[1] - g) <= tolerance && std::abs(p[2] - b) <= tolerance;
}

TEST(NanoVGFrame, PixelsOutsideTheDirtyAreasSurviveFromTheLastFrame)
{
  DrawingFixture f = OpenOrFail(40, 30, 2.f);
  ASSERT_TRUE(f.g);
  IRgba colour = kRed;
  f.Render([&colour](IGfx& g, const IArea& area) { g.PaintRect(colour, area); });
  colour = kBlue;
  const Image image = f.RenderAreas({IArea(10.f, 10.f, 20.f, 20.f)});
  EXPECT_TRUE(IsColour(image, 2 * 15, 2 * 15, 0, 0, 255)); // redrawn
  EXPECT_TRUE(IsColour(image, 2 * 5, 2 * 5, 255, 0, 0));   // kept
  EXPECT_TRUE(IsColour(image, 2 * 25, 2 * 15, 255, 0, 0));
  // The dirty area was aligned to device pixels and drawn up to its edges, not beyond.
  EXPECT_TRUE(IsColour(image, 2 * 10, 2 * 10, 0, 0, 255));
  EXPECT_TRUE(IsColour(image, 2 * 10 - 1, 2 * 10, 255, 0, 0));
  EXPECT_TRUE(IsColour(image, 2 * 20 - 1, 2 * 20 - 1, 0, 0, 255));
  EXPECT_TRUE(IsColour(image, 2 * 20, 2 * 20, 255, 0, 0));
}

// The test context's framebuffer stands in for the window's back buffer. It
// is painted green before the frame: what the frame copies shows the panel's
// colours, everything else stays green. A back buffer that holds the last
// frame gets only this frame's areas, one that is two frames old those of the
// last frame too, and one of unknown or forgotten age the whole panel.
TEST(NanoVGFrame, OnlyWhatWasDrawnSinceTheFrameTheWindowBufferHoldsIsCopiedToIt)
{
  struct Case
  {
    const char* name;
    int age;
    bool lastFrameCopied;
    bool whole;
  };
  const Case cases[] = {{"unknown", 0, true, true},
                        {"the last frame", 1, false, false},
                        {"two frames back", 2, true, false},
                        {"before the first frame remembered", 3, true, true},
                        {"older than remembered", 9, true, true}};
  const IArea lastFrame(4.f, 4.f, 10.f, 10.f);
  const IArea thisFrame(20.f, 16.f, 30.f, 24.f);
  for (float scale : {1.f, 2.f})
  {
    for (const Case& c : cases)
    {
      SCOPED_TRACE(std::string(c.name) + " at scale " + std::to_string(scale));
      DrawingFixture f = OpenOrFail(40, 30, scale);
      ASSERT_TRUE(f.g);
      IRgba colour = kRed;
      f.Render([&colour](IGfx& g, const IArea& area) { g.PaintRect(colour, area); });
      colour = kBlue;
      f.g->bufferAge = 1;
      f.RenderAreas({lastFrame});
      EXPECT_EQ(f.g->LastCopiedAreas(), gfx::IAreaList{lastFrame});

      glBindFramebuffer(GL_FRAMEBUFFER, f.g->WindowFramebuffer());
      glClearColor(0.f, 1.f, 0.f, 1.f);
      glClear(GL_COLOR_BUFFER_BIT);
      f.g->bufferAge = c.age;
      const Image image = f.RenderAreas({thisFrame});

      auto at = [&image, scale](float x, float y) {
        const uint8_t* p = image.Pixel(int(x * scale), int(y * scale));
        return IRgba(255, p[0], p[1], p[2]);
      };
      const IRgba kGreen(255, 0, 255, 0);
      EXPECT_EQ(at(25.f, 20.f), kBlue) << "this frame's area";
      EXPECT_EQ(at(7.f, 7.f), c.lastFrameCopied ? kBlue : kGreen) << "the last frame's area";
      EXPECT_EQ(at(35.f, 3.f), c.whole ? kRed : kGreen) << "drawn by neither";
      EXPECT_EQ(at(19.5f, 20.f), c.whole ? kRed : kGreen) << "just left of this frame's area";
      if (c.whole)
        EXPECT_EQ(f.g->LastCopiedAreas(), gfx::IAreaList{IArea(0.f, 0.f, 40.f, 30.f)});
      else if (!c.lastFrameCopied)
        EXPECT_EQ(f.g->LastCopiedAreas(), gfx::IAreaList{thisFrame});
      else
        EXPECT_EQ(f.g->LastCopiedAreas().size(), 2u);
    }
  }
}

// On a software renderer a window that takes pixels gets the frame read from
// the panel framebuffer, the right way up in either row order, through rows
// longer than the image; a frame of one changed area reads and puts only that
// area, and nothing is copied to the GL window framebuffer (painted green).
TEST(NanoVGFrame, AWindowTakingPixelsGetsTheFramesAreasTheRightWayUp)
{
  const IArea changed(20.f, 16.f, 30.f, 24.f);
  const IRgba kGreen(255, 0, 255, 0);
  for (bool topFirst : {true, false})
  {
    for (float scale : {1.f, 2.f})
    {
      SCOPED_TRACE(std::string(topFirst ? "top row first" : "bottom row first") + " at scale " +
                   std::to_string(scale));
      auto window = std::make_unique<TestGfx::PixelWindow>();
      window->topFirst = topFirst;
      std::string error;
      DrawingFixture f = DrawingFixture::Open(40, 30, scale, error, std::move(window));
      ASSERT_TRUE(f.g) << error;
      if (!f.g->PresentsPixels())
        GTEST_SKIP() << "this renderer is not a software one: frames are copied with GL";
      glBindFramebuffer(GL_FRAMEBUFFER, f.g->WindowFramebuffer());
      glClearColor(0.f, 1.f, 0.f, 1.f);
      glClear(GL_COLOR_BUFFER_BIT);

      IRgba colour = kBlue;
      f.Render([&colour](IGfx& g, const IArea& area) {
        g.PaintRect(colour, area);
        g.PaintRect(kRed, IArea(0.f, 0.f, 10.f, 5.f)); // the top left corner
      });
      const auto at = [&](float x, float y) { return f.g->WindowImagePixel(int(x * scale), int(y * scale)); };
      const TestGfx::PixelWindow& w = *f.g->pixelWindow;
      EXPECT_EQ(w.puts, gfx::IAreaList{IArea(0.f, 0.f, 40.f * scale, 30.f * scale)});
      EXPECT_EQ(at(0.f, 0.f), kRed);
      EXPECT_EQ(at(9.5f, 4.5f), kRed);
      EXPECT_EQ(at(10.f, 4.5f), kBlue);
      EXPECT_EQ(at(9.5f, 5.f), kBlue);
      EXPECT_EQ(at(39.5f, 29.5f), kBlue);

      colour = kWhite;
      f.g->pixelWindow->puts.clear();
      f.g->bufferAge = 1;
      const Image screen = f.RenderAreas({changed});
      EXPECT_EQ(w.puts, gfx::IAreaList{IArea(20.f * scale, 16.f * scale, 30.f * scale, 24.f * scale)});
      EXPECT_EQ(at(20.f, 16.f), kWhite);
      EXPECT_EQ(at(29.5f, 23.5f), kWhite);
      EXPECT_EQ(at(19.5f, 20.f), kBlue);
      EXPECT_EQ(at(25.f, 24.f), kBlue);
      EXPECT_EQ(at(0.f, 0.f), kRed);
      EXPECT_TRUE(IsColour(screen, 0, 0, 0, 255, 0));
      EXPECT_TRUE(IsColour(screen, int(25 * scale), int(20 * scale), 0, 255, 0));
    }
  }
}

TEST(NanoVGPaths, ArcAnglesStartAtTwelveOClockAndTurnClockwise)
{
  DrawingFixture f = OpenOrFail(40, 40);
  ASSERT_TRUE(f.g);
  const Image image = f.Render([](IGfx& g, const IArea& area) {
    g.PaintRect(kWhite, area);
    g.PaintArc(kBlack, 20.f, 20.f, 15.f, 0.f, 90.f); // the upper right quarter
  });
  EXPECT_TRUE(IsColour(image, 27, 13, 0, 0, 0));
  EXPECT_TRUE(IsColour(image, 13, 13, 255, 255, 255));
  EXPECT_TRUE(IsColour(image, 27, 27, 255, 255, 255));
  EXPECT_TRUE(IsColour(image, 13, 27, 255, 255, 255));
}

TEST(NanoVGPaths, RotatingBy90TurnsTheXAxisDownwards)
{
  DrawingFixture f = OpenOrFail(40, 40);
  ASSERT_TRUE(f.g);
  const Image image = f.Render([](IGfx& g, const IArea& area) {
    g.PaintRect(kWhite, area);
    g.PushTransform();
    g.TranslateTransform(20.f, 10.f);
    g.RotateTransform(90.f);
    g.PaintRect(kBlack, IArea(0.f, -2.f, 20.f, 2.f));
    g.PopTransform();
  });
  EXPECT_TRUE(IsColour(image, 20, 25, 0, 0, 0));
  EXPECT_TRUE(IsColour(image, 30, 11, 255, 255, 255));
  EXPECT_TRUE(IsColour(image, 20, 5, 255, 255, 255));
}

TEST(NanoVGPaths, ClipLimitsDrawingUntilItIsLifted)
{
  DrawingFixture f = OpenOrFail(40, 40);
  ASSERT_TRUE(f.g);
  const Image image = f.Render([](IGfx& g, const IArea& area) {
    g.PaintRect(kWhite, area);
    g.PathClipTo(IArea(10.f, 10.f, 20.f, 20.f));
    g.PaintRect(kRed, area);
    g.PathClipTo(IArea());
    g.PaintRect(kBlue, IArea(30.f, 30.f, 40.f, 40.f));
  });
  EXPECT_TRUE(IsColour(image, 15, 15, 255, 0, 0));
  EXPECT_TRUE(IsColour(image, 9, 15, 255, 255, 255));
  EXPECT_TRUE(IsColour(image, 20, 15, 255, 255, 255));
  EXPECT_TRUE(IsColour(image, 35, 35, 0, 0, 255));
}

TEST(NanoVGPaths, AFastShadowStaysInsideTheClipAndLeavesItInPlace)
{
  DrawingFixture f = OpenOrFail(60, 40, 2.f);
  ASSERT_TRUE(f.g);
  const Image image = f.Render([](IGfx& g, const IArea& area) {
    g.PaintRect(kWhite, area);
    g.PathClipTo(IArea(10.f, 10.f, 30.f, 30.f));
    // The shadow's own outer area is wider than the clip on every side.
    g.PaintFastShadow(IArea(15.f, 8.f, 45.f, 30.f), IArea(5.f, 0.f, 55.f, 40.f), 2.f, 5.f, 10.f);
    g.PaintRect(kRed, IArea(0.f, 0.f, 60.f, 6.f)); // wholly outside the clip
  });
  EXPECT_TRUE(IsColour(image, 2 * 25, 2 * 22, 127, 127, 127, 3)); // inside both: half black
  EXPECT_TRUE(IsColour(image, 2 * 38, 2 * 22, 255, 255, 255)) << "the shadow left the clip";
  EXPECT_TRUE(IsColour(image, 2 * 25, 2 * 33, 255, 255, 255)) << "the shadow left the clip";
  EXPECT_TRUE(IsColour(image, 2 * 25, 2 * 2, 255, 255, 255)) << "the clip was lifted by the shadow";
}

TEST(NanoVGBitmaps, HalfBlendWeightDrawsAtHalfOpacity)
{
  DrawingFixture f = OpenOrFail(20, 20);
  ASSERT_TRUE(f.g);
  const Image image = f.Render([](IGfx& g, const IArea& area) {
    g.PaintRect(kBlack, area);
    g.OpenLayer(nullptr, area);
    g.PaintRect(kWhite, area);
    gfx::ILayerPtr layer = g.CloseLayer();
    const gfx::IBlendMode half(gfx::EBlend::SrcOver, 0.5f);
    g.DrawLayer(layer, &half);
  });
  EXPECT_TRUE(IsColour(image, 10, 10, 128, 128, 128, 2));
  EXPECT_EQ(image.Pixel(10, 10)[3], 255);
}

TEST(NanoVGBitmaps, ATwoTimesImageAskedForAtScaleOneKeepsItsScaleAndReportsHalfItsSize)
{
  DrawingFixture f = OpenOrFail(20, 20);
  ASSERT_TRUE(f.g);
  const gfx::IBitmap knob = f.g->RequestBitmap("KNOB.png", 101, false, 1);
  ASSERT_TRUE(knob.IsValid()) << f.g->LastResourceError();
  EXPECT_EQ(knob.GetScale(), 2.f);
  EXPECT_EQ(knob.GetAPIBitmap()->GetWidth(), 146);
  EXPECT_EQ(knob.GetAPIBitmap()->GetHeight(), 14746);
  EXPECT_EQ(knob.W(), 73);
  EXPECT_EQ(knob.H(), 7373);
  EXPECT_EQ(knob.FrameHeight(), 73);
}

TEST(NanoVGBitmaps, AnImageLargerThanATextureIsSplitWithinTheLimit)
{
  // 1000: tiles of four frames; 586: four frames (584 rows) would not fit with their margins.
  for (int limit : {1000, 586})
  {
    DrawingFixture f = OpenOrFail(20, 20);
    ASSERT_TRUE(f.g);
    f.g->LimitTextureSize(limit);
    const gfx::IBitmap knob = f.g->RequestBitmap("KNOB.png", 101);
    ASSERT_TRUE(knob.IsValid());
    const auto* bitmap = static_cast<const gfx::IGfxNanoVG::Bitmap*>(knob.GetAPIBitmap());
    ASSERT_GT(bitmap->Tiles().size(), 1u);
    int owned = 0;
    for (const auto& tile : bitmap->Tiles())
    {
      EXPECT_LE(tile.h, limit);
      EXPECT_EQ(tile.ownY, owned); // the owned parts cover the image without gaps or overlaps
      owned += tile.ownH;
    }
    EXPECT_EQ(owned, 14746);
  }
}

// A strip's frames become textures a few at a time, when one of them is first
// drawn, and each looks exactly as drawn from one texture of the whole strip,
// at both scales and at a position between pixels. The frames straddle the
// tiles' edges (four frames to a tile).
TEST(NanoVGBitmaps, AStripUploadsTheFramesItDrawsAndDrawsThemAsOneWholeTextureDoes)
{
  for (const char* name : {"KNOB", "NEEDLE"})
  {
    for (float scale : {1.f, 2.f})
    {
      DrawingFixture f = OpenOrFail(140, 80, scale);
      ASSERT_TRUE(f.g);
      const std::string file = std::string(name) + ".png";
      const gfx::IBitmap strip = f.g->RequestBitmap(file.c_str(), 101, false, 2);
      ASSERT_TRUE(strip.IsValid()) << f.g->LastResourceError();
      const auto* tiles = static_cast<const gfx::IGfxNanoVG::Bitmap*>(strip.GetAPIBitmap());
      ASSERT_EQ(tiles->Tiles().size(), 26u) << name;
      EXPECT_EQ(tiles->UploadedTileCount(), 0) << name << ": uploaded before any frame was drawn";

      const std::vector<uint8_t> bytes = gfx::ReadResourceBytes((std::string(name) + "@2x.png").c_str(), "png");
      std::string error;
      const gfx::DecodedImage pixels = gfx::DecodeImage(bytes.data(), bytes.size(), error);
      const std::unique_ptr<gfx::APIBitmap> whole = f.g->LoadBackendBitmap(pixels, 2.f);
      ASSERT_TRUE(whole) << name;
      ASSERT_EQ(static_cast<const gfx::IGfxNanoVG::Bitmap*>(whole.get())->Tiles().size(), 1u);
      const gfx::IBitmap reference(whole.get(), 101, false, "whole");

      for (const IArea& dest : {IArea(2.f, 3.f, 2.f + strip.FrameWidth(), 3.f + strip.FrameHeight()),
                                IArea(2.25f, 3.5f, 2.25f + strip.FrameWidth(), 3.5f + strip.FrameHeight())})
      {
        for (int frame : {0, 3, 4, 50, 100})
        {
          const int srcY = frame * strip.FrameHeight();
          auto draw = [&](const gfx::IBitmap& bitmap) {
            return f.Render([&](IGfx& g, const IArea& area) {
              g.PaintRect(kWhite, area);
              g.BlitBitmap(bitmap, dest, 0, srcY);
            });
          };
          const Image fromTiles = draw(strip);
          const Image fromWhole = draw(reference);
          EXPECT_TRUE(fromTiles.rgba == fromWhole.rgba)
            << name << " at scale " << scale << ", frame " << frame << " at (" << dest.L << ", " << dest.T << ")";
        }
      }
      // Frames 0 to 3, 4 to 7, 48 to 51 and 100.
      EXPECT_EQ(tiles->UploadedTileCount(), 4) << name;
    }
  }
}

TEST(NanoVGLayers, AFramebufferReleasedDuringAFrameGoesWhenTheFrameEnds)
{
  DrawingFixture f = OpenOrFail(20, 20);
  ASSERT_TRUE(f.g);
  GLuint released = 0;
  GLboolean existedAfterRelease = GL_FALSE;
  f.Render([&](IGfx& g, const IArea& area) {
    g.OpenLayer(nullptr, area);
    gfx::ILayerPtr layer = g.CloseLayer();
    ASSERT_TRUE(layer);
    released = static_cast<gfx::IGfxNanoVG::Bitmap*>(layer->bitmap.get())->Framebuffer()->fbo;
    layer.reset();
    existedAfterRelease = glIsFramebuffer(released);
  });
  EXPECT_TRUE(existedAfterRelease);
  EXPECT_FALSE(glIsFramebuffer(released));
}

TEST(NanoVGLayers, LayerPixelsReadBackTopRowFirst)
{
  DrawingFixture f = OpenOrFail(20, 10, 2.f);
  ASSERT_TRUE(f.g);
  std::vector<uint8_t> pixels;
  f.Render([&](IGfx& g, const IArea&) {
    g.OpenLayer(nullptr, IArea(0.f, 0.f, 20.f, 10.f));
    g.PaintRect(kRed, IArea(0.f, 0.f, 20.f, 2.f));
    gfx::ILayerPtr layer = g.CloseLayer();
    f.g->ReadLayerPixels(layer, pixels);
  });
  ASSERT_EQ(pixels.size(), 40u * 20u * 4u);
  EXPECT_EQ(pixels[0], 255);                      // top-left: red
  EXPECT_EQ(pixels[3], 255);
  EXPECT_EQ(pixels[(19 * 40 + 0) * 4 + 3], 0);    // bottom-left: untouched
}

TEST(NanoVGText, WidthGrowsWithSizeAndARightAngleSwapsTheBox)
{
  DrawingFixture f = OpenOrFail(200, 200);
  ASSERT_TRUE(f.g);
  ASSERT_TRUE(f.g->RequestFont("Roboto-Regular", "Roboto-Regular.ttf")) << f.g->LastResourceError();
  gfx::ITextStyle style;
  const IArea area(0.f, 0.f, 200.f, 200.f);
  IArea small = area, large = area, turned = area;
  const float w14 = f.g->MeasureTextBounds(style, "Threshold", small);
  style.size = 28.f;
  const float w28 = f.g->MeasureTextBounds(style, "Threshold", large);
  EXPECT_GT(w14, 20.f);
  EXPECT_NEAR(w28 / w14, 2.f, 0.1f);
  EXPECT_NEAR(large.MW(), area.MW(), 1.5f); // centred (by advance, not ink)
  EXPECT_NEAR(large.MH(), area.MH(), 0.5f);
  style.angle = 90.f;
  f.g->MeasureTextBounds(style, "Threshold", turned);
  EXPECT_NEAR(turned.H(), large.W(), 0.5f);
  EXPECT_NEAR(turned.W(), large.H(), 0.5f);
  EXPECT_NEAR(turned.MW(), area.MW(), 1.5f);
  EXPECT_NEAR(turned.MH(), area.MH(), 1.5f);
}

TEST(NanoVGText, AnUnknownFontDrawsAndMeasuresNothing)
{
  DrawingFixture f = OpenOrFail(60, 20);
  ASSERT_TRUE(f.g);
  gfx::ITextStyle style;
  style.SetFont("No-Such-Font");
  IArea bounds(0.f, 0.f, 60.f, 20.f);
  EXPECT_EQ(f.g->MeasureTextBounds(style, "text", bounds), 0.f);
  const Image image = f.Render([&style](IGfx& g, const IArea& area) {
    g.PaintRect(kWhite, area);
    g.PrintText(style, "text", area);
  });
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x)
      ASSERT_TRUE(IsColour(image, x, y, 255, 255, 255, 0)) << x << "," << y;
}

TEST(NanoVGBackend, PlainAnswers)
{
  TestGfx g(10, 10);
  EXPECT_EQ(g.ReadPixelColour(1.f, 1.f), kBlack);
  EXPECT_STREQ(g.DrawingApiName(), "NanoVG | GL2");
  struct Case
  {
    const char* extension;
    bool supported;
  };
  for (const Case& c : {Case{"png", true}, Case{"PNG", true}, Case{"jpg", true}, Case{"JPEG", true},
                        Case{"svg", false}, Case{"bmp", false}, Case{"", false}})
    EXPECT_EQ(g.SupportsImageExtension(c.extension), c.supported) << c.extension;
}

TEST(NanoVGBackend, WithoutANanoVGContextNothingIsMadeOrDrawn)
{
  TestGfx g(10, 10); // no GL context, OnContextCreated never called
  EXPECT_EQ(g.DrawContext(), nullptr);
  EXPECT_EQ(g.MainFramebuffer(), 0u);
  gfx::DecodedImage image;
  image.width = image.height = 1;
  image.rgba = {1, 2, 3, 4};
  EXPECT_EQ(g.LoadBackendBitmap(image, 1.f), nullptr);
  EXPECT_EQ(g.CreateBackendBitmap(4, 4, 1.f, 1.f, false), nullptr);
  g.RenderAreas({IArea(0.f, 0.f, 10.f, 10.f)}); // must not touch GL
  EXPECT_FALSE(g.InFrame());
  plug::IEditorFrame frame;
  EXPECT_FALSE(g.CaptureFrame(frame));
  EXPECT_TRUE(frame.rgba.empty());
}

// A capture is a whole frame, whatever was dirty: the top-left quarter red,
// the rest blue, read back top row first at the device size.
TEST(NanoVGCapture, ReadsTheWholeFrameTopRowFirstAtTheDeviceSize)
{
  for (const float scale : {1.f, 2.f})
  {
    DrawingFixture f = OpenOrFail(40, 30, scale);
    ASSERT_TRUE(f.g);
    f.g->AddControl(new FunctionControl(IArea(0.f, 0.f, 40.f, 30.f), [](IGfx& g, const IArea& area) {
      g.PaintRect(kBlue, area);
      g.PaintRect(kRed, IArea(0.f, 0.f, 20.f, 15.f));
    }));
    f.g->MarkAllClean(); // a frame tick would find nothing to draw
    plug::IEditorFrame frame;
    ASSERT_TRUE(f.g->CaptureFrame(frame)) << "scale " << scale;
    ASSERT_EQ(frame.width, static_cast<int>(40 * scale));
    ASSERT_EQ(frame.height, static_cast<int>(30 * scale));
    ASSERT_EQ(frame.rgba.size(), static_cast<size_t>(frame.width) * frame.height * 4);
    const Image image{frame.width, frame.height, frame.rgba};
    const int s = static_cast<int>(scale);
    EXPECT_TRUE(IsColour(image, 0, 0, 255, 0, 0)) << "scale " << scale;
    EXPECT_TRUE(IsColour(image, 19 * s, 14 * s, 255, 0, 0));
    EXPECT_TRUE(IsColour(image, 21 * s, 2 * s, 0, 0, 255));
    EXPECT_TRUE(IsColour(image, 2 * s, 16 * s, 0, 0, 255));
    EXPECT_TRUE(IsColour(image, frame.width - 1, frame.height - 1, 0, 0, 255));
  }
}

} // namespace
} // namespace gfxtest
