// KORVEL's editor as a Linux host shows it: the view attached to an X window
// on the test display, with a frame that offers the host's run loop (served
// by poll on this thread, as hosts do), driven by xdotool: a knob drag edits
// its parameter through the component handler, Power hides the switches,
// meter readings move the needles, a scale change resizes the host's view
// and the window, and open/close cycles leave nothing registered or open.

#include "LinuxTestSupport.h"
#include "TestHost.h"

#include "KORVEL.h"
#include "KorvelEditor.h"
#include "plug/vst3/IPluginVST3Factory.h"

#include "gfx/platforms/IGfxLinux.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace Vst = Steinberg::Vst;
using Steinberg::kResultOk;
using Steinberg::kResultTrue;
using namespace gfxtest;

namespace {

// A host's run loop: timers and file-descriptor handlers served by poll.
class PollRunLoop : public Steinberg::FObject, public Steinberg::Linux::IRunLoop
{
public:
  using Clock = std::chrono::steady_clock;

  Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler,
                                                     Steinberg::Linux::FileDescriptor fd) override
  {
    readers.push_back({handler, fd});
    return kResultOk;
  }
  Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) override
  {
    readers.erase(std::remove_if(readers.begin(), readers.end(), [handler](const Reader& r) { return r.handler == handler; }),
                  readers.end());
    return kResultOk;
  }
  Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                              Steinberg::Linux::TimerInterval ms) override
  {
    timers.push_back({handler, int(ms), Clock::now() + std::chrono::milliseconds(ms)});
    return kResultOk;
  }
  Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override
  {
    timers.erase(std::remove_if(timers.begin(), timers.end(), [handler](const Timer& t) { return t.handler == handler; }),
                 timers.end());
    return kResultOk;
  }

  bool RunUntil(const std::function<bool()>& done, int timeoutMs = 10000)
  {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done())
    {
      if (Clock::now() >= end)
        return done();
      ServeOnce();
    }
    return true;
  }
  void RunFor(int ms)
  {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
    RunUntil([end] { return Clock::now() >= end; }, ms + 1000);
  }
  size_t Registered() const { return timers.size() + readers.size(); }

  OBJ_METHODS(PollRunLoop, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(Steinberg::Linux::IRunLoop)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

private:
  struct Timer
  {
    Steinberg::Linux::ITimerHandler* handler;
    int ms;
    Clock::time_point due;
  };
  struct Reader
  {
    Steinberg::Linux::IEventHandler* handler;
    int fd;
  };

  void ServeOnce()
  {
    std::vector<pollfd> fds;
    for (const Reader& r : readers)
      fds.push_back({r.fd, POLLIN, 0});
    poll(fds.data(), fds.size(), 5);
    // Handlers may unregister themselves or others: call from copies, checking each is still there.
    const std::vector<Reader> nowReaders = readers;
    for (size_t i = 0; i < fds.size(); ++i)
    {
      const auto handler = nowReaders[i].handler;
      if ((fds[i].revents & POLLIN) &&
          std::any_of(readers.begin(), readers.end(), [handler](const Reader& r) { return r.handler == handler; }))
        handler->onFDIsSet(nowReaders[i].fd);
    }
    const Clock::time_point now = Clock::now();
    std::vector<Steinberg::Linux::ITimerHandler*> due;
    for (Timer& t : timers)
      if (t.due <= now)
      {
        t.due = now + std::chrono::milliseconds(t.ms);
        due.push_back(t.handler);
      }
    for (auto* handler : due)
      if (std::any_of(timers.begin(), timers.end(), [handler](const Timer& t) { return t.handler == handler; }))
        handler->onTimer();
  }

  std::vector<Timer> timers;
  std::vector<Reader> readers;
};

class HostFrame : public Steinberg::FObject, public Steinberg::IPlugFrame
{
public:
  Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view, Steinberg::ViewRect* newSize) override
  {
    resizes.emplace_back(newSize->getWidth(), newSize->getHeight());
    view->onSize(newSize);
    return kResultTrue;
  }
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override
  {
    if (Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::Linux::IRunLoop::iid))
      return runLoop->queryInterface(iid, obj);
    QUERY_INTERFACE(iid, obj, Steinberg::IPlugFrame::iid, Steinberg::IPlugFrame)
    return FObject::queryInterface(iid, obj);
  }
  OBJ_METHODS(HostFrame, FObject)
  REFCOUNT_METHODS(FObject)

  Steinberg::IPtr<PollRunLoop> runLoop = Steinberg::owned(new PollRunLoop());
  std::vector<std::pair<int, int>> resizes;
};

constexpr int kHostX = 20;
constexpr int kHostY = 20;
constexpr int kThresholdKnob = 2; // list indices of the panel's controls
constexpr int kVcaIntSwitch = 19;
constexpr int kIntNeedle = 25;
constexpr int kPowerSwitch = 27;

class KorvelX11Editor : public ::testing::Test
{
protected:
  void SetUp() override
  {
    Xdotool("mousemove 1900 1060");
    factory = Steinberg::owned(GetPluginFactory());
    ASSERT_TRUE(factory);
    Steinberg::PClassInfo info;
    ASSERT_EQ(factory->getClassInfo(0, &info), kResultOk);
    void* obj = nullptr;
    ASSERT_EQ(factory->createInstance(info.cid, Vst::IComponent::iid, &obj), kResultOk);
    component = Steinberg::owned(static_cast<Vst::IComponent*>(obj));
    controller = Steinberg::FUnknownPtr<Vst::IEditController>(component);
    hostApp = Steinberg::owned(new TestHostApp(u"Test Host"));
    handler = Steinberg::owned(new TestComponentHandler());
    ASSERT_EQ(component->initialize(hostApp->unknownCast()), kResultOk);
    controller->setComponentHandler(handler);
    korvel = dynamic_cast<KORVEL*>(component.get());
    ASSERT_NE(korvel, nullptr);
    view = Steinberg::owned(controller->createView(Vst::ViewType::kEditor));
    ASSERT_TRUE(view);
    frame = Steinberg::owned(new HostFrame());
    view->setFrame(frame);
  }
  void TearDown() override
  {
    if (view)
      view->removed();
    view = nullptr;
    if (component)
      component->terminate();
  }

  gfx::IGfxLinux* Editor() { return dynamic_cast<gfx::IGfxLinux*>(korvel->GetEditor()); }
  bool Attach()
  {
    if (view->isPlatformTypeSupported(Steinberg::kPlatformTypeX11EmbedWindowID) != kResultTrue ||
        view->attached(host.Parent(), Steinberg::kPlatformTypeX11EmbedWindowID) != kResultOk)
      return false;
    return frame->runLoop->RunUntil([this] { return Editor() && Editor()->FrameCounters().framesDrawn > 0; });
  }
  /** Lets a few frames pass. */
  void Frames(int n = 6)
  {
    const int start = Editor()->FrameCounters().framesServed;
    frame->runLoop->RunUntil([&] { return Editor()->FrameCounters().framesServed >= start + n; });
  }
  gfx::IControl* Control(int index) { return Editor()->ControlAt(index); }
  std::string ScreenAt(float x, float y)
  {
    const float s = Editor()->TotalScale();
    return std::to_string(kHostX + int(x * s)) + " " + std::to_string(kHostY + int(y * s));
  }
  /** The screenshot's pixels over a control's area (every fourth pixel each way). */
  std::vector<int> Shot(gfx::IControl* control)
  {
    const float s = Editor()->TotalScale();
    const gfx::IArea& a = control->Area();
    std::vector<int> out;
    for (int y = int(a.T * s); y < int(a.B * s); y += 4)
      for (int x = int(a.L * s); x < int(a.R * s); x += 4)
      {
        gfx::IRgba c;
        host.ReadPixel(x, y, c);
        out.push_back((c.R << 16) | (c.G << 8) | c.B);
      }
    return out;
  }
  int Calls(const std::string& call) { return int(std::count(handler->calls.begin(), handler->calls.end(), call)); }

  HostWindow host{kHostX, kHostY, 1600, 700};
  Steinberg::IPtr<Steinberg::IPluginFactory> factory;
  Steinberg::IPtr<Vst::IComponent> component;
  Steinberg::IPtr<Vst::IEditController> controller;
  Steinberg::IPtr<TestHostApp> hostApp;
  Steinberg::IPtr<TestComponentHandler> handler;
  Steinberg::IPtr<Steinberg::IPlugView> view;
  Steinberg::IPtr<HostFrame> frame;
  KORVEL* korvel = nullptr;
};

TEST_F(KorvelX11Editor, OpensInTheHostsWindowAndShowsThePanel)
{
  EXPECT_EQ(view->isPlatformTypeSupported(Steinberg::kPlatformTypeHWND), Steinberg::kResultFalse);
  ASSERT_TRUE(Attach());
  ASSERT_EQ(host.Children().size(), 1u);
  int w = 0, h = 0;
  host.WindowSize(host.Children()[0], w, h);
  EXPECT_EQ(w, korvel_editor::kWidth);
  EXPECT_EQ(h, korvel_editor::kHeight);
  EXPECT_EQ(frame->runLoop->Registered(), 2u) << "one frame timer and one X reader";
  // The panel is drawn: the knob's area is not one flat colour.
  const std::vector<int> knob = Shot(Control(kThresholdKnob));
  EXPECT_GT(std::count_if(knob.begin(), knob.end(), [&](int c) { return c != knob[0]; }), int(knob.size() / 10));
}

TEST_F(KorvelX11Editor, DraggingAKnobEditsItsParameterThroughTheHost)
{
  ASSERT_TRUE(Attach());
  const double before = controller->getParamNormalized(kThresholdInt);
  const gfx::IArea a = Control(kThresholdKnob)->Area();
  ASSERT_TRUE(Xdotool("mousemove " + ScreenAt(a.MW(), a.MH()) + " mousedown 1 mousemove " +
                      ScreenAt(a.MW(), a.MH() + 20) + " mousemove " + ScreenAt(a.MW(), a.MH() + 40) + " mouseup 1"));
  ASSERT_TRUE(frame->runLoop->RunUntil([&] { return Calls("end 0") == 1; }));
  EXPECT_EQ(Calls("begin 0"), 1);
  EXPECT_GE(Calls("perform 0"), 1);
  EXPECT_LT(controller->getParamNormalized(kThresholdInt), before) << "dragging down decreases";
}

TEST_F(KorvelX11Editor, PowerOffHidesTheSwitchesOnScreen)
{
  ASSERT_TRUE(Attach());
  Frames();
  const std::vector<int> shown = Shot(Control(kVcaIntSwitch));
  const gfx::IArea power = Control(kPowerSwitch)->Area();
  ASSERT_TRUE(Xdotool("mousemove " + ScreenAt(power.MW(), power.MH()) + " click 1"));
  ASSERT_TRUE(frame->runLoop->RunUntil([&] { return Control(kVcaIntSwitch)->IsHidden(); }));
  EXPECT_EQ(controller->getParamNormalized(kPower), 0.0);
  Frames();
  EXPECT_NE(Shot(Control(kVcaIntSwitch)), shown) << "the hidden switch is gone from the screen";
  ASSERT_TRUE(Xdotool("click 1"));
  ASSERT_TRUE(frame->runLoop->RunUntil([&] { return !Control(kVcaIntSwitch)->IsHidden(); }));
  Frames();
  EXPECT_EQ(Shot(Control(kVcaIntSwitch)), shown);
}

TEST_F(KorvelX11Editor, MeterReadingsMoveTheNeedleOnScreen)
{
  ASSERT_TRUE(Attach());
  Frames();
  const std::vector<int> rest = Shot(Control(kIntNeedle));
  // As the audio thread sends them: stored now, shown by the next frame tick.
  korvel->SendParameterValueToEditor(kMeterInt, 0.8, true);
  ASSERT_TRUE(frame->runLoop->RunUntil([&] { return Control(kIntNeedle)->Value() == 0.8; }));
  Frames();
  EXPECT_NE(Shot(Control(kIntNeedle)), rest);
}

TEST_F(KorvelX11Editor, ScaleChangeResizesTheHostsViewAndTheWindow)
{
  ASSERT_TRUE(Attach());
  Editor()->SetEditorSize(korvel_editor::kWidth, korvel_editor::kHeight, 1.5f);
  Frames();
  ASSERT_FALSE(frame->resizes.empty());
  EXPECT_EQ(frame->resizes.back(), std::make_pair(1497, 579));
  int w = 0, h = 0;
  host.WindowSize(host.Children()[0], w, h);
  EXPECT_EQ(w, 1497);
  EXPECT_EQ(h, 579);
}

TEST_F(KorvelX11Editor, OpenCloseCyclesLeaveNothingBehind)
{
  for (int i = 0; i < 5; ++i)
  {
    ASSERT_TRUE(Attach()) << "cycle " << i;
    Frames(2);
    ASSERT_EQ(view->removed(), kResultOk);
    ASSERT_EQ(frame->runLoop->Registered(), 0u);
    ASSERT_EQ(gfx::IGfxLinux::OpenWindowCount(), 0);
    ASSERT_EQ(gfx::IGfxLinux::LiveGLContextCount(), 0);
    ASSERT_TRUE(host.Children().empty());
  }
}

} // namespace
