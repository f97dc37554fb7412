// The shipped Windows module's editor in a host of our own: the module is
// loaded through its factory, the view is attached to a window of this test,
// and a user's pointer drives it through the X server with xdotool (Wine
// turns those X events into the editor window's mouse messages, as a user's
// mouse makes them). What the test observes is what a host can see: the
// component handler's calls, parameter values, the processed audio, the
// frame's resize requests, window sizes and the editor's pixels.
//
// Pixels: Wine draws a GL child window off-screen, so neither an X
// screenshot nor GDI (BitBlt, PrintWindow) nor the GL front buffer shows the
// editor. The back buffer of the window's GL drawable holds the last frame
// the editor swapped (it draws every frame whole from its own framebuffer), and
// a GL context of the host's own, made current on the editor window, reads it.
//
// Every wait is bounded and fails with a message saying what did not happen.

#include "TestHost.h"

#include "plug/vst3/IEditorValueReadout.h"

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "public.sdk/source/vst/hosting/processdata.h"

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <GL/gl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

namespace Vst = Steinberg::Vst;
using Steinberg::kResultOk;
using Steinberg::kResultTrue;
using Steinberg::ViewRect;

namespace {

using GetFactoryFunction = Steinberg::IPluginFactory*(PLUGIN_API*)();
using EntryFunction = bool (*)();

constexpr int kBlock = 512;
constexpr double kSampleRate = 48000.0;

// Parameter ids.
constexpr Vst::ParamID kThresholdInt = 0;
constexpr Vst::ParamID kPower = 14;
constexpr Vst::ParamID kVcaInt = 16;
constexpr Vst::ParamID kMeterInt = 25;

// Where the user finds things on the panel, in unscaled editor pixels.
constexpr int kPanelWidth = 998;
constexpr int kPanelHeight = 386;
struct Box
{
  int l, t, r, b;
  int cx() const { return (l + r) / 2; }
  int cy() const { return (t + b) / 2; }
};
constexpr Box kThresholdKnob{86, 67, 159, 140};
constexpr Box kVcaIntSwitch{736, 142, 782, 168};
constexpr Box kPowerSwitch{285, 142, 331, 168};
constexpr Box kIntNeedle{744, 56, 876, 126};

// The host window's client area starts here on the screen.
constexpr int kHostX = 20;
constexpr int kHostY = 20;

std::wstring ModulePath()
{
  std::wstring path;
  for (const char* c = KORVEL_MODULE_FILE; *c; ++c)
    path.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(*c));
  return path;
}

template <typename Function>
Function Export(HMODULE module, const char* name)
{
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

/** Dispatches this thread's messages until done() holds or timeoutMs passed; returns done(). */
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (!done())
  {
    if (GetTickCount64() > end)
      return done();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  return true;
}

void PumpFor(DWORD ms)
{
  const ULONGLONG end = GetTickCount64() + ms;
  PumpUntil([end] { return GetTickCount64() >= end; }, ms + 1000);
}

/** Starts xdotool with the script; Wine cannot wait for a Linux process, so callers wait for its effect. */
bool Xdotool(const std::string& script)
{
  std::string command = "/usr/bin/xdotool " + script;
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

SIZE ClientSize(HWND window)
{
  RECT r{};
  GetClientRect(window, &r);
  return {r.right - r.left, r.bottom - r.top};
}

int ThreadCount()
{
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  int n = 0;
  for (BOOL ok = Thread32First(snapshot, &entry); ok; ok = Thread32Next(snapshot, &entry))
    n += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
  CloseHandle(snapshot);
  return n;
}

int ChildWindowCount(HWND parent)
{
  int n = 0;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    ++n;
  return n;
}

size_t WorkingSetBytes()
{
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)) ? counters.WorkingSetSize : 0;
}

/** The editor window's last frame, top row first, as 0xAABBGGRR words; empty when it cannot be read. */
struct Picture
{
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;

  /** The pixels of a panel box (unscaled pixels, scaled by the picture's size against the panel's). */
  std::vector<uint32_t> Region(const Box& box) const
  {
    std::vector<uint32_t> out;
    const double s = static_cast<double>(width) / kPanelWidth;
    for (int y = static_cast<int>(box.t * s); y < static_cast<int>(box.b * s) && y < height; ++y)
      for (int x = static_cast<int>(box.l * s); x < static_cast<int>(box.r * s) && x < width; ++x)
        out.push_back(pixels[static_cast<size_t>(y) * width + x]);
    return out;
  }
};

Picture ReadEditorPixels(HWND editor)
{
  Picture picture;
  const SIZE size = ClientSize(editor);
  HDC dc = GetDC(editor);
  HGLRC context = dc ? wglCreateContext(dc) : nullptr;
  if (context)
  {
    HGLRC previous = wglGetCurrentContext();
    HDC previousDc = wglGetCurrentDC();
    if (wglMakeCurrent(dc, context))
    {
      std::vector<uint32_t> rows(static_cast<size_t>(size.cx) * size.cy);
      glPixelStorei(GL_PACK_ALIGNMENT, 4);
      glReadBuffer(GL_BACK);
      glReadPixels(0, 0, size.cx, size.cy, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
      if (glGetError() == GL_NO_ERROR)
      {
        picture.width = size.cx;
        picture.height = size.cy;
        picture.pixels.resize(rows.size());
        for (int y = 0; y < size.cy; ++y)
          std::copy_n(&rows[static_cast<size_t>(size.cy - 1 - y) * size.cx], size.cx,
                      &picture.pixels[static_cast<size_t>(y) * size.cx]);
      }
    }
    wglMakeCurrent(previousDc, previous);
    wglDeleteContext(context);
  }
  if (dc)
    ReleaseDC(editor, dc);
  return picture;
}

/** A host's frame: resizes the host window around the view, then tells the view its new size. */
class HostFrame : public Steinberg::FObject, public Steinberg::IPlugFrame
{
public:
  Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view, ViewRect* newSize) override
  {
    resizes.push_back(*newSize);
    if (hostWindow)
      SetWindowPos(hostWindow, nullptr, 0, 0, newSize->getWidth(), newSize->getHeight(),
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    view->onSize(newSize);
    return kResultTrue;
  }

  OBJ_METHODS(HostFrame, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(Steinberg::IPlugFrame)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

  HWND hostWindow = nullptr;
  std::vector<ViewRect> resizes;
};

} // namespace

class KorvelEditorHost : public ::testing::Test
{
protected:
  void SetUp() override
  {
    Xdotool("mousemove 1900 1060"); // the pointer away from the panel
    module = LoadLibraryW(ModulePath().c_str());
    ASSERT_NE(module, nullptr) << "cannot load the bundle's module";
    ASSERT_TRUE(Export<EntryFunction>(module, "InitDll")());
    Steinberg::IPluginFactory* factory = Export<GetFactoryFunction>(module, "GetPluginFactory")();
    ASSERT_NE(factory, nullptr);
    Steinberg::PClassInfo info{};
    ASSERT_EQ(factory->getClassInfo(0, &info), kResultOk);
    ASSERT_EQ(factory->createInstance(info.cid, Vst::IComponent::iid, reinterpret_cast<void**>(&component)),
              kResultOk);
    factory->release();
    host = Steinberg::owned(new TestHostApp(u"Editor Test Host"));
    ASSERT_EQ(component->initialize(host->unknownCast()), kResultOk);
    ASSERT_EQ(component->queryInterface(Vst::IEditController::iid, reinterpret_cast<void**>(&controller)), kResultOk);
    ASSERT_EQ(component->queryInterface(Vst::IAudioProcessor::iid, reinterpret_cast<void**>(&processor)), kResultOk);
    handler = Steinberg::owned(new TestComponentHandler());
    controller->setComponentHandler(handler);

    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = L"KorvelEditorTestHost";
    RegisterClassW(&wc);
    // Borderless, so that the client area is at (kHostX, kHostY) on the screen.
    window = CreateWindowExW(0, wc.lpszClassName, L"KORVEL editor host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
                             kHostX, kHostY, kPanelWidth, kPanelHeight, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    SetForegroundWindow(window);
    frame = Steinberg::owned(new HostFrame());
    frame->hostWindow = window;
  }

  void TearDown() override
  {
    Xdotool("mouseup 1 mousemove 1900 1060");
    if (view)
      view->removed();
    view = nullptr;
    if (prepared)
    {
      processor->setProcessing(false);
      component->setActive(false);
    }
    if (processor)
      processor->release();
    if (controller)
      controller->release();
    if (component)
    {
      component->terminate();
      component->release();
    }
    if (window)
      DestroyWindow(window);
    PumpFor(20);
    if (module)
    {
      Export<EntryFunction>(module, "ExitDll")();
      FreeLibrary(module);
    }
  }

  HWND Editor() const { return GetWindow(window, GW_CHILD); }

  /** Attaches the view and waits for the editor's first paint. */
  ::testing::AssertionResult Attach(Steinberg::IPlugView* v)
  {
    if (v->isPlatformTypeSupported(Steinberg::kPlatformTypeHWND) != kResultTrue)
      return ::testing::AssertionFailure() << "HWND is not supported";
    v->setFrame(frame);
    if (v->attached(window, Steinberg::kPlatformTypeHWND) != kResultOk)
      return ::testing::AssertionFailure() << "attached() failed";
    if (!Editor())
      return ::testing::AssertionFailure() << "no editor window in the host's window";
    if (!PumpUntil([this] { return !GetUpdateRect(Editor(), nullptr, FALSE); }, 10000))
      return ::testing::AssertionFailure() << "the editor did not paint within 10 s";
    return ::testing::AssertionSuccess();
  }
  void OpenView()
  {
    view = Steinberg::owned(controller->createView(Vst::ViewType::kEditor));
    ASSERT_TRUE(view);
    ASSERT_TRUE(Attach(view));
  }

  /** The editor's pixels after it has had time to draw pending changes. */
  Picture Shot()
  {
    PumpFor(60); // a few frame ticks
    Picture picture = ReadEditorPixels(Editor());
    EXPECT_FALSE(picture.pixels.empty()) << "cannot read the editor window's pixels";
    return picture;
  }
  /** Waits until the box's pixels differ from before (true) or 5 s passed (false). */
  bool WaitForRegionChange(const Box& box, const std::vector<uint32_t>& before)
  {
    return PumpUntil([&] { return ReadEditorPixels(Editor()).Region(box) != before; }, 5000);
  }

  /** Screen coordinates of an editor point (unscaled pixels) at the editor's current size. */
  std::string At(double x, double y) const
  {
    const double s = static_cast<double>(ClientSize(Editor()).cx) / kPanelWidth;
    return std::to_string(kHostX + static_cast<int>(x * s)) + " " + std::to_string(kHostY + static_cast<int>(y * s));
  }
  int Calls(const std::string& call) const
  {
    return static_cast<int>(std::count(handler->calls.begin(), handler->calls.end(), call));
  }

  /** As a host automates: the controller and the next processed block get the value. */
  void HostSets(Vst::ParamID id, double normalized)
  {
    controller->setParamNormalized(id, normalized);
    pendingChanges.emplace_back(id, normalized);
  }

  /**
   * Processes a second of a loud 1 kHz tone (the edits the editor performed
   * and the host's own changes go with the first block, as a host sends them)
   * and returns the mean absolute output of its last 100 ms.
   */
  double ProcessTone()
  {
    if (!prepared)
    {
      Vst::ProcessSetup setup{Vst::kRealtime, Vst::kSample32, kBlock, kSampleRate};
      EXPECT_EQ(processor->setupProcessing(setup), kResultOk);
      component->activateBus(Vst::kAudio, Vst::kInput, 0, true);
      component->activateBus(Vst::kAudio, Vst::kOutput, 0, true);
      component->setActive(true);
      processor->setProcessing(true);
      data.prepare(*component, kBlock, Vst::kSample32);
      data.numSamples = kBlock;
      prepared = true;
    }
    for (size_t i = forwardedEdits; i < handler->performed.size(); ++i)
      pendingChanges.push_back(handler->performed[i]);
    forwardedEdits = handler->performed.size();

    const int blocks = static_cast<int>(kSampleRate) / kBlock;
    double sum = 0.0;
    int counted = 0;
    for (int block = 0; block < blocks; ++block)
    {
      Vst::ParameterChanges changes(static_cast<Steinberg::int32>(pendingChanges.size()));
      if (block == 0)
        for (const auto& [id, value] : pendingChanges)
        {
          Steinberg::int32 index = 0;
          if (Vst::IParamValueQueue* queue = changes.addParameterData(id, index))
            queue->addPoint(0, value, index);
        }
      data.inputParameterChanges = &changes;
      for (int c = 0; c < data.inputs[0].numChannels; ++c)
        for (int i = 0; i < kBlock; ++i)
          data.inputs[0].channelBuffers32[c][i] = 0.9f * static_cast<float>(std::sin(
            2.0 * 3.14159265358979323846 * 1000.0 * (block * kBlock + i) / kSampleRate));
      EXPECT_EQ(processor->process(data), kResultOk);
      data.inputParameterChanges = nullptr;
      if (block >= blocks - blocks / 10)
        for (int i = 0; i < kBlock; ++i, ++counted)
          sum += std::fabs(data.outputs[0].channelBuffers32[0][i]);
    }
    pendingChanges.clear();
    return sum / counted;
  }

  HMODULE module = nullptr;
  Vst::IComponent* component = nullptr;
  Vst::IEditController* controller = nullptr;
  Vst::IAudioProcessor* processor = nullptr;
  Steinberg::IPtr<TestHostApp> host;
  Steinberg::IPtr<TestComponentHandler> handler;
  Steinberg::IPtr<HostFrame> frame;
  Steinberg::IPtr<Steinberg::IPlugView> view;
  HWND window = nullptr;
  Vst::HostProcessData data;
  bool prepared = false;
  size_t forwardedEdits = 0;
  std::vector<std::pair<Vst::ParamID, double>> pendingChanges;
};

TEST_F(KorvelEditorHost, DraggingTheThresholdKnobEditsThroughTheHostAndChangesTheProcessing)
{
  HostSets(kVcaInt, 1.0); // a character on: the Int stage compresses
  const double levelBefore = ProcessTone();
  OpenView();
  const double before = controller->getParamNormalized(kThresholdInt);
  const std::vector<uint32_t> knobBefore = Shot().Region(kThresholdKnob);

  // Downwards by two thirds of the knob's travel (the full range is 292 pixels), in the
  // relative steps a mouse makes: the knob locks the pointer while it drags.
  std::string drag = "mousemove " + At(kThresholdKnob.cx(), kThresholdKnob.cy()) + " sleep 0.1 mousedown 1";
  for (int i = 0; i < 13; ++i)
    drag += " sleep 0.03 mousemove_relative 0 15";
  ASSERT_TRUE(Xdotool(drag + " sleep 0.1 mouseup 1"));
  ASSERT_TRUE(PumpUntil([&] { return Calls("end 0") == 1; }, 10000))
    << "the drag did not end an edit: " << ::testing::PrintToString(handler->calls);

  ASSERT_GE(handler->calls.size(), 3u);
  EXPECT_EQ(handler->calls.front(), "begin 0");
  EXPECT_EQ(handler->calls.back(), "end 0");
  for (size_t i = 1; i + 1 < handler->calls.size(); ++i)
    EXPECT_EQ(handler->calls[i], "perform 0") << "call " << i;
  const double after = controller->getParamNormalized(kThresholdInt);
  // 195 pixels are two thirds of the range; the knob warps the locked pointer back after each
  // step, and a step that lands before a warp counts twice or not at all.
  EXPECT_LT(after, before - 0.45) << "dragging down lowers the threshold by about the distance";
  EXPECT_GT(after, before - 0.85) << "dragging down lowers the threshold by about the distance";
  ASSERT_FALSE(handler->performed.empty());
  EXPECT_DOUBLE_EQ(handler->performed.back().second, after) << "the host heard the final value";
  EXPECT_NE(Shot().Region(kThresholdKnob), knobBefore) << "the knob shows another frame";

  EXPECT_LT(ProcessTone(), levelBefore * 0.8) << "a lower threshold compresses the tone harder";
}

TEST_F(KorvelEditorHost, HostChangesAndMeterReadingsMoveTheKnobAndTheNeedle)
{
  OpenView();
  const Picture start = Shot();
  ASSERT_FALSE(start.pixels.empty());

  // Host automation of the Threshold Int knob.
  HostSets(kThresholdInt, 0.2);
  EXPECT_TRUE(WaitForRegionChange(kThresholdKnob, start.Region(kThresholdKnob)))
    << "the knob did not move to the host's value";
  HostSets(kThresholdInt, 1.0);
  EXPECT_TRUE(PumpUntil([&] { return ReadEditorPixels(Editor()).Region(kThresholdKnob) == start.Region(kThresholdKnob); },
                        5000))
    << "the knob did not return to the frame of its default";

  // Nothing processed yet: the needle rests. A compressed tone moves it.
  const std::vector<uint32_t> rest = start.Region(kIntNeedle);
  HostSets(kVcaInt, 1.0);
  HostSets(kThresholdInt, 0.0);
  ProcessTone();
  plug::IEditorValueReadout* readout = nullptr;
  ASSERT_EQ(component->queryInterface(plug::IEditorValueReadout_iid, reinterpret_cast<void**>(&readout)), kResultOk);
  EXPECT_LT(readout->getLastEditorValue(kMeterInt), 0.9) << "the tone is compressed";
  readout->release();
  EXPECT_TRUE(WaitForRegionChange(kIntNeedle, rest)) << "the Int needle stayed at rest";
  EXPECT_TRUE(handler->calls.empty()) << "meters and host changes make no edits: "
                                      << ::testing::PrintToString(handler->calls);
}

TEST_F(KorvelEditorHost, PowerOffHidesTheCharacterAndSidechainSwitches)
{
  OpenView();
  const std::vector<uint32_t> shown = Shot().Region(kVcaIntSwitch);
  ASSERT_EQ(controller->getParamNormalized(kPower), 1.0);

  ASSERT_TRUE(Xdotool("mousemove " + At(kPowerSwitch.cx(), kPowerSwitch.cy()) + " sleep 0.1 click 1"));
  ASSERT_TRUE(PumpUntil([&] { return Calls("end 14") == 1; }, 10000)) << "the Power click made no edit";
  EXPECT_EQ(controller->getParamNormalized(kPower), 0.0);
  EXPECT_TRUE(WaitForRegionChange(kVcaIntSwitch, shown)) << "the VCA switch is still drawn";

  // A click where the hidden switch was does nothing; the second Power click shows the switches again.
  ASSERT_TRUE(Xdotool("mousemove " + At(kVcaIntSwitch.cx(), kVcaIntSwitch.cy()) + " sleep 0.1 click 1 sleep 0.3 " +
                      "mousemove " + At(kPowerSwitch.cx(), kPowerSwitch.cy()) + " sleep 0.1 click 1"));
  ASSERT_TRUE(PumpUntil([&] { return controller->getParamNormalized(kPower) == 1.0; }, 10000))
    << "the second Power click did not switch on: " << ::testing::PrintToString(handler->calls);
  EXPECT_EQ(Calls("begin 16"), 0) << "the hidden switch took the click";
  EXPECT_EQ(controller->getParamNormalized(kVcaInt), 0.0);
  EXPECT_TRUE(PumpUntil([&] { return ReadEditorPixels(Editor()).Region(kVcaIntSwitch) == shown; }, 5000))
    << "the VCA switch did not come back";
}

TEST_F(KorvelEditorHost, CornerDragResizesThroughTheFrameAndReopensAtThatSize)
{
  OpenView();
  ASSERT_EQ(ClientSize(Editor()).cx, kPanelWidth);
  ASSERT_TRUE(Xdotool("mousemove " + At(kPanelWidth - 8, kPanelHeight - 8) + " sleep 0.1 mousedown 1 sleep 0.1 " +
                      "mousemove " + At(1100, 430) + " sleep 0.1 mousemove " + At(1250, 480) + " sleep 0.1 " +
                      "mousemove " + At(1300, 500) + " sleep 0.2 mouseup 1"));
  ASSERT_TRUE(PumpUntil([&] { return !frame->resizes.empty() && GetCapture() == nullptr &&
                                     !(GetAsyncKeyState(VK_LBUTTON) & 0x8000); },
                        10000))
    << "the corner drag asked the host for no resize";
  PumpFor(200);
  const ViewRect last = frame->resizes.back();
  EXPECT_GT(last.getWidth(), kPanelWidth);
  EXPECT_GE(last.getWidth(), 499);
  EXPECT_LE(last.getWidth(), 1996);
  EXPECT_GE(last.getHeight(), 193);
  EXPECT_LE(last.getHeight(), 772);
  EXPECT_NEAR(static_cast<double>(last.getWidth()) / last.getHeight(), double(kPanelWidth) / kPanelHeight, 0.02)
    << "the panel scales as a whole";
  ViewRect constrained = last;
  EXPECT_EQ(view->checkSizeConstraint(&constrained), kResultOk);
  EXPECT_EQ(constrained.getWidth(), last.getWidth()) << "the view accepts the size it asked for";
  EXPECT_EQ(ClientSize(Editor()).cx, last.getWidth());
  EXPECT_EQ(ClientSize(Editor()).cy, last.getHeight());
  ViewRect reported{};
  ASSERT_EQ(view->getSize(&reported), kResultOk);
  EXPECT_EQ(reported.getWidth(), last.getWidth());

  const SIZE dragged = ClientSize(Editor());
  ASSERT_EQ(view->removed(), kResultOk);
  EXPECT_EQ(ChildWindowCount(window), 0);
  ASSERT_TRUE(Attach(view));
  EXPECT_EQ(ClientSize(Editor()).cx, dragged.cx) << "reopened at the remembered size";
  EXPECT_EQ(ClientSize(Editor()).cy, dragged.cy);
}

TEST_F(KorvelEditorHost, ContentScaleTwoDoublesTheWindow)
{
  OpenView();
  Steinberg::FUnknownPtr<Steinberg::IPlugViewContentScaleSupport> scale(view);
  ASSERT_TRUE(scale);
  EXPECT_EQ(scale->setContentScaleFactor(2.f), kResultOk);
  ASSERT_TRUE(PumpUntil([&] { return ClientSize(Editor()).cx == 2 * kPanelWidth; }, 5000))
    << "the window is " << ClientSize(Editor()).cx << " wide";
  EXPECT_EQ(ClientSize(Editor()).cy, 2 * kPanelHeight);
  ASSERT_FALSE(frame->resizes.empty());
  EXPECT_EQ(frame->resizes.back().getWidth(), 2 * kPanelWidth);
  EXPECT_EQ(frame->resizes.back().getHeight(), 2 * kPanelHeight);
  // The panel fills the doubled window: the knob is drawn where twice its position puts it.
  auto knobDrawn = [this] {
    const Picture doubled = ReadEditorPixels(Editor());
    const std::vector<uint32_t> knob = doubled.Region(kThresholdKnob);
    return doubled.width == 2 * kPanelWidth &&
           std::count_if(knob.begin(), knob.end(), [&](uint32_t c) { return c != knob.front(); }) >
             static_cast<long>(knob.size() / 10);
  };
  EXPECT_TRUE(PumpUntil(knobDrawn, 5000))
    << "the knob's area is one flat colour";
}

TEST_F(KorvelEditorHost, OpenCloseCyclesLeaveNothingBehind)
{
  auto cycle = [this](int i) {
    Steinberg::IPtr<Steinberg::IPlugView> v = Steinberg::owned(controller->createView(Vst::ViewType::kEditor));
    ASSERT_TRUE(v);
    ASSERT_TRUE(Attach(v)) << "cycle " << i;
    ASSERT_EQ(v->removed(), kResultOk);
  };
  // The first openings fill what stays for the process (the GL driver's own state, the font files).
  for (int i = 0; i < 3; ++i)
    cycle(i);
  PumpFor(50);
  const int threads = ThreadCount();
  const size_t workingSet = WorkingSetBytes();
  const DWORD gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  const DWORD userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  DWORD handles = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles);

  for (int i = 3; i < 100; ++i)
  {
    cycle(i);
    if (HasFatalFailure())
      return;
  }
  PumpFor(50);

  std::cout << "after 97 more cycles: threads " << threads << " -> " << ThreadCount() << ", working set "
            << workingSet / 1024 << " -> " << WorkingSetBytes() / 1024 << " KiB\n";
  EXPECT_EQ(ChildWindowCount(window), 0) << "editor windows left in the host's window";
  WNDCLASSA editorClass{};
  EXPECT_FALSE(GetClassInfoA(module, "PluginWndClass", &editorClass)) << "the editor's window class stays registered";
  EXPECT_LE(ThreadCount(), threads) << "frame-clock workers left running";
  // An editor's decoded images alone take 34 MB, so leaking them (or their textures) in every
  // cycle would add gigabytes; the bound lets through the few tens of MB by which Wine's
  // heap and GL driver grow over these cycles from run to run (half a megabyte per cycle).
  EXPECT_LT(WorkingSetBytes(), workingSet + 48u * 1024 * 1024)
    << "working set grew from " << workingSet / 1024 << " KiB to " << WorkingSetBytes() / 1024 << " KiB";

  // GDI/USER object and handle counts: Wine answers 0 for a process that has windows (and so objects).
  if (userObjects == 0)
    std::cout << "[ SKIPPED CHECK ] GDI and USER object counts: GetGuiResources is not served here\n";
  else
  {
    EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdiObjects);
    EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), userObjects);
  }
  DWORD handlesAfter = 0;
  if (handles == 0 || !GetProcessHandleCount(GetCurrentProcess(), &handlesAfter))
    std::cout << "[ SKIPPED CHECK ] handle count: GetProcessHandleCount is not served here\n";
  else
    EXPECT_LE(handlesAfter, handles);
}
