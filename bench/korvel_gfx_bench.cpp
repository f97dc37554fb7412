// Frames of the editor drawn with the NanoVG backend on real OpenGL (the GL
// test context on the X display in DISPLAY; Mesa llvmpipe on the CI machines):
// a full 998 x 386 panel at draw scale 1 and 2 (background bitmap, 16 knobs
// from the 101-frame strip, two needle meters, text), and a frame where only
// one knob and one meter changed. Each frame ends with glFinish so the time
// includes the GPU's (here the CPU rasterizer's) work; fps is frames per
// second of wall time, cpu_ms the processor time of all the process's threads
// (llvmpipe rasterizes on several) per frame, which a busy machine does not
// inflate.

#include "TestGfx.h"

#include "gfx/drawing/NanoVGIncludes.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>
#include <string>

namespace {

using gfx::IArea;
using gfx::IGfx;

constexpr int kWidth = 998;
constexpr int kHeight = 386;

/** Shows one frame of a vertical strip, the frame chosen by the control's value. */
class StripControl : public gfx::IControl
{
public:
  StripControl(const IArea& area, const char* image, int frames) : IControl(area), mImage(image), mFrames(frames) {}
  void Paint(IGfx& g) override
  {
    const gfx::IBitmap strip = g.RequestBitmap(mImage, mFrames);
    const int frame = static_cast<int>(Value() * (mFrames - 1) + 0.5);
    g.BlitBitmap(strip, Area(), 0, frame * strip.FrameHeight());
  }

private:
  const char* mImage;
  int mFrames;
};

class LabelControl : public gfx::IControl
{
public:
  LabelControl(const IArea& area, const char* text) : IControl(area), mText(text) {}
  void Paint(IGfx& g) override
  {
    gfx::ITextStyle style;
    style.colour = gfx::IRgba(255, 220, 220, 220);
    g.PrintText(style, mText.c_str(), Area());
  }

private:
  std::string mText;
};

double ProcessCpuMs()
{
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

void ReportFrames(benchmark::State& state, double cpuMs)
{
  const double frames = static_cast<double>(state.iterations());
  state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
  state.counters["cpu_ms"] = cpuMs / frames;
}

struct Editor
{
  gfxtest::DrawingFixture fixture;
  std::vector<gfx::IControl*> knobs, meters;

  explicit Editor(float scale)
  {
    std::string error;
    fixture = gfxtest::DrawingFixture::Open(kWidth, kHeight, scale, error);
    if (!fixture.g)
      return;
    IGfx& g = *fixture.g;
    g.RequestFont("Roboto-Regular", "Roboto-Regular.ttf");
    g.AddControl(new StripControl(IArea(0.f, 0.f, kWidth, kHeight), "BG.png", 1));
    for (int i = 0; i < 16; ++i)
    {
      const float x = 86.f + (i % 8) * 95.f, y = i < 8 ? 67.f : 239.f;
      knobs.push_back(g.AddControl(new StripControl(IArea(x, y, x + 73.f, y + 73.f), "KNOB.png", 101)));
      knobs.back()->StoreValue(i / 15.0);
      g.AddControl(new LabelControl(IArea(x - 10.f, y + 76.f, x + 83.f, y + 92.f), "Threshold Int"));
    }
    for (int i = 0; i < 2; ++i)
    {
      const float y = i == 0 ? 40.f : 212.f;
      meters.push_back(g.AddControl(new StripControl(IArea(840.f, y, 972.f, y + 70.f), "NEEDLE.png", 101)));
    }
  }

  void DrawFrame()
  {
    gfx::IAreaList areas;
    fixture.g->CollectDirtyAreas(areas);
    fixture.g->MarkAllClean();
    fixture.g->RenderAreas(areas);
    glFinish();
  }
};

void FullFrame(benchmark::State& state)
{
  const float scale = static_cast<float>(state.range(0));
  Editor editor(scale);
  if (!editor.fixture.g)
  {
    state.SkipWithError("no GL context (is DISPLAY set?)");
    return;
  }
  editor.fixture.g->MarkAllDirty();
  editor.DrawFrame(); // uploads the images and the font atlas
  const double cpuStart = ProcessCpuMs();
  for (auto _ : state)
  {
    editor.fixture.g->MarkAllDirty();
    editor.DrawFrame();
  }
  ReportFrames(state, ProcessCpuMs() - cpuStart);
}

void TwoSmallAreasDirty(benchmark::State& state)
{
  const float scale = static_cast<float>(state.range(0));
  Editor editor(scale);
  if (!editor.fixture.g)
  {
    state.SkipWithError("no GL context (is DISPLAY set?)");
    return;
  }
  editor.fixture.g->MarkAllDirty();
  editor.DrawFrame();
  double value = 0.0;
  const double cpuStart = ProcessCpuMs();
  for (auto _ : state)
  {
    value = value < 1.0 ? value + 0.01 : 0.0;
    editor.knobs[3]->StoreValue(value);
    editor.knobs[3]->MarkDirty();
    editor.meters[0]->StoreValue(1.0 - value);
    editor.meters[0]->MarkDirty();
    editor.DrawFrame();
  }
  ReportFrames(state, ProcessCpuMs() - cpuStart);
}

BENCHMARK(FullFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(TwoSmallAreasDirty)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
