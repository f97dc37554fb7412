// KORVEL's editor panel (its real layout, bitmaps and font from the embedded
// resources, bound to a real KORVEL instance) drawn by the NanoVG backend on
// real OpenGL: the GL test context on the X display in DISPLAY (a GLX
// pbuffer; Mesa llvmpipe on the CI machines). Frames go through the editor's
// own frame tick (pending meter values delivered, Power hook, dirty areas
// collected) and are drawn as the window draws them.
//
// - FullPanel/scale: every control dirty, the whole panel drawn.
// - MetersOnly/scale/age: the processing hands new readings of both meters to
//   the editor every frame, nothing else changes. age is what the window's
//   back buffer is said to hold: 0 unknown (the whole frame is copied to it),
//   1 the last frame (only the meters are copied; the test context's
//   framebuffer is never swapped, so it does hold it).
// - PresentOnly/scale: a frame that draws nothing but still presents (the
//   main framebuffer composited onto the window's): what any frame costs.
// - Opening/scale/kept: where an opening's time goes, each phase's process
//   CPU ms: making the GL context, the layout (finding, decoding and
//   uploading the images, the font), the first whole frame (with glFinish). kept 0: the
//   decoded images go with the instance, as at the first opening in a
//   process; kept 1: they stay between openings (another instance holds them).
// - DecodeImages/parallel: the seven stored images decoded one after another
//   (0) or handed to the decoded-image cache's workers at once (1), wall ms.
// - IdlePanel: nothing changes for 10 s of frame ticks at 60 per second; the
//   GL draw calls (glDrawArrays, glDrawElements, counted through the loader's
//   function pointers) per second of that are printed, and should be 0.
//
// Each drawn frame ends with glFinish so the time includes the rasterizer's
// work; fps is frames per second of wall time, cpu_ms the processor time of
// all the process's threads per frame (llvmpipe rasterizes on several), which
// a busy machine does not inflate; draws is GL draw calls per frame.

#include "GLTestContext.h"
#include "TestGfx.h"

#include "KORVEL.h"
#include "KorvelEditor.h"

#include "gfx/drawing/NanoVGIncludes.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

namespace {

// GL draw calls, counted by wrappers around glad's entry points (every GL call
// of NanoVG and the backend goes through them).
long gDrawCalls = 0;
PFNGLDRAWARRAYSPROC realDrawArrays;
PFNGLDRAWELEMENTSPROC realDrawElements;
void GLAD_API_PTR CountDrawArrays(GLenum mode, GLint first, GLsizei count)
{
  ++gDrawCalls;
  realDrawArrays(mode, first, count);
}
void GLAD_API_PTR CountDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices)
{
  ++gDrawCalls;
  realDrawElements(mode, count, type, indices);
}

/** The editor without a window: the frame lands in the GL context's default framebuffer. */
class OffscreenEditor : public gfxtest::TestGfx
{
public:
  OffscreenEditor(plug::IGfxEditorDelegate* delegate, float drawScale)
    : TestGfx(korvel_editor::kWidth, korvel_editor::kHeight, drawScale, delegate)
  {
  }
  // As the window opens: the backend's context, the layout, every control dirty, the parameters' values.
  void* OpenEditorWindow(void*) override
  {
    OnContextCreated(nullptr);
    BuildLayout();
    MarkAllDirty();
    NotifyEditorOpened();
    return this;
  }
  void CloseEditorWindow() override { ClearControls(); }
};

double ProcessCpuMs()
{
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct ReleasePlugin
{
  void operator()(KORVEL* plugin) const { plugin->release(); }
};

std::string& panelError()
{
  static std::string error;
  return error;
}

struct Panel
{
  std::unique_ptr<gfxtest::GLTestContext> gl;
  std::unique_ptr<KORVEL, ReleasePlugin> plugin;
  OffscreenEditor* g = nullptr;
  double nowMs = 0.0;
  std::string error;

  explicit Panel(float scale)
    : Panel(scale, gfxtest::GLTestContext::Open(static_cast<int>(korvel_editor::kWidth * scale),
                                                static_cast<int>(korvel_editor::kHeight * scale), panelError()))
  {
  }
  Panel(float scale, std::unique_ptr<gfxtest::GLTestContext> context) : gl(std::move(context))
  {
    if (!gl)
    {
      error = panelError();
      return;
    }
    plugin.reset(new KORVEL(plug::InstanceInfo{}));
    plugin->AnnounceAllParameters(plug::kReset);
    plugin->MakeGraphicsFunction = [this, scale] {
      auto editor = std::make_unique<OffscreenEditor>(plugin.get(), scale);
      g = editor.get();
      return std::unique_ptr<plug::IEditor>(std::move(editor));
    };
    static int parent;
    if (!plugin->OpenEditor(&parent) || !g->DrawContext())
    {
      error = "the editor did not open on the GL context";
      g = nullptr;
    }
  }
  ~Panel()
  {
    if (plugin)
      plugin->CloseEditor();
  }

  /** One frame tick at 60 per second; draws what it collected. Returns the GL draw calls it made. */
  long Frame()
  {
    const long before = gDrawCalls;
    nowMs += 1000.0 / korvel_editor::kFramesPerSecond;
    gfx::IAreaList areas;
    if (g->TickFrame(nowMs, areas))
    {
      g->RenderAreas(areas);
      glFinish();
    }
    return gDrawCalls - before;
  }
  /** Ticks until a frame draws nothing (the opening frame and the Power hook's first say). */
  void Settle()
  {
    for (int i = 0; i < 10 && Frame() != 0; ++i)
    {
    }
  }
};

class CountingDraws
{
public:
  CountingDraws()
  {
    realDrawArrays = glad_glDrawArrays;
    realDrawElements = glad_glDrawElements;
    glad_glDrawArrays = CountDrawArrays;
    glad_glDrawElements = CountDrawElements;
  }
  ~CountingDraws()
  {
    glad_glDrawArrays = realDrawArrays;
    glad_glDrawElements = realDrawElements;
  }
};

void Report(benchmark::State& state, double cpuMs, long draws)
{
  const double frames = static_cast<double>(state.iterations());
  state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
  state.counters["cpu_ms"] = cpuMs / frames;
  state.counters["draws"] = static_cast<double>(draws) / frames;
}

void FullPanel(benchmark::State& state)
{
  Panel panel(static_cast<float>(state.range(0)));
  if (!panel.g)
  {
    state.SkipWithError(panel.error.c_str());
    return;
  }
  CountingDraws counting;
  panel.Settle(); // uploads the images and the font atlas
  long draws = 0;
  const double cpuStart = ProcessCpuMs();
  for (auto _ : state)
  {
    panel.g->MarkAllDirty();
    draws += panel.Frame();
  }
  Report(state, ProcessCpuMs() - cpuStart, draws);
}

void MetersOnly(benchmark::State& state)
{
  Panel panel(static_cast<float>(state.range(0)));
  if (!panel.g)
  {
    state.SkipWithError(panel.error.c_str());
    return;
  }
  panel.g->bufferAge = static_cast<int>(state.range(1));
  CountingDraws counting;
  panel.Settle();
  long draws = 0;
  double reading = 1.0;
  const double cpuStart = ProcessCpuMs();
  for (auto _ : state)
  {
    // As the processing hands them over at the end of a block: a new reading for each stage.
    reading = reading > 0.3 ? reading - 0.01 : 1.0;
    panel.plugin->SendParameterValueToEditor(kMeterInt, reading, false);
    panel.plugin->SendParameterValueToEditor(kMeterExt, 1.3 - reading, false);
    draws += panel.Frame();
  }
  Report(state, ProcessCpuMs() - cpuStart, draws);
}

void PresentOnly(benchmark::State& state)
{
  Panel panel(static_cast<float>(state.range(0)));
  if (!panel.g)
  {
    state.SkipWithError(panel.error.c_str());
    return;
  }
  CountingDraws counting;
  panel.Settle();
  long draws = 0;
  const double cpuStart = ProcessCpuMs();
  for (auto _ : state)
  {
    const long before = gDrawCalls;
    panel.g->StartFrame();
    panel.g->FinishFrame();
    glFinish();
    draws += gDrawCalls - before;
  }
  Report(state, ProcessCpuMs() - cpuStart, draws);
}

void Opening(benchmark::State& state)
{
  const float scale = static_cast<float>(state.range(0));
  std::unique_ptr<gfx::DecodedImageUse> kept;
  if (state.range(1))
    kept = std::make_unique<gfx::DecodedImageUse>();
  double contextMs = 0.0, layoutMs = 0.0, frameMs = 0.0;
  for (auto _ : state)
  {
    const double start = ProcessCpuMs();
    auto gl = gfxtest::GLTestContext::Open(static_cast<int>(korvel_editor::kWidth * scale),
                                           static_cast<int>(korvel_editor::kHeight * scale), panelError());
    if (!gl)
    {
      state.SkipWithError(panelError().c_str());
      return;
    }
    const double contextDone = ProcessCpuMs();
    Panel panel(scale, std::move(gl));
    const double layoutDone = ProcessCpuMs();
    panel.Frame();
    const double frameDone = ProcessCpuMs();
    contextMs += contextDone - start;
    layoutMs += layoutDone - contextDone;
    frameMs += frameDone - layoutDone;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["context_cpu_ms"] = contextMs / n;
  state.counters["layout_cpu_ms"] = layoutMs / n;
  state.counters["frame_cpu_ms"] = frameMs / n;
}

void DecodeImages(benchmark::State& state)
{
  const std::vector<std::string> stored = {"BG@2x.png",  "KNOB@2x.png",  "NEEDLE@2x.png", "OFF@2x.png",
                                           "OVER@2x.png", "SCREW@2x.png", "SWITCH@2x.png"};
  for (auto _ : state)
  {
    gfx::DecodedImageCache cache;
    gfx::DecodedImageUse use(cache);
    if (state.range(0))
      cache.Prefetch(stored, "png");
    for (const std::string& name : stored)
    {
      std::string error;
      if (!cache.Get(name, "png", error))
      {
        state.SkipWithError((name + ": " + error).c_str());
        return;
      }
    }
  }
}

void IdlePanel(benchmark::State& state)
{
  Panel panel(1.f);
  if (!panel.g)
  {
    state.SkipWithError(panel.error.c_str());
    return;
  }
  CountingDraws counting;
  panel.Settle();
  constexpr int kSeconds = 10;
  long draws = 0;
  for (auto _ : state)
    for (int i = 0; i < kSeconds * korvel_editor::kFramesPerSecond; ++i)
      draws += panel.Frame();
  const double perSecond = static_cast<double>(draws) / (kSeconds * static_cast<double>(state.iterations()));
  state.counters["draws_per_s"] = perSecond;
  std::printf("idle editor: %.1f GL draw calls per second over %d s of frame ticks (expected 0)\n", perSecond,
              kSeconds);
}

BENCHMARK(FullPanel)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(MetersOnly)->ArgsProduct({{1, 2}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PresentOnly)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Opening)->Args({1, 0})->Args({1, 1})->Args({2, 0})->Args({2, 1})->Iterations(5)
  ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(DecodeImages)->Arg(0)->Arg(1)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(IdlePanel)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
