// The editor window's life under Wine: window, pixel format, GL context
// handling, the frame clock and the pixels of a frame.

#include "GLTestContext.h"
#include "GoldenImage.h"
#include "WinTestSupport.h"

#include <glad/gl.h>
#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <algorithm>
#include <memory>

using gfx::IGfxWin;
using namespace gfxtest;

namespace {

int ThreadCount()
{
  const DWORD pid = GetCurrentProcessId();
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE)
    return -1;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  int count = 0;
  for (BOOL ok = Thread32First(snapshot, &entry); ok; ok = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == pid)
      ++count;
  CloseHandle(snapshot);
  return count;
}

int ChildWindowCount(HWND parent)
{
  int count = 0;
  EnumChildWindows(
    parent, [](HWND, LPARAM p) -> BOOL { ++*reinterpret_cast<int*>(p); return TRUE; },
    reinterpret_cast<LPARAM>(&count));
  return count;
}

int ThreadWindowCount()
{
  int count = 0;
  EnumThreadWindows(
    GetCurrentThreadId(), [](HWND, LPARAM p) -> BOOL { ++*reinterpret_cast<int*>(p); return TRUE; },
    reinterpret_cast<LPARAM>(&count));
  return count;
}

bool D3DKMTVerticalBlankAvailable()
{
  HMODULE gdi = GetModuleHandleA("gdi32.dll");
  return gdi && GetProcAddress(gdi, "D3DKMTOpenAdapterFromHdc") &&
         GetProcAddress(gdi, "D3DKMTWaitForVerticalBlankEvent") && GetProcAddress(gdi, "D3DKMTCloseAdapter");
}

Image ReadEditorFrame(IGfxWin& g)
{
  g.MakeContextCurrent();
  glBindFramebuffer(GL_READ_FRAMEBUFFER, g.MainFramebuffer());
  Image image = ReadFramebuffer(g.BackingHeight(), 0, 0, g.BackingWidth(), g.BackingHeight());
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  g.RestorePreviousContext();
  return image;
}

// The probe layout, which also loads an image while the window opens (as a
// layout loading its artwork does); imageLoaded says whether the backend took it.
void LayOutLoadingAnImage(ProbeEditor& editor, bool& imageLoaded)
{
  editor.delegate.LayoutFunction = [&editor, &imageLoaded](plug::IEditor* e) {
    auto& g = *static_cast<gfx::IGfx*>(e);
    AddProbeLayout(g, editor.log);
    imageLoaded = LoadProbeImage(g);
  };
}

} // namespace

TEST(IGfxWinWindow, OpensAChildWindowWithItsClassStyleAndPixelFormatAndClosesIt)
{
  HostWindow host(40, 40, 700, 300);
  for (float scale : {1.f, 2.f})
  {
    SCOPED_TRACE(scale);
    ProbeEditor editor(scale);
    ASSERT_TRUE(editor.Open(host));
    const HWND window = editor.Window();
    EXPECT_EQ(GetParent(window), host.Handle());
    char className[64] = {};
    GetClassNameA(window, className, sizeof(className));
    EXPECT_STREQ(className, "PluginWndClass");
    EXPECT_EQ(GetClassLongA(window, GCL_STYLE) & (CS_DBLCLKS | CS_OWNDC), DWORD(CS_DBLCLKS | CS_OWNDC));
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN),
              WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, int(kLayoutWidth * scale));
    EXPECT_EQ(client.bottom, int(kLayoutHeight * scale));

    HDC dc = GetDC(window);
    PIXELFORMATDESCRIPTOR format = {};
    ASSERT_NE(DescribePixelFormat(dc, GetPixelFormat(dc), sizeof(format), &format), 0);
    ReleaseDC(window, dc);
    EXPECT_TRUE(format.dwFlags & PFD_DOUBLEBUFFER);
    EXPECT_TRUE(format.dwFlags & PFD_SUPPORT_OPENGL);
    EXPECT_GE(format.cDepthBits, 24);
    EXPECT_GE(format.cStencilBits, 8);
    // Only a swap that copies leaves the last frame in the back buffer, so only then are frames copied in part.
    EXPECT_EQ(editor.gfx->WindowBufferAge(), (format.dwFlags & PFD_SWAP_COPY) ? 1 : 0);
    if (scale == 1.f && !(format.dwFlags & PFD_SWAP_COPY))
      GTEST_LOG_(INFO) << "the pixel format's swap does not say it copies here: every frame is copied whole";

    EXPECT_EQ(IGfxWin::OpenWindowCount(), 1);
    EXPECT_EQ(IGfxWin::LiveGLContextCount(), 1);
    editor.gfx->CloseEditorWindow();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(editor.gfx->WindowHandle(), nullptr);
    EXPECT_EQ(editor.gfx->ControlCount(), 0);
    EXPECT_EQ(IGfxWin::OpenWindowCount(), 0);
    EXPECT_EQ(IGfxWin::LiveGLContextCount(), 0);
    // The class goes with the last window.
    WNDCLASSA info;
    EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(nullptr), "PluginWndClass", &info));
  }
}

// Hosts give their factor before attaching the view: the window opens at it,
// whatever the monitor's scale, and its first frame is the only one drawn.
TEST(IGfxWinWindow, AScaleTheHostGaveBeforeOpeningIsTheScaleTheWindowOpensAt)
{
  HostWindow host(40, 40, 700, 300);
  ProbeEditor editor;
  editor.gfx->SetHostDisplayScale(1.5f);
  ASSERT_TRUE(editor.Open(host));
  EXPECT_EQ(editor.gfx->GetDisplayScale(), 1.5f);
  RECT client;
  GetClientRect(editor.Window(), &client);
  EXPECT_EQ(client.right, int(kLayoutWidth * 1.5f));
  EXPECT_EQ(client.bottom, int(kLayoutHeight * 1.5f));
  const int served = editor.gfx->FrameCounters().framesServed;
  ASSERT_TRUE(PumpUntil([&] { return editor.gfx->FrameCounters().framesServed >= served + 5; }));
  EXPECT_EQ(editor.gfx->GetDisplayScale(), 1.5f) << "the frames follow the host's factor, not the monitor's";
  EXPECT_EQ(editor.gfx->FrameCounters().framesDrawn, 1);
  EXPECT_EQ(editor.Probe(1)->Paints(), 1);
  editor.gfx->CloseEditorWindow();
}

TEST(IGfxWinWindow, EveryUseOfTheContextRestoresTheContextThatWasCurrent)
{
  std::string error;
  auto hostContext = GLTestContext::Open(16, 16, error);
  ASSERT_TRUE(hostContext) << error;
  const HGLRC hostGL = wglGetCurrentContext();
  const HDC hostDC = wglGetCurrentDC();
  ASSERT_NE(hostGL, nullptr);
  auto hostIsCurrent = [&] { return wglGetCurrentContext() == hostGL && wglGetCurrentDC() == hostDC; };

  HostWindow host(40, 40, 400, 200);
  ProbeEditor editor;
  // The layout loads its images while the window opens, inside the opening's own use of the context.
  bool imageLoaded = false;
  LayOutLoadingAnImage(editor, imageLoaded);
  ASSERT_TRUE(editor.Open(host));
  EXPECT_TRUE(imageLoaded);
  EXPECT_TRUE(hostIsCurrent()) << "opening left another context current";
  editor.Probe(1)->MarkDirty();
  const int drawn = editor.gfx->FrameCounters().framesDrawn;
  ASSERT_TRUE(PumpUntil([&] { return editor.gfx->FrameCounters().framesDrawn > drawn; }));
  EXPECT_TRUE(hostIsCurrent()) << "a frame left another context current";
  editor.gfx->SetEditorSize(kLayoutWidth, kLayoutHeight, 1.5f); // remakes the framebuffer
  EXPECT_TRUE(hostIsCurrent()) << "a resize left another context current";
  RECT client;
  GetClientRect(editor.Window(), &client);
  EXPECT_EQ(client.right, 450);
  EXPECT_EQ(client.bottom, 180);
  EXPECT_EQ(editor.gfx->BackingWidth(), 450);
  editor.gfx->CloseEditorWindow();
  EXPECT_TRUE(hostIsCurrent()) << "closing unbound the host's context";
}

// Some hosts destroy their window before they remove the view. The editor's
// GL objects must go with its own context, never on the host's one, which
// stays current; the host's texture 1 shares its number with one of ours.
TEST(IGfxWinWindow, AHostWindowDestroyedBeforeTheEditorClosesLeavesTheHostsObjectsAlone)
{
  std::string error;
  auto hostContext = GLTestContext::Open(16, 16, error);
  ASSERT_TRUE(hostContext) << error;
  const HGLRC hostGL = wglGetCurrentContext();
  GLuint hostTexture = 0;
  glGenTextures(1, &hostTexture);
  glBindTexture(GL_TEXTURE_2D, hostTexture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glBindTexture(GL_TEXTURE_2D, 0);
  ASSERT_TRUE(glIsTexture(hostTexture));

  auto host = std::make_unique<HostWindow>(40, 40, 400, 200);
  ProbeEditor editor;
  bool imageLoaded = false;
  LayOutLoadingAnImage(editor, imageLoaded);
  ASSERT_TRUE(editor.Open(*host));
  ASSERT_TRUE(imageLoaded);
  const HWND window = editor.Window();
  host.reset();
  ASSERT_FALSE(IsWindow(window));
  EXPECT_EQ(IGfxWin::LiveGLContextCount(), 0) << "the GL context outlived its window";
  EXPECT_EQ(wglGetCurrentContext(), hostGL);
  editor.gfx->CloseEditorWindow();
  EXPECT_EQ(wglGetCurrentContext(), hostGL);
  EXPECT_TRUE(glIsTexture(hostTexture)) << "the editor deleted the host's texture";
  EXPECT_EQ(editor.gfx->WindowHandle(), nullptr);
  EXPECT_EQ(editor.gfx->ControlCount(), 0);
  EXPECT_EQ(IGfxWin::OpenWindowCount(), 0);
  EXPECT_EQ(IGfxWin::LiveGLContextCount(), 0);
  WNDCLASSA info;
  EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(nullptr), "PluginWndClass", &info)) << "the class outlived its windows";

  // A later editor opens and closes as usual.
  HostWindow again(40, 40, 400, 200);
  ProbeEditor next;
  ASSERT_TRUE(next.Open(again));
  next.gfx->CloseEditorWindow();
  EXPECT_EQ(IGfxWin::OpenWindowCount(), 0);
}

// Each cycle opens, waits for a drawn frame and closes; both frame clocks take turns.
TEST(IGfxWinWindow, TwoHundredOpenCloseCyclesLeakNoWindowContextTimerOrThread)
{
  HostWindow host(40, 40, 400, 200);
  ProbeEditor editor;
  // Warm-up: the first opening loads GL and common-control libraries for good.
  editor.gfx->SetUseVerticalBlank(true);
  ASSERT_TRUE(editor.Open(host));
  editor.gfx->CloseEditorWindow();
  PumpFor(50);

  const int threadsBefore = ThreadCount();
  const int windowsBefore = ThreadWindowCount();
  const DWORD userBefore = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  const DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);

  for (int cycle = 0; cycle < 200; ++cycle)
  {
    editor.gfx->SetUseVerticalBlank(cycle % 2 == 0);
    ASSERT_TRUE(editor.Open(host)) << "cycle " << cycle;
    EXPECT_EQ(IGfxWin::LiveWorkerCount() > 0 || cycle % 2 == 1, true);
    editor.gfx->CloseEditorWindow();
    ASSERT_EQ(IGfxWin::OpenWindowCount(), 0) << "cycle " << cycle;
    ASSERT_EQ(IGfxWin::LiveGLContextCount(), 0) << "cycle " << cycle;
    ASSERT_EQ(IGfxWin::LiveWorkerCount(), 0) << "cycle " << cycle;
    ASSERT_EQ(ChildWindowCount(host.Handle()), 0) << "cycle " << cycle;
  }
  PumpFor(50);

  // A timer left behind would still send WM_TIMER to the host's queue.
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_NOREMOVE));
  EXPECT_EQ(ThreadCount(), threadsBefore);
  EXPECT_EQ(ThreadWindowCount(), windowsBefore);
  const DWORD userAfter = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  const DWORD gdiAfter = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (userBefore == 0 && userAfter == 0 && gdiBefore == 0 && gdiAfter == 0)
  {
    // Wine's GetGuiResources is a stub that answers 0; the window counts above stand in for it.
    GTEST_LOG_(INFO) << "GetGuiResources reports nothing under this system; check skipped";
  }
  else
  {
    EXPECT_LE(userAfter, userBefore + 2);
    EXPECT_LE(gdiAfter, gdiBefore + 2);
  }
}

TEST(IGfxWinFrameClock, TimerPeriodFollowsTheFrameRateWithA15MsFloor)
{
  struct Case
  {
    int fps;
    UINT period;
  };
  for (const Case& c : {Case{60, 15}, Case{30, 33}, Case{50, 20}, Case{51, 15}, Case{120, 15}, Case{10, 100}})
    EXPECT_EQ(IGfxWin::TimerPeriodMs(c.fps), c.period) << c.fps << " fps";
}

TEST(IGfxWinFrameClock, FramesArriveFromTheTimerAndFromTheVerticalBlankWorker)
{
  HostWindow host(40, 40, 400, 200);
  for (bool verticalBlank : {false, true})
  {
    SCOPED_TRACE(verticalBlank ? "vertical blank" : "timer");
    ProbeEditor editor;
    editor.gfx->SetUseVerticalBlank(verticalBlank);
    ASSERT_TRUE(editor.Open(host));
    EXPECT_EQ(IGfxWin::LiveWorkerCount(), verticalBlank ? 1 : 0);
    const int served = editor.gfx->FrameCounters().framesServed;
    ASSERT_TRUE(PumpUntil([&] { return editor.gfx->FrameCounters().framesServed >= served + 5; }));
    // The first paint drew every control once; frames with nothing changed
    // draw nothing more, nor does the host giving the scale the window has.
    editor.gfx->SetHostDisplayScale(editor.gfx->GetDisplayScale());
    const int later = editor.gfx->FrameCounters().framesServed;
    ASSERT_TRUE(PumpUntil([&] { return editor.gfx->FrameCounters().framesServed >= later + 3; }));
    EXPECT_EQ(editor.gfx->FrameCounters().framesDrawn, 1);
    EXPECT_EQ(editor.Probe(1)->Paints(), 1);
    if (verticalBlank)
      EXPECT_GE(editor.gfx->VerticalBlankCount(), 5);
    else
      EXPECT_EQ(editor.gfx->VerticalBlankCount(), 0);

    // A control that changes is drawn by the next frames.
    const int drawn = editor.gfx->FrameCounters().framesDrawn;
    editor.Probe(2)->MarkDirty();
    ASSERT_TRUE(PumpUntil([&] { return editor.gfx->FrameCounters().framesDrawn > drawn; }));
    editor.gfx->CloseEditorWindow();
    EXPECT_EQ(IGfxWin::LiveWorkerCount(), 0);
  }
  if (!D3DKMTVerticalBlankAvailable())
    GTEST_LOG_(INFO) << "gdi32 lacks the D3DKMT vertical-blank functions here: the worker ran on its 16 ms fallback";
}

// A host hides its own window and leaves the editor's child visible in it:
// the frames keep coming, nothing is drawn, and the control changed meanwhile
// stays dirty until the window shows, when it is drawn.
TEST(IGfxWinFrameClock, NothingIsDrawnWhileTheHostWindowIsHiddenAndTheChangesDrawOnceShown)
{
  HostWindow host(40, 40, 400, 200);
  ProbeEditor editor;
  ASSERT_TRUE(editor.Open(host));
  PumpFor(100);
  ShowWindow(host.Handle(), SW_HIDE);
  PumpFor(100);

  const IGfxWin::Counters before = editor.gfx->FrameCounters();
  editor.Probe(2)->MarkDirty();
  ASSERT_TRUE(PumpUntil([&] { return editor.gfx->FrameCounters().framesServed >= before.framesServed + 10; }));
  EXPECT_EQ(editor.gfx->FrameCounters().framesDrawn, before.framesDrawn);
  EXPECT_TRUE(editor.Probe(2)->IsDirty()) << "the change was collected while the window could not be seen";

  ShowWindow(host.Handle(), SW_SHOWNOACTIVATE);
  ASSERT_TRUE(PumpUntil([&] { return editor.gfx->FrameCounters().framesDrawn > before.framesDrawn; }));
  PumpFor(100);
  EXPECT_FALSE(editor.Probe(2)->IsDirty());
  editor.gfx->CloseEditorWindow();
}

TEST(IGfxWinFrameClock, ASlowFrameSkipsTheFrameMessagesThatPiledUpInsteadOfQueueingThem)
{
  HostWindow host(40, 40, 400, 200);
  ProbeEditor editor;
  editor.gfx->SetUseVerticalBlank(true);
  ASSERT_TRUE(editor.Open(host));
  IGfxWin& g = *editor.gfx;

  std::vector<int> served;
  bool slow = false;
  int slowCount = 0;
  int lateUntil = 0;
  g.SetDisplayTickFunc([&] {
    served.push_back(g.FrameCounters().lastServedCount);
    if (!slow)
      return;
    slow = false;
    // Block this frame until the worker has posted several more messages.
    slowCount = g.FrameCounters().lastServedCount;
    const ULONGLONG end = GetTickCount64() + 5000;
    while (g.VerticalBlankCount() < slowCount + 4 && GetTickCount64() < end)
      Sleep(2);
    lateUntil = g.VerticalBlankCount();
    editor.Probe(1)->MarkDirty(); // the slow frame draws
  });
  ASSERT_TRUE(PumpUntil([&] { return served.size() >= 3; }));
  const int skippedBefore = g.FrameCounters().framesSkipped;
  slow = true;
  ASSERT_TRUE(PumpUntil([&] { return lateUntil > 0 && !served.empty() && served.back() > lateUntil + 2; }));
  ASSERT_GE(lateUntil, slowCount + 4) << "the worker posted nothing while the frame was blocked";

  for (int count : served)
    EXPECT_FALSE(count > slowCount && count <= lateUntil) << "late message " << count << " was served";
  EXPECT_TRUE(std::is_sorted(served.begin(), served.end()));
  EXPECT_GE(g.FrameCounters().framesSkipped - skippedBefore, lateUntil - slowCount);
  g.SetDisplayTickFunc(nullptr);
  g.CloseEditorWindow();
}

TEST(IGfxWinPixels, AFrameReadBackInProcessShowsTheProbeLayout)
{
  HostWindow host(40, 40, 700, 300);
  for (float scale : {1.f, 2.f})
  {
    SCOPED_TRACE(scale);
    ProbeEditor editor(scale);
    ASSERT_TRUE(editor.Open(host));
    const Image frame = ReadEditorFrame(*editor.gfx);
    ASSERT_EQ(frame.width, int(kLayoutWidth * scale));
    ASSERT_EQ(frame.height, int(kLayoutHeight * scale));
    struct Spot
    {
      float x, y;
      gfx::IRgba colour;
    };
    for (const Spot& spot : {Spot{60.f, 35.f, kColourA}, Spot{200.f, 35.f, kColourB}, Spot{150.f, 90.f, kColourC},
                             Spot{130.f, 35.f, kBackgroundColour}, Spot{295.f, 115.f, kBackgroundColour}})
    {
      const uint8_t* p = frame.Pixel(int(spot.x * scale), int(spot.y * scale));
      EXPECT_EQ(p[0], spot.colour.R) << spot.x << "," << spot.y;
      EXPECT_EQ(p[1], spot.colour.G) << spot.x << "," << spot.y;
      EXPECT_EQ(p[2], spot.colour.B) << spot.x << "," << spot.y;
    }
    EXPECT_TRUE(MatchesGolden(scale == 1.f ? "win32-probe-layout-1x" : "win32-probe-layout-2x", frame));
    editor.gfx->CloseEditorWindow();
  }
}
