// The X11 editor window on the test display: opening in a host window with a
// host-style run loop, frames and Expose redraws seen in X screenshots, sizes
// and scales, open/close cycles, input through xdotool as a user would, and
// the framework's idle timers running on the host's loop.

#include "GLTestContext.h"
#include "LinuxTestSupport.h"

#include "plug/Timer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

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

class IGfxLinuxScaled : public testing::TestWithParam<float>
{
};

TEST_P(IGfxLinuxScaled, OpensAChildWindowDrivenByTheRunLoopAndDrawsTheLayout)
{
  const float scale = GetParam();
  HostWindow host(kHostX, kHostY, 700, 300);
  ProbeEditor editor(scale);
  ASSERT_TRUE(editor.Open(host));

  EXPECT_THAT(host.Children(), ElementsAre(editor.WindowId()));
  int w = 0, h = 0;
  host.WindowSize(editor.WindowId(), w, h);
  EXPECT_EQ(w, int(kLayoutWidth * scale));
  EXPECT_EQ(h, int(kLayoutHeight * scale));
  EXPECT_EQ(editor.runLoop.TimerCount(), 1);
  EXPECT_EQ(editor.runLoop.ReaderCount(), 1);
  EXPECT_EQ(editor.runLoop.FirstTimerInterval(), IGfxLinux::TimerPeriodMs(60));
  ExpectProbesOnScreen(host, scale);

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

INSTANTIATE_TEST_SUITE_P(DrawScales, IGfxLinuxScaled, testing::Values(1.f, 2.f));

TEST(IGfxLinuxWindow, ExposedWindowIsRedrawnFromTheFramebuffer)
{
  HostWindow host(kHostX, kHostY, 400, 200);
  ProbeEditor editor;
  ASSERT_TRUE(editor.Open(host));
  const IGfxLinux::Counters before = editor.gfx->FrameCounters();
  host.Remap();
  ASSERT_TRUE(editor.runLoop.RunUntil([&] {
    return editor.gfx->FrameCounters().exposes > before.exposes &&
           editor.gfx->FrameCounters().framesDrawn > before.framesDrawn;
  }));
  ExpectProbesOnScreen(host, 1.f);
}

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

TEST(IGfxLinuxWindow, IdleTimersRunOnTheHostLoopWhileTheEditorIsOpen)
{
  HostWindow host(kHostX, kHostY, 400, 200);
  ProbeEditor editor;
  int fired = 0;
  auto timer = plug::Timer::Launch([&fired](plug::Timer&) { ++fired; }, 20);
  ASSERT_TRUE(editor.Open(host));
  fired = 0;
  EXPECT_TRUE(editor.runLoop.RunUntil([&] { return fired >= 3; }, 5000));
  editor.gfx->CloseEditorWindow();
  const int afterClose = fired;
  editor.runLoop.RunFor(100);
  EXPECT_EQ(fired, afterClose) << "nothing drives the idle timers once the editor is closed";
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

INSTANTIATE_TEST_SUITE_P(DrawScales, IGfxLinuxInput, testing::Values(1.f, 2.f));

} // namespace
