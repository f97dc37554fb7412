// The X11 editor window on the test display: opening in a host window with a
// host-style run loop, frames and Expose redraws seen in X screenshots, sizes
// and scales, open/close cycles, a host window destroyed before the editor
// closes, X errors kept apart from the host's, and input through xdotool as a user
// would.

#include "GLTestContext.h"
#include "LinuxTestSupport.h"

#include "gfx/ScopedContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

using gfx::IGfxLinux;
using namespace gfxtest;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

constexpr int kHostX = 40;
constexpr int kHostY = 40;

bool Near(const gfx::IRgba& a, const gfx::IRgba& b)
{
  return std::abs(a.R - b.R) <= 2 && std::abs(a.G - b.G) <= 2 && std::abs(a.B - b.B) <= 2;
}

std::string Text(const gfx::IRgba& c)
{
  char s[40];
  std::snprintf(s, sizeof(s), "(%d,%d,%d)", c.R, c.G, c.B);
  return s;
}

/** The screenshot shows each probe's colour at its centre and the background between them. */
void ExpectProbesOnScreen(HostWindow& host, float scale)
{
  const struct
  {
    float x, y;
    gfx::IRgba colour;
  } points[] = {{60.f, 35.f, kColourA}, {200.f, 35.f, kColourB}, {150.f, 90.f, kColourC},
                {130.f, 35.f, kBackgroundColour}, {295.f, 115.f, kBackgroundColour}};
  for (const auto& p : points)
  {
    gfx::IRgba seen;
    ASSERT_TRUE(host.ReadPixel(int(p.x * scale), int(p.y * scale), seen));
    EXPECT_TRUE(Near(seen, p.colour)) << "at " << p.x << "," << p.y << " scale " << scale << ": " << Text(seen)
                                      << " instead of " << Text(p.colour);
  }
}

TEST(IGfxLinuxWindow, RefusesToOpenWithoutRunLoopOrWithABadParent)
{
  HostWindow host(kHostX, kHostY, 400, 200);
  {
    TestDelegate delegate;
    IGfxLinux g(&delegate, kLayoutWidth, kLayoutHeight);
    EXPECT_EQ(g.OpenEditorWindow(host.Parent()), nullptr) << "no run loop: nothing would ever draw";
    EXPECT_FALSE(g.IsWindowOpen());
  }
  ProbeEditor editor;
  EXPECT_EQ(editor.gfx->OpenEditorWindow(nullptr), nullptr);
  // An id that names no window: X reports an error, which must not end the process.
  EXPECT_EQ(editor.gfx->OpenEditorWindow(reinterpret_cast<void*>(uintptr_t(0x3fffff0))), nullptr);
  EXPECT_EQ(editor.runLoop.TimerCount() + editor.runLoop.ReaderCount(), 0);
  EXPECT_EQ(IGfxLinux::OpenWindowCount(), 0);
  EXPECT_EQ(IGfxLinux::LiveGLContextCount(), 0);
  // The same editor opens once the parent is real.
  ASSERT_TRUE(editor.Open(host));
  EXPECT_EQ(IGfxLinux::OpenWindowCount(), 1);
}

// Frames reach the window in two ways: put as pixels (on a software
// renderer such as this display's) or copied with GL and swapped.
enum class Presenting
{
  Pixels,
  GL
};

std::string Name(Presenting presenting)
{
  return presenting == Presenting::GL ? "GL" : "Pixels";
}

bool OpenPresenting(ProbeEditor& editor, HostWindow& host, Presenting presenting)
{
  editor.gfx->PreferGLPresentation(presenting == Presenting::GL);
  if (!editor.Open(host))
    return false;
  // Xvfb's GL is Mesa's software renderer.
  EXPECT_EQ(editor.gfx->PresentsPixels(), presenting == Presenting::Pixels);
  return true;
}

class IGfxLinuxScaled : public testing::TestWithParam<std::tuple<float, Presenting>>
{
};

TEST_P(IGfxLinuxScaled, OpensAChildWindowDrivenByTheRunLoopAndDrawsTheLayout)
{
  const float scale = std::get<0>(GetParam());
  HostWindow host(kHostX, kHostY, 700, 300);
  ProbeEditor editor(scale);
  ASSERT_TRUE(OpenPresenting(editor, host, std::get<1>(GetParam())));

  EXPECT_THAT(host.Children(), ElementsAre(editor.WindowId()));
  int w = 0, h = 0;
  host.WindowSize(editor.WindowId(), w, h);
  EXPECT_EQ(w, int(kLayoutWidth * scale));
  EXPECT_EQ(h, int(kLayoutHeight * scale));
  EXPECT_EQ(editor.runLoop.TimerCount(), 1);
  EXPECT_EQ(editor.runLoop.ReaderCount(), 1);
  EXPECT_EQ(editor.runLoop.FirstTimerInterval(), IGfxLinux::TimerPeriodMs(60));
  ExpectProbesOnScreen(host, scale);

  // The first frame drew every control once; ticks with nothing changed draw nothing more.
  ASSERT_TRUE(editor.runLoop.RunUntil([&] { return editor.gfx->FrameCounters().framesServed >= 3; }));
  EXPECT_EQ(editor.gfx->FrameCounters().framesDrawn, 1);
  EXPECT_EQ(editor.Probe(1)->Paints(), 1);
  EXPECT_EQ(editor.Probe(2)->Paints(), 1);

  // Only the frame tick changes what is shown: a control changed between ticks appears after the next one.
  const int served = editor.gfx->FrameCounters().framesServed;
  editor.Probe(1)->SetColour(kColourC);
  ASSERT_TRUE(editor.runLoop.RunUntil([&] { return editor.gfx->FrameCounters().framesServed > served + 2; }));
  gfx::IRgba seen;
  ASSERT_TRUE(host.ReadPixel(int(60 * scale), int(35 * scale), seen));
  EXPECT_TRUE(Near(seen, kColourC)) << Text(seen);

  editor.gfx->CloseEditorWindow();
  EXPECT_THAT(host.Children(), IsEmpty());
  EXPECT_EQ(editor.runLoop.TimerCount() + editor.runLoop.ReaderCount(), 0);
  EXPECT_EQ(IGfxLinux::OpenWindowCount(), 0);
  EXPECT_EQ(IGfxLinux::LiveGLContextCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(DrawScales, IGfxLinuxScaled,
                         testing::Combine(testing::Values(1.f, 2.f), testing::Values(Presenting::Pixels, Presenting::GL)),
                         [](const testing::TestParamInfo<std::tuple<float, Presenting>>& info) {
                           return "Scale" + std::to_string(int(std::get<0>(info.param))) + Name(std::get<1>(info.param));
                         });

class IGfxLinuxPresenting : public testing::TestWithParam<Presenting>
{
};

TEST_P(IGfxLinuxPresenting, ExposedWindowIsRedrawnFromTheFramebuffer)
{
  HostWindow host(kHostX, kHostY, 400, 200);
  ProbeEditor editor;
  ASSERT_TRUE(OpenPresenting(editor, host, GetParam()));
  const IGfxLinux::Counters before = editor.gfx->FrameCounters();
  host.Remap();
  ASSERT_TRUE(editor.runLoop.RunUntil([&] {
    return editor.gfx->FrameCounters().exposes > before.exposes &&
           editor.gfx->FrameCounters().framesDrawn > before.framesDrawn;
  }));
  ExpectProbesOnScreen(host, 1.f);
}

// A host unmaps its own window (the plug-in window closed, or another tab)
// and leaves the editor's mapped: no frame is drawn or presented while it
// cannot be seen, and the change made meanwhile is on screen once it shows.
TEST(IGfxLinuxWindow, NothingIsDrawnWhileTheHostWindowIsHiddenAndTheChangesShowAfterwards)
{
  HostWindow host(kHostX, kHostY, 400, 200);
  ProbeEditor editor;
  ASSERT_TRUE(editor.Open(host));
  editor.runLoop.RunFor(100);
  host.Hide();
  editor.runLoop.RunFor(100);

  const IGfxLinux::Counters before = editor.gfx->FrameCounters();
  const gfx::IRgba changed(255, 250, 10, 200);
  editor.Probe(1)->SetColour(changed);
  editor.runLoop.RunFor(200);
  editor.Probe(2)->MarkDirty(false);
  editor.runLoop.RunFor(200);
  const IGfxLinux::Counters hidden = editor.gfx->FrameCounters();
  EXPECT_GE(hidden.framesServed - before.framesServed, 10) << "the frame clock kept running";
  EXPECT_EQ(hidden.framesDrawn, before.framesDrawn) << "frames drawn and presented while hidden";

  host.Show();
  ASSERT_TRUE(editor.runLoop.RunUntil([&] { return editor.gfx->FrameCounters().framesDrawn > hidden.framesDrawn; }));
  editor.runLoop.RunFor(100);
  gfx::IRgba seen;
  ASSERT_TRUE(host.ReadPixel(60, 35, seen));
  EXPECT_TRUE(Near(seen, changed)) << Text(seen);
  EXPECT_FALSE(editor.Probe(1)->IsDirty());
}

// Where the window keeps what was put into it, or GLX reports the back
// buffer's age, a frame in which one control changed copies only that
// control's area to the window, and the screen still shows everything else
// as before.
TEST_P(IGfxLinuxPresenting, AFrameOfOneChangedControlCopiesOnlyItsAreaToTheWindow)
{
  HostWindow host(kHostX, kHostY, 400, 200);
  ProbeEditor editor;
  ASSERT_TRUE(OpenPresenting(editor, host, GetParam()));
  editor.runLoop.RunFor(200);
  const int drawn = editor.gfx->FrameCounters().framesDrawn;
  const gfx::IRgba changed(255, 250, 10, 200);
  editor.Probe(1)->SetColour(changed);
  ASSERT_TRUE(editor.runLoop.RunUntil([&] { return editor.gfx->FrameCounters().framesDrawn > drawn; }));
  int age = 0;
  {
    gfx::ScopedContext current(*editor.gfx); // GLX answers for the current drawable only
    age = editor.gfx->WindowBufferAge();
  }
  if (age == 0)
    GTEST_SKIP() << "this display's GLX reports no back-buffer age: frames are copied whole";
  const gfx::IArea copied = kAreaA.GetPadded(0.75f).GetPixelAligned(1.f);
  EXPECT_EQ(editor.gfx->LastCopiedAreas(), gfx::IAreaList{copied});
  gfx::IRgba seen;
  ASSERT_TRUE(host.ReadPixel(60, 35, seen));
  EXPECT_TRUE(Near(seen, changed)) << Text(seen);
  ASSERT_TRUE(host.ReadPixel(200, 35, seen));
  EXPECT_TRUE(Near(seen, kColourB)) << Text(seen);
  ASSERT_TRUE(host.ReadPixel(150, 90, seen));
  EXPECT_TRUE(Near(seen, kColourC)) << Text(seen);
}

INSTANTIATE_TEST_SUITE_P(Presenting, IGfxLinuxPresenting, testing::Values(Presenting::Pixels, Presenting::GL),
                         [](const testing::TestParamInfo<Presenting>& info) { return Name(info.param); });

TEST(IGfxLinuxWindow, EditorSizeAndDisplayScaleResizeTheWindow)
{
  HostWindow host(kHostX, kHostY, 1000, 400);
  ProbeEditor editor;
  ASSERT_TRUE(editor.Open(host));
  editor.gfx->SetEditorSize(kLayoutWidth, kLayoutHeight, 2.f);
  editor.runLoop.RunFor(100);
  int w = 0, h = 0;
  host.WindowSize(editor.WindowId(), w, h);
  EXPECT_EQ(w, 2 * kLayoutWidth);
  EXPECT_EQ(h, 2 * kLayoutHeight);
  ExpectProbesOnScreen(host, 2.f);

  // The host's content scale multiplies with the draw scale.
  editor.gfx->SetDisplayScale(1.5f);
  editor.runLoop.RunFor(100);
  host.WindowSize(editor.WindowId(), w, h);
  EXPECT_EQ(w, 3 * kLayoutWidth);
  EXPECT_EQ(h, 3 * kLayoutHeight);
  ExpectProbesOnScreen(host, 3.f);
}

// A host that draws with GL itself keeps its context current on the user
// interface thread; whatever the editor does there gives it back.
TEST(IGfxLinuxWindow, EveryUseOfTheContextRestoresTheContextThatWasCurrent)
{
  std::string error;
  auto hostContext = GLTestContext::Open(16, 16, error);
  ASSERT_TRUE(hostContext) << error;
  void* const hostGL = CurrentGLContext();
  const unsigned long hostDrawable = CurrentGLDrawable();
  ASSERT_NE(hostGL, nullptr);
  auto hostIsCurrent = [&] { return CurrentGLContext() == hostGL && CurrentGLDrawable() == hostDrawable; };

  HostWindow host(kHostX, kHostY, 400, 200);
  ProbeEditor editor;
  // The layout loads its images while the window opens, inside the opening's own use of the context.
  bool imageLoaded = false;
  editor.delegate.LayoutFunction = [&editor, &imageLoaded](plug::IEditor* e) {
    auto& g = *static_cast<gfx::IGfx*>(e);
    g.AddBackground(new ProbeControl(editor.log, "BG", {0.f, 0.f, float(kLayoutWidth), float(kLayoutHeight)},
                                     kBackgroundColour));
    g.AddControl(new ProbeControl(editor.log, "A", kAreaA, kColourA));
    imageLoaded = LoadProbeImage(g);
  };
  ASSERT_TRUE(editor.Open(host));
  EXPECT_TRUE(imageLoaded);
  EXPECT_TRUE(hostIsCurrent()) << "opening left another context current";
  const int drawn = editor.gfx->FrameCounters().framesDrawn;
  editor.Probe(1)->SetColour(kColourB);
  ASSERT_TRUE(editor.runLoop.RunUntil([&] { return editor.gfx->FrameCounters().framesDrawn > drawn; }));
  EXPECT_TRUE(hostIsCurrent()) << "a frame left another context current";
  editor.gfx->SetEditorSize(kLayoutWidth, kLayoutHeight, 1.5f); // remakes the framebuffer
  EXPECT_TRUE(hostIsCurrent()) << "a resize left another context current";
  editor.runLoop.RunFor(50);
  EXPECT_TRUE(hostIsCurrent()) << "a frame after the resize left another context current";
  editor.gfx->CloseEditorWindow();
  EXPECT_TRUE(hostIsCurrent()) << "closing unbound the host's context";
}

TEST(IGfxLinuxWindow, OpenCloseCyclesLeaveNothingBehind)
{
  HostWindow host(kHostX, kHostY, 400, 200);
  ProbeEditor editor;
  for (int i = 0; i < 12; ++i)
  {
    ASSERT_TRUE(editor.Open(host)) << "cycle " << i;
    editor.runLoop.RunFor(20);
    editor.gfx->CloseEditorWindow();
    ASSERT_EQ(IGfxLinux::OpenWindowCount(), 0);
    ASSERT_EQ(IGfxLinux::LiveGLContextCount(), 0);
    ASSERT_EQ(editor.runLoop.TimerCount() + editor.runLoop.ReaderCount(), 0);
    ASSERT_THAT(host.Children(), IsEmpty());
  }
  // Reopening into an open window replaces it.
  ASSERT_TRUE(editor.Open(host));
  ASSERT_TRUE(editor.Open(host));
  EXPECT_EQ(IGfxLinux::OpenWindowCount(), 1);
  EXPECT_EQ(host.Children().size(), 1u);
  EXPECT_EQ(editor.runLoop.TimerCount(), 1);
  // The editor is destroyed while open (the host closed without removing the view).
  editor.gfx.reset();
  EXPECT_EQ(IGfxLinux::OpenWindowCount(), 0);
  EXPECT_EQ(editor.runLoop.TimerCount() + editor.runLoop.ReaderCount(), 0);
}

TEST(IGfxLinuxWindow, AParkedEditorReopensWithItsContextControlsAndFrameAndClosingReleasesThem)
{
  std::string error;
  auto hostContext = GLTestContext::Open(16, 16, error);
  ASSERT_TRUE(hostContext) << error;
  void* const hostGL = CurrentGLContext();
  auto hostIsCurrent = [&] { return CurrentGLContext() == hostGL; };

  HostWindow host(kHostX, kHostY, 800, 400); // room for scale 2
  ProbeEditor editor;
  int layouts = 0;
  const auto probeLayout = editor.delegate.LayoutFunction;
  editor.delegate.LayoutFunction = [&](plug::IEditor* e) {
    probeLayout(e);
    ++layouts;
  };
  ASSERT_TRUE(editor.Open(host));
  ASSERT_EQ(IGfxLinux::LiveGLContextCount(), 1);

  const gfx::IRgba colours[] = {kColourB, kColourC, kColourA};
  for (const gfx::IRgba& colour : colours)
  {
    ASSERT_TRUE(editor.gfx->ParkEditorWindow());
    EXPECT_TRUE(hostIsCurrent()) << "parking left another context current";
    EXPECT_THAT(host.Children(), IsEmpty());
    EXPECT_EQ(IGfxLinux::OpenWindowCount(), 0);
    EXPECT_EQ(IGfxLinux::LiveGLContextCount(), 1) << "parked: the context stays";
    EXPECT_EQ(editor.runLoop.TimerCount() + editor.runLoop.ReaderCount(), 0);
    EXPECT_FALSE(editor.gfx->ParkEditorWindow()) << "nothing open to park";

    // A control changes while the editor is parked.
    editor.Probe(1)->SetColour(colour);
    const int untouchedPaints = editor.Probe(2)->Paints();
    const int changedPaints = editor.Probe(1)->Paints();
    // Only X events run (no frame tick yet): the first frame comes from the window's first Expose.
    ASSERT_NE(editor.gfx->OpenEditorWindow(host.Parent()), nullptr);
    for (int i = 0; i < 200 && editor.gfx->FrameCounters().framesDrawn == 0; ++i)
    {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      editor.gfx->OnXEvents();
    }
    ASSERT_EQ(editor.gfx->FrameCounters().framesServed, 0);
    ASSERT_EQ(editor.gfx->FrameCounters().framesDrawn, 1);
    EXPECT_TRUE(hostIsCurrent()) << "reopening left another context current";
    EXPECT_EQ(IGfxLinux::LiveGLContextCount(), 1) << "reopened on the same context";
    EXPECT_EQ(layouts, 1) << "the controls were made again";
    EXPECT_EQ(editor.Probe(2)->Paints(), untouchedPaints) << "the kept frame was drawn again";
    EXPECT_EQ(editor.Probe(1)->Paints(), changedPaints + 1);
    gfx::IRgba seen;
    ASSERT_TRUE(host.ReadPixel(60, 35, seen));
    EXPECT_TRUE(Near(seen, colour)) << "the first frame misses the change: " << Text(seen);
    ASSERT_TRUE(host.ReadPixel(200, 35, seen));
    EXPECT_TRUE(Near(seen, kColourB)) << Text(seen);
  }

  // A parent the kept window cannot go into: what was kept goes, and the opening fails like a fresh one.
  ASSERT_TRUE(editor.gfx->ParkEditorWindow());
  EXPECT_EQ(editor.gfx->OpenEditorWindow(reinterpret_cast<void*>(uintptr_t(0x3fffff0))), nullptr);
  EXPECT_EQ(IGfxLinux::LiveGLContextCount(), 0);
  EXPECT_EQ(IGfxLinux::OpenWindowCount(), 0);
  ASSERT_TRUE(editor.Open(host));

  // At another size the kept frame does not fit: everything is drawn anew.
  editor.Probe(1)->SetColour(kColourA);
  ASSERT_TRUE(editor.gfx->ParkEditorWindow());
  editor.gfx->SetEditorSize(kLayoutWidth, kLayoutHeight, 2.f);
  const int backgroundPaints = editor.Probe(0)->Paints();
  ASSERT_TRUE(editor.Open(host));
  EXPECT_GT(editor.Probe(0)->Paints(), backgroundPaints);
  ExpectProbesOnScreen(host, 2.f);

  // A window the host destroyed cannot be parked: closing releases everything as before.
  host.Destroy();
  editor.runLoop.RunFor(50);
  EXPECT_FALSE(editor.gfx->ParkEditorWindow());
  editor.gfx->CloseEditorWindow();
  EXPECT_EQ(IGfxLinux::LiveGLContextCount(), 0);

  // Destroying a parked editor releases its context.
  HostWindow second(kHostX, kHostY, 400, 200);
  ASSERT_TRUE(editor.Open(second));
  ASSERT_TRUE(editor.gfx->ParkEditorWindow());
  editor.gfx.reset();
  EXPECT_EQ(IGfxLinux::LiveGLContextCount(), 0);
  EXPECT_TRUE(hostIsCurrent());
}

TEST(IGfxLinuxWindow, HostWindowDestroyedBeforeTheEditorClosesEndsTheDrawingWithoutAnXError)
{
  // Hosts destroy their window, and the editor's child with it, when a track
  // goes, and close the editor later: errors about the dead window must not
  // reach the process's handler (Xlib's default ends the host).
  XErrorCounter hostsHandler;
  ProbeEditor editor;
  {
    HostWindow host(kHostX, kHostY, 400, 200);
    ASSERT_TRUE(editor.Open(host));
    host.Destroy();
    editor.Probe(1)->SetColour(kColourC);
    editor.runLoop.RunFor(100);
    const int drawn = editor.gfx->FrameCounters().framesDrawn;
    // A changed control, a new size (the GL backing follows), a cursor shape and more frames.
    editor.Probe(1)->SetColour(kColourB);
    editor.gfx->SetEditorSize(kLayoutWidth, kLayoutHeight, 2.f);
    editor.gfx->SetCursorShape(gfx::ECursor::Hand);
    editor.runLoop.RunFor(100);
    EXPECT_EQ(editor.gfx->FrameCounters().framesDrawn, drawn) << "drawn into a window that is gone";
    editor.gfx->CloseEditorWindow();
  }
  EXPECT_EQ(hostsHandler.Count(), 0);
  EXPECT_EQ(IGfxLinux::OpenWindowCount(), 0);
  EXPECT_EQ(IGfxLinux::LiveGLContextCount(), 0);
  EXPECT_EQ(editor.runLoop.TimerCount() + editor.runLoop.ReaderCount(), 0);

  // The same editor opens and draws again in a new window of the host.
  HostWindow host(kHostX, kHostY, 800, 400);
  ASSERT_TRUE(editor.Open(host));
  editor.runLoop.RunFor(300);
  ExpectProbesOnScreen(host, editor.gfx->TotalScale());
  editor.gfx->CloseEditorWindow();
  EXPECT_EQ(hostsHandler.Count(), 0);
}

// The plug-in's work of a frame tick runs before the tick, once per tick, and
// may close the editor (a host that removes the view from a call the work
// makes): the tick then ends without touching the editor (ASan run).
TEST(IGfxLinuxWindow, TheDelegatesFrameWorkRunsEachTickAndMayCloseTheEditor)
{
  HostWindow host(kHostX, kHostY, 400, 200);
  ProbeEditor editor;
  ASSERT_TRUE(editor.Open(host));
  const int served = editor.gfx->FrameCounters().framesServed;
  const int ticks = editor.delegate.frameTicks;
  ASSERT_TRUE(editor.runLoop.RunUntil([&] { return editor.gfx->FrameCounters().framesServed >= served + 3; }));
  EXPECT_EQ(editor.delegate.frameTicks - ticks, editor.gfx->FrameCounters().framesServed - served);

  editor.delegate.onFrameTick = [&editor] { editor.gfx.reset(); };
  const int before = editor.delegate.frameTicks;
  ASSERT_TRUE(editor.runLoop.RunUntil([&] { return !editor.gfx; }));
  EXPECT_EQ(editor.delegate.frameTicks, before + 1);
  EXPECT_EQ(editor.runLoop.TimerCount() + editor.runLoop.ReaderCount(), 0);
  EXPECT_EQ(IGfxLinux::OpenWindowCount(), 0);
  EXPECT_EQ(IGfxLinux::LiveGLContextCount(), 0);
}

TEST(IGfxLinuxWindow, TheHostsOwnXErrorsStillReachItsHandler)
{
  XErrorCounter hostsHandler;
  HostWindow host(kHostX, kHostY, 400, 200);
  {
    ProbeEditor editor;
    ASSERT_TRUE(editor.Open(host));
    host.MakeBadRequest();
    EXPECT_EQ(hostsHandler.Count(), 1) << "the editor's trap took an error of the host's connection";
    editor.gfx->CloseEditorWindow();
  }
  // With the last editor closed the host's handler is the process's handler again.
  EXPECT_TRUE(hostsHandler.Installed());
  host.MakeBadRequest();
  EXPECT_EQ(hostsHandler.Count(), 2);
}

// --- Input through xdotool --------------------------------------------------------------------

class IGfxLinuxInput : public testing::TestWithParam<float>
{
protected:
  void SetUp() override
  {
    Xdotool("mousemove 1900 1060");
    ASSERT_TRUE(editor.Open(host));
    editor.runLoop.RunFor(30);
    editor.log.clear();
  }

  float Scale() const { return GetParam(); }
  std::string At(float x, float y) const
  {
    return std::to_string(kHostX + int(x * Scale())) + " " + std::to_string(kHostY + int(y * Scale()));
  }
  /** Runs the loop until the log has an entry starting with prefix. */
  bool WaitFor(const std::string& prefix)
  {
    return editor.runLoop.RunUntil([&] { return !EntriesOf(editor.log, prefix).empty(); }, 5000);
  }

  HostWindow host{kHostX, kHostY, 700, 300};
  ProbeEditor editor{GetParam()};
};

TEST_P(IGfxLinuxInput, ClickDragWheelAndDoubleClickReachTheControlsInUnscaledPixels)
{
  ASSERT_TRUE(Xdotool("mousemove " + At(60, 30) + " click 1"));
  ASSERT_TRUE(WaitFor("A:Up"));
  EXPECT_THAT(EntriesOf(editor.log, "A:D"), ElementsAre("A:Down(60,30,0)"));
  EXPECT_THAT(EntriesOf(editor.log, "A:Up"), ElementsAre("A:Up(60,30)"));

  editor.log.clear();
  ASSERT_TRUE(Xdotool("mousemove " + At(200, 40) + " mousedown 1 mousemove " + At(200, 30) + " mouseup 1"));
  ASSERT_TRUE(WaitFor("B:Up"));
  EXPECT_THAT(EntriesOf(editor.log, "B:D"), ElementsAre("B:Down(200,40,0)", "B:Drag(200,30,0,-10)"));

  editor.log.clear();
  ASSERT_TRUE(Xdotool("mousemove " + At(150, 90) + " click 4 click 5"));
  ASSERT_TRUE(editor.runLoop.RunUntil([&] { return EntriesOf(editor.log, "C:Wheel").size() == 2; }, 5000));
  EXPECT_THAT(EntriesOf(editor.log, "C:Wheel"), ElementsAre("C:Wheel(150,90,1)", "C:Wheel(150,90,-1)"));

  editor.log.clear();
  ASSERT_TRUE(Xdotool("mousemove " + At(40, 20) + " click --repeat 2 --delay 80 1"));
  ASSERT_TRUE(WaitFor("A:DoubleClick"));
  EXPECT_THAT(EntriesOf(editor.log, "A:Do"), ElementsAre("A:Down(40,20,0)", "A:DoubleClick(40,20)"));

  // A right click is a press with the right button flagged (on a control without a parameter:
  // a bound one opens the host's parameter menu instead).
  editor.log.clear();
  ASSERT_TRUE(Xdotool("mousemove " + At(90, 50) + " click 3"));
  ASSERT_TRUE(WaitFor("A:Up"));
  EXPECT_THAT(EntriesOf(editor.log, "A:Down"), ElementsAre("A:Down(90,50,1)"));
}

TEST_P(IGfxLinuxInput, HoverAndLeave)
{
  ASSERT_TRUE(Xdotool("mousemove " + At(200, 30)));
  ASSERT_TRUE(WaitFor("B:Over"));
  EXPECT_EQ(editor.gfx->MouseOverControl(), editor.Probe(2));
  ASSERT_TRUE(Xdotool("mousemove 1900 1060"));
  ASSERT_TRUE(editor.runLoop.RunUntil([&] { return editor.gfx->MouseOverControl() == nullptr; }, 5000));
}

TEST_P(IGfxLinuxInput, KeysCarryWindowsVirtualKeyCodes)
{
  // A click gives the editor the keyboard focus.
  ASSERT_TRUE(Xdotool("mousemove " + At(60, 30) + " click 1"));
  ASSERT_TRUE(WaitFor("A:Up"));
  editor.log.clear();
  ASSERT_TRUE(Xdotool("key a Left F5 Return"));
  ASSERT_TRUE(editor.runLoop.RunUntil([&] { return EntriesOf(editor.log, "A:KeyDown").size() >= 4; }, 5000));
  // The keys go to the control under the pointer, at its unscaled position.
  EXPECT_THAT(EntriesOf(editor.log, "A:KeyDown"),
              ElementsAre("A:KeyDown(60,30,65)", "A:KeyDown(60,30,37)", "A:KeyDown(60,30,116)",
                          "A:KeyDown(60,30,13)"));
}

TEST_P(IGfxLinuxInput, KeysTheHostForwardsAreNeverSentBackToIt)
{
  // A host that sends every key of its window on to the child, as DAWs do,
  // and its own keys too: a key the editor hands back would circle for good.
  host.ForwardKeysTo(editor.WindowId());
  int hostKeys = 0;
  const int reader = editor.runLoop.AddFdReader(host.ConnectionFd(), [&] { hostKeys += host.ServeKeys(); });
  const int x = int(60 * Scale()), y = int(30 * Scale());
  host.SendKey(editor.WindowId(), "space", 0, x, y);
  host.SendKey(editor.WindowId(), "Shift_L", 0, x, y);
  host.SendKey(editor.WindowId(), "s", 4 /* ControlMask */, x, y);
  ASSERT_TRUE(editor.runLoop.RunUntil([&] { return EntriesOf(editor.log, "A:KeyDown").size() >= 3; }, 5000));
  editor.runLoop.RunFor(300);
  EXPECT_EQ(hostKeys, 0) << "keys the host sent in came back to it";
  EXPECT_THAT(EntriesOf(editor.log, "A:KeyDown"),
              ElementsAre("A:KeyDown(60,30,32)", "A:KeyDown(60,30,16)", "A:KeyDown(60,30,83)"));

  // A key typed into the editor, which has no use for it, reaches the host
  // once (press and release); the host's copy sent back stays in the editor.
  ASSERT_TRUE(Xdotool("mousemove " + At(60, 30) + " click 1"));
  ASSERT_TRUE(WaitFor("A:Up"));
  editor.log.clear();
  ASSERT_TRUE(Xdotool("key space"));
  ASSERT_TRUE(editor.runLoop.RunUntil([&] { return hostKeys >= 2; }, 5000));
  editor.runLoop.RunFor(300);
  EXPECT_EQ(hostKeys, 2);
  EXPECT_THAT(EntriesOf(editor.log, "A:KeyDown"), ElementsAre("A:KeyDown(60,30,32)", "A:KeyDown(60,30,32)"))
    << "typed, then the host's copy";
  editor.runLoop.Remove(reader);
}

INSTANTIATE_TEST_SUITE_P(DrawScales, IGfxLinuxInput, testing::Values(1.f, 2.f));

} // namespace
