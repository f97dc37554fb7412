// The shipped Windows module's editor in a host of our own: the module is
// loaded through its factory, the view is attached to a window of this test,
// and the editor is driven with mouse messages as a user's would arrive.

#include "TestHost.h"

#include "plug/vst3/IEditorValueReadout.h"

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "public.sdk/source/vst/hosting/processdata.h"

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cmath>
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
constexpr int kThresholdInt = 0;

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

void Pump(int milliseconds)
{
  const DWORD start = GetTickCount();
  do
  {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(2);
  } while (GetTickCount() - start < static_cast<DWORD>(milliseconds));
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

class HostFrame : public Steinberg::FObject, public Steinberg::IPlugFrame
{
public:
  Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view, ViewRect* newSize) override
  {
    resizes.push_back(*newSize);
    view->onSize(newSize);
    return kResultTrue;
  }

  OBJ_METHODS(HostFrame, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(Steinberg::IPlugFrame)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

  std::vector<ViewRect> resizes;
};

} // namespace

class KorvelEditorHost : public ::testing::Test
{
protected:
  void SetUp() override
  {
    module = LoadLibraryW(ModulePath().c_str());
    ASSERT_NE(module, nullptr);
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
    wc.lpszClassName = L"KorvelEditorTestHost";
    RegisterClassW(&wc);
    window = CreateWindowExW(0, wc.lpszClassName, L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                             1400, 1000, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    frame = Steinberg::owned(new HostFrame());
  }

  void TearDown() override
  {
    view = nullptr;
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
    Pump(50);
    if (module)
    {
      Export<EntryFunction>(module, "ExitDll")();
      FreeLibrary(module);
    }
  }

  void OpenView()
  {
    view = Steinberg::owned(controller->createView(Vst::ViewType::kEditor));
    ASSERT_TRUE(view);
    ASSERT_EQ(view->isPlatformTypeSupported(Steinberg::kPlatformTypeHWND), kResultTrue);
    view->setFrame(frame);
    ASSERT_EQ(view->attached(window, Steinberg::kPlatformTypeHWND), kResultOk);
    Pump(100);
  }
  HWND Editor() const { return GetWindow(window, GW_CHILD); }

  void Post(UINT msg, WPARAM buttons, int x, int y)
  {
    PostMessageW(Editor(), msg, buttons, MAKELPARAM(x, y));
    Pump(30);
  }
  void Drag(int x0, int y0, int x1, int y1)
  {
    Post(WM_MOUSEMOVE, 0, x0, y0);
    Post(WM_LBUTTONDOWN, MK_LBUTTON, x0, y0);
    for (int i = 1; i <= 8; ++i)
      Post(WM_MOUSEMOVE, MK_LBUTTON, x0 + (x1 - x0) * i / 8, y0 + (y1 - y0) * i / 8);
    Post(WM_LBUTTONUP, 0, x1, y1);
  }

  // Output level of a loud 1 kHz tone through the plug-in, after a settling second.
  double OutputLevel()
  {
    Vst::ProcessSetup setup{Vst::kRealtime, Vst::kSample32, kBlock, 48000.0};
    if (!prepared)
    {
      EXPECT_EQ(processor->setupProcessing(setup), kResultOk);
      component->activateBus(Vst::kAudio, Vst::kInput, 0, true);
      component->activateBus(Vst::kAudio, Vst::kOutput, 0, true);
      component->setActive(true);
      processor->setProcessing(true);
      data.prepare(*component, kBlock, Vst::kSample32);
      data.numSamples = kBlock;
      prepared = true;
    }
    double sum = 0.0;
    for (int block = 0; block < 100; ++block)
    {
      for (int c = 0; c < data.inputs[0].numChannels; ++c)
        for (int i = 0; i < kBlock; ++i)
          data.inputs[0].channelBuffers32[c][i] =
            0.9f * static_cast<float>(std::sin(2.0 * 3.14159265358979323846 * 1000.0 * (block * kBlock + i) / 48000.0));
      processor->process(data);
      if (block >= 90)
        for (int i = 0; i < kBlock; ++i)
          sum += std::fabs(data.outputs[0].channelBuffers32[0][i]);
    }
    return sum / (10 * kBlock);
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
};

TEST_F(KorvelEditorHost, DraggingTheThresholdKnobEditsTheParameterThroughTheHost)
{
  const double before = controller->getParamNormalized(kThresholdInt);
  const double levelBefore = OutputLevel();
  OpenView();
  ASSERT_NE(Editor(), nullptr);
  const SIZE size = ClientSize(Editor());
  EXPECT_EQ(size.cx, 998);
  EXPECT_EQ(size.cy, 386);

  Drag(122, 103, 122, 203);  // the Threshold Int knob, downwards
  const double after = controller->getParamNormalized(kThresholdInt);
  EXPECT_LT(after, before - 0.05);
  ASSERT_FALSE(handler->calls.empty());
  EXPECT_EQ(handler->calls.front(), "begin 0");
  EXPECT_EQ(handler->calls.back(), "end 0");
  for (size_t i = 1; i + 1 < handler->calls.size(); ++i)
    EXPECT_EQ(handler->calls[i], "perform 0");
  ASSERT_FALSE(handler->performed.empty());
  EXPECT_DOUBLE_EQ(handler->performed.back().second, after);
  EXPECT_LT(OutputLevel(), levelBefore * 0.95) << "a lower threshold compresses the tone harder";
}

TEST_F(KorvelEditorHost, CornerDragAndContentScaleResizeTheHostsView)
{
  OpenView();
  ASSERT_NE(Editor(), nullptr);
  Drag(990, 378, 1300, 540);
  ASSERT_FALSE(frame->resizes.empty());
  const ViewRect last = frame->resizes.back();
  EXPECT_GT(last.getWidth(), 998);
  EXPECT_LE(last.getWidth(), 1996);
  EXPECT_LE(last.getHeight(), 772);
  EXPECT_NEAR(static_cast<double>(last.getWidth()) / last.getHeight(), 998.0 / 386.0, 0.02);
  EXPECT_EQ(ClientSize(Editor()).cx, last.getWidth());

  // Back to size 1 with a double click on the corner, then the monitor's factor 2.
  PostMessageW(Editor(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(ClientSize(Editor()).cx - 5, ClientSize(Editor()).cy - 5));
  Pump(100);
  EXPECT_EQ(ClientSize(Editor()).cx, 998);
  Steinberg::FUnknownPtr<Steinberg::IPlugViewContentScaleSupport> scale{view};
  ASSERT_TRUE(scale);
  EXPECT_EQ(scale->setContentScaleFactor(2.f), kResultOk);
  Pump(100);
  EXPECT_EQ(ClientSize(Editor()).cx, 1996);
  EXPECT_EQ(ClientSize(Editor()).cy, 772);
  EXPECT_EQ(frame->resizes.back().getWidth(), 1996);
}

TEST_F(KorvelEditorHost, ReopensAtTheRememberedSizeAndLeavesNothingBehind)
{
  OpenView();
  Drag(990, 378, 1200, 470);
  const SIZE dragged = ClientSize(Editor());
  EXPECT_GT(dragged.cx, 998);
  view->removed();
  Pump(50);
  EXPECT_EQ(ChildWindowCount(window), 0);
  ASSERT_EQ(view->attached(window, Steinberg::kPlatformTypeHWND), kResultOk);
  Pump(100);
  EXPECT_EQ(ClientSize(Editor()).cx, dragged.cx);
  EXPECT_EQ(ClientSize(Editor()).cy, dragged.cy);
  view->removed();
  view = nullptr;
  Pump(50);

  const int threads = ThreadCount();
  for (int i = 0; i < 100; ++i)
  {
    Steinberg::IPtr<Steinberg::IPlugView> v = Steinberg::owned(controller->createView(Vst::ViewType::kEditor));
    v->setFrame(frame);
    ASSERT_EQ(v->attached(window, Steinberg::kPlatformTypeHWND), kResultOk) << "cycle " << i;
    Pump(5);
    v->removed();
  }
  Pump(200);
  EXPECT_EQ(ChildWindowCount(window), 0);
  EXPECT_LE(ThreadCount(), threads) << "every frame-clock worker has ended";
}
