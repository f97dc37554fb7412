// KORVEL's editor as a Linux host shows it: the view attached to an X window
// on the test display, with a frame that offers the host's run loop (served
// by poll on this thread, as hosts do), driven by xdotool: a knob drag edits
// its parameter through the component handler, a host-side value moves the
// knob, Power hides the switches, compressed audio and meter readings move
// the needles, the corner and a scale change resize the host's view and the
// window, a reopened editor keeps its size, open/close cycles leave nothing
// registered or open, the first frame already shows a state loaded before
// the view opened, a host window destroyed before removed() is neither
// drawn into nor reported to the host's X error handler, and the X
// screenshot at the defaults is the panel as the GL-free preview composite
// shows it.

#include "LinuxTestSupport.h"
#include "TestHost.h"

#include "KORVEL.h"
#include "KorvelEditor.h"
#include "plug/vst3/IPluginVST3Factory.h"

#include "gfx/platforms/IGfxLinux.h"

#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "public.sdk/source/vst/hosting/parameterchanges.h"
#include "public.sdk/source/vst/hosting/processdata.h"

#include <gtest/gtest.h>

#include <poll.h>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb_image.h>
#include <stb_image_write.h>
#pragma GCC diagnostic pop

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace Vst = Steinberg::Vst;
using Steinberg::kResultOk;
using Steinberg::kResultTrue;
using Steinberg::ViewRect;
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

/** An RGB picture, row by row. */
struct Picture
{
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;

  int At(int x, int y, int c) const { return rgb[(size_t(y) * size_t(width) + size_t(x)) * 3 + size_t(c)]; }
  Picture UpsideDown() const
  {
    Picture out = *this;
    const size_t row = size_t(width) * 3;
    for (int y = 0; y < height; ++y)
      std::copy_n(&rgb[size_t(height - 1 - y) * row], row, &out.rgb[size_t(y) * row]);
    return out;
  }
  /** Moved right and down by (dx, dy); the uncovered edge repeats the nearest pixels. */
  Picture Moved(int dx, int dy) const
  {
    Picture out = *this;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c)
          out.rgb[(size_t(y) * size_t(width) + size_t(x)) * 3 + size_t(c)] = static_cast<unsigned char>(
            At(std::clamp(x - dx, 0, width - 1), std::clamp(y - dy, 0, height - 1), c));
    return out;
  }
};

Picture LoadPng(const char* path)
{
  Picture p;
  int channels = 0;
  unsigned char* data = stbi_load(path, &p.width, &p.height, &channels, 3);
  if (data)
    p.rgb.assign(data, data + size_t(p.width) * size_t(p.height) * 3);
  stbi_image_free(data);
  return p;
}

/**
 * How far two pictures of one size are apart: the mean absolute difference
 * of the channels (0..255) in the worst 8 x 8 tile, and over the whole picture.
 * Resampling and blending differ at edges by a few levels; a missing control,
 * another frame of a knob or a moved picture changes whole tiles.
 */
struct Difference
{
  double worstTile = 255.0;
  double mean = 255.0;
};
constexpr int kTile = 8;

Difference Compare(const Picture& a, const Picture& b)
{
  Difference d;
  if (a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size() || a.rgb.empty())
    return d;
  d.worstTile = 0.0;
  double total = 0.0;
  for (int ty = 0; ty < a.height; ty += kTile)
    for (int tx = 0; tx < a.width; tx += kTile)
    {
      double sum = 0.0;
      int n = 0;
      for (int y = ty; y < std::min(ty + kTile, a.height); ++y)
        for (int x = tx; x < std::min(tx + kTile, a.width); ++x)
          for (int c = 0; c < 3; ++c, ++n)
            sum += std::abs(a.At(x, y, c) - b.At(x, y, c));
      total += sum;
      d.worstTile = std::max(d.worstTile, sum / n);
    }
  d.mean = total / double(a.rgb.size());
  return d;
}

int OpenFileDescriptors()
{
  int n = 0;
  if (DIR* dir = opendir("/proc/self/fd"))
  {
    while (readdir(dir))
      ++n;
    closedir(dir);
  }
  return n;
}

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
    if (processing)
    {
      Steinberg::FUnknownPtr<Vst::IAudioProcessor>(component)->setProcessing(false);
      component->setActive(false);
    }
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
  /** The editor's window as the X server shows it. */
  Picture Screenshot()
  {
    Picture p;
    if (host.Children().empty())
      return p;
    host.WindowSize(host.Children()[0], p.width, p.height);
    p.rgb = host.Capture(0, 0, p.width, p.height);
    return p;
  }
  /** The size of the editor's window on screen. */
  std::pair<int, int> WindowSize()
  {
    int w = 0, h = 0;
    if (!host.Children().empty())
      host.WindowSize(host.Children()[0], w, h);
    return {w, h};
  }
  /** Drags the left button from one point of the editor to another (unscaled editor pixels). */
  bool Drag(float x0, float y0, float x1, float y1)
  {
    std::string moves;
    for (int i = 1; i <= 4; ++i)
      moves += " mousemove " + ScreenAt(x0 + (x1 - x0) * i / 4, y0 + (y1 - y0) * i / 4);
    return Xdotool("mousemove " + ScreenAt(x0, y0) + " mousedown 1" + moves + " mouseup 1");
  }
  /**
   * Processes blocks of a loud 1 kHz tone through the plug-in, as the host's
   * audio thread would; the first block carries (id, normalized value) changes.
   */
  void ProcessTone(int blocks, const std::vector<std::pair<Vst::ParamID, double>>& changes = {})
  {
    constexpr int kBlock = 512;
    Steinberg::FUnknownPtr<Vst::IAudioProcessor> processor(component);
    ASSERT_TRUE(processor);
    if (!processing)
    {
      Vst::ProcessSetup setup{Vst::kRealtime, Vst::kSample32, kBlock, 48000.0};
      ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
      component->activateBus(Vst::kAudio, Vst::kInput, 0, true);
      component->activateBus(Vst::kAudio, Vst::kOutput, 0, true);
      ASSERT_EQ(component->setActive(true), kResultOk);
      processor->setProcessing(true);
      data.prepare(*component, kBlock, Vst::kSample32);
      data.numSamples = kBlock;
      processing = true;
    }
    Vst::ParameterChanges inputChanges(int(changes.size()));
    for (const auto& change : changes)
    {
      Steinberg::int32 index = 0;
      if (Vst::IParamValueQueue* queue = inputChanges.addParameterData(change.first, index))
        queue->addPoint(0, change.second, index);
    }
    data.inputParameterChanges = &inputChanges;
    for (int block = 0; block < blocks; ++block, ++blocksDone)
    {
      if (block == 1)
        inputChanges.clearQueue();
      for (int c = 0; c < data.inputs[0].numChannels; ++c)
        for (int i = 0; i < kBlock; ++i)
          data.inputs[0].channelBuffers32[c][i] =
            0.9f * float(std::sin(2.0 * 3.14159265358979323846 * 1000.0 * double(blocksDone * kBlock + i) / 48000.0));
      ASSERT_EQ(processor->process(data), kResultOk);
    }
    data.inputParameterChanges = nullptr;
  }

  HostWindow host{kHostX, kHostY, 1600, 700};
  Steinberg::IPtr<Steinberg::IPluginFactory> factory;
  Steinberg::IPtr<Vst::IComponent> component;
  Steinberg::IPtr<Vst::IEditController> controller;
  Steinberg::IPtr<TestHostApp> hostApp;
  Steinberg::IPtr<TestComponentHandler> handler;
  Steinberg::IPtr<Steinberg::IPlugView> view;
  Steinberg::IPtr<HostFrame> frame;
  KORVEL* korvel = nullptr;
  Vst::HostProcessData data;
  bool processing = false;
  int blocksDone = 0;
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

TEST_F(KorvelX11Editor, HostSideValueMovesTheKnobsFrameOnScreen)
{
  ASSERT_TRUE(Attach());
  Frames();
  const double initial = controller->getParamNormalized(kThresholdInt);
  const std::vector<int> before = Shot(Control(kThresholdKnob));
  ASSERT_EQ(controller->setParamNormalized(kThresholdInt, 0.1), kResultOk);
  ASSERT_TRUE(frame->runLoop->RunUntil([&] { return Control(kThresholdKnob)->Value() == 0.1; }));
  Frames();
  EXPECT_NE(Shot(Control(kThresholdKnob)), before);
  // Back at the first value the knob shows its first frame again: the change was the frame, not noise.
  ASSERT_EQ(controller->setParamNormalized(kThresholdInt, initial), kResultOk);
  ASSERT_TRUE(frame->runLoop->RunUntil([&] { return Control(kThresholdKnob)->Value() == initial; }));
  Frames();
  EXPECT_EQ(Shot(Control(kThresholdKnob)), before);
  EXPECT_TRUE(handler->calls.empty()) << "a host's own change is not sent back to it";
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

TEST_F(KorvelX11Editor, CompressingAudioMovesTheIntNeedleOffItsRestFrame)
{
  ASSERT_TRUE(Attach());
  Frames();
  const double restValue = Control(kIntNeedle)->Value();
  const std::vector<int> rest = Shot(Control(kIntNeedle));
  // The tone through the real processing with the threshold turned down as a
  // host's automation delivers it: the meter readings reach the needle.
  ProcessTone(40, {{kThresholdInt, 0.1}});
  ASSERT_TRUE(frame->runLoop->RunUntil([&] { return Control(kIntNeedle)->Value() < restValue - 0.05; }))
    << "needle value " << Control(kIntNeedle)->Value() << ", at rest " << restValue;
  Frames();
  EXPECT_NE(Shot(Control(kIntNeedle)), rest);
}

// While the editor is open its frames run the plug-in's idle work, which
// carries the meter readings: the frame's run loop has the frame timer and the
// X reader only (the test host's context loop is never served here).
TEST_F(KorvelX11Editor, TheOpenEditorsFramesRunTheIdleWorkThatCarriesTheMeters)
{
  using Where = plug::VST3IdleDriver::Where;
  ASSERT_TRUE(Attach());
  Frames(2);
  EXPECT_EQ(korvel->IdleWorkRuns(), Where::kEditorFrames);
  EXPECT_EQ(frame->runLoop->Registered(), 2u) << "a timer besides the frames' and a reader besides X's";
  const double restValue = Control(kIntNeedle)->Value();
  ProcessTone(40, {{kThresholdInt, 0.1}});
  EXPECT_TRUE(frame->runLoop->RunUntil([&] { return Control(kIntNeedle)->Value() < restValue - 0.05; }));
  ASSERT_EQ(view->removed(), kResultOk);
  EXPECT_NE(korvel->IdleWorkRuns(), Where::kEditorFrames);
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

TEST_F(KorvelX11Editor, CornerDragResizesWithinTheLimitsAndReopensAtThatSize)
{
  const int minW = korvel_editor::kWidth / 2, minH = korvel_editor::kHeight / 2;
  const int maxW = korvel_editor::kWidth * 2, maxH = korvel_editor::kHeight * 2;
  ASSERT_TRUE(Attach());
  // Far towards the top left: the panel stops at its smallest size.
  ASSERT_TRUE(Drag(korvel_editor::kWidth - 4, korvel_editor::kHeight - 4, 10, 10));
  ASSERT_TRUE(
    frame->runLoop->RunUntil([&] { return !frame->resizes.empty() && WindowSize() == frame->resizes.back(); }));
  EXPECT_EQ(frame->resizes.back(), std::make_pair(minW, minH));

  // From the new corner outwards, a free size in between.
  frame->resizes.clear();
  const float s = Editor()->TotalScale();
  ASSERT_TRUE(Drag(korvel_editor::kWidth - 4, korvel_editor::kHeight - 4, korvel_editor::kWidth * 2.6f,
                   korvel_editor::kHeight * 2.6f));
  ASSERT_TRUE(frame->runLoop->RunUntil([&] {
    return !frame->resizes.empty() && Editor()->TotalScale() > s && WindowSize() == frame->resizes.back();
  }));
  const std::pair<int, int> dragged = frame->resizes.back();
  for (const auto& size : frame->resizes)
  {
    EXPECT_GE(size.first, minW);
    EXPECT_LE(size.first, maxW);
    EXPECT_GE(size.second, minH);
    EXPECT_LE(size.second, maxH);
  }
  EXPECT_GT(dragged.first, korvel_editor::kWidth);
  EXPECT_LT(dragged.first, maxW);
  EXPECT_NEAR(double(dragged.first) / dragged.second, double(korvel_editor::kWidth) / korvel_editor::kHeight, 0.02);
  ViewRect reported;
  ASSERT_EQ(view->getSize(&reported), kResultOk);
  EXPECT_EQ(std::make_pair(int(reported.getWidth()), int(reported.getHeight())), dragged);

  // Closed and opened again in the host: the same size.
  ASSERT_EQ(view->removed(), kResultOk);
  ASSERT_TRUE(host.Children().empty());
  ASSERT_TRUE(Attach());
  EXPECT_EQ(WindowSize(), dragged);
  ASSERT_EQ(view->getSize(&reported), kResultOk);
  EXPECT_EQ(std::make_pair(int(reported.getWidth()), int(reported.getHeight())), dragged);
}

TEST_F(KorvelX11Editor, OpenCloseCyclesLeaveNothingBehind)
{
  // Counted after each cycle: the run loop's timers and readers, editor X
  // windows (the host's children and the process's count), GLX contexts;
  // after all of them the process's open file descriptors (X connections among them).
  // The decoded images stay with the instance: only the first opening decodes.
  int descriptors = 0;
  long decodes = 0;
  for (int i = 0; i < 10; ++i)
  {
    ASSERT_TRUE(Attach()) << "cycle " << i;
    Frames(2);
    ASSERT_EQ(view->removed(), kResultOk);
    ASSERT_EQ(frame->runLoop->Registered(), 0u);
    ASSERT_EQ(gfx::IGfxLinux::OpenWindowCount(), 0);
    ASSERT_EQ(gfx::IGfxLinux::LiveGLContextCount(), 1) << "the closed editor keeps its context for the next opening";
    ASSERT_TRUE(host.Children().empty());
    if (i == 0)
    {
      descriptors = OpenFileDescriptors(); // the GL driver's own files are open from the first cycle on
      decodes = gfx::DecodedImageCache::Shared().Decodes();
    }
  }
  EXPECT_EQ(OpenFileDescriptors(), descriptors);
  EXPECT_EQ(gfx::DecodedImageCache::Shared().Decodes(), decodes) << "later openings decoded the images again";
  EXPECT_EQ(gfx::DecodedImageCache::Shared().KeptCount(), 7);
  view = nullptr;
  component->terminate();
  component = nullptr;
  controller = nullptr;
  EXPECT_EQ(gfx::IGfxLinux::LiveGLContextCount(), 0) << "the plug-in went, its parked editor with it";
}

TEST_F(KorvelX11Editor, TheFirstFrameAlreadyShowsTheStateLoadedBeforeTheViewOpened)
{
  // A project's state with values away from the defaults and from the
  // controls' initial ones (Power on, knobs off their minimum), loaded after
  // other values were set, before the editor opens.
  const std::pair<Vst::ParamID, double> saved[] = {
    {kThresholdInt, 0.7}, {kRatioInt, 1.0}, {kMixExt, 0.4}, {kPower, 1.0}, {kVcaInt, 1.0}, {kOversampling, 1.0}};
  for (const auto& [id, value] : saved)
    ASSERT_EQ(controller->setParamNormalized(id, value), kResultOk);
  auto stream = Steinberg::owned(new TestStream());
  ASSERT_EQ(component->getState(stream), kResultOk);
  for (const auto& [id, value] : saved)
    ASSERT_EQ(controller->setParamNormalized(id, 0.2), kResultOk);
  stream->seek(0, Steinberg::IBStream::kIBSeekSet, nullptr);
  ASSERT_EQ(component->setState(stream), kResultOk);

  ASSERT_EQ(view->attached(host.Parent(), Steinberg::kPlatformTypeX11EmbedWindowID), kResultOk);
  // The first frame is drawn within attached() (the window is already
  // exposed) or at the run loop's first turn: either way it shows what the
  // controls hold now, nothing having run since.
  for (const auto& [id, value] : saved)
    EXPECT_NEAR(controller->getParamNormalized(id), value, 1e-3) << "parameter " << id << " after the state";
  for (int i = 0; i < Editor()->ControlCount(); ++i)
  {
    const int param = Control(i)->ParamIdx();
    if (param >= 0 && param != kMeterInt && param != kMeterExt)
    {
      EXPECT_DOUBLE_EQ(Control(i)->Value(), controller->getParamNormalized(param))
        << "control " << i << " of parameter " << param;
    }
  }
  EXPECT_FALSE(Control(kVcaIntSwitch)->IsHidden()) << "Power is on";
  ASSERT_TRUE(frame->runLoop->RunUntil([this] { return Editor()->FrameCounters().framesDrawn > 0; }));
}

TEST_F(KorvelX11Editor, AReopenedEditorsFirstFrameShowsWhatChangedWhileItWasClosed)
{
  // Closed, the editor keeps its last frame; a state loaded meanwhile moves
  // knobs, hides the VCA switches (Power off) and moves a needle.
  ASSERT_TRUE(Attach());
  Frames();
  ASSERT_EQ(view->removed(), kResultOk);
  const std::pair<Vst::ParamID, double> changed[] = {
    {kThresholdInt, 0.9}, {kRatioInt, 0.1}, {kMixExt, 0.0}, {kPower, 0.0}};
  for (const auto& [id, value] : changed)
    ASSERT_EQ(controller->setParamNormalized(id, value), kResultOk);
  korvel->SendParameterValueToEditor(kMeterInt, 0.8, true);

  // Only X events run until the first frame (the window's Expose): no frame tick.
  ASSERT_EQ(view->attached(host.Parent(), Steinberg::kPlatformTypeX11EmbedWindowID), kResultOk);
  for (int i = 0; i < 400 && Editor()->FrameCounters().framesDrawn == 0; ++i)
  {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Editor()->OnXEvents();
  }
  ASSERT_EQ(Editor()->FrameCounters().framesServed, 0);
  ASSERT_EQ(Editor()->FrameCounters().framesDrawn, 1);
  const Picture first = Screenshot();

  // The same values drawn whole.
  Editor()->MarkAllDirty();
  Frames();
  const Picture drawnWhole = Screenshot();
  const Difference d = Compare(first, drawnWhole);
  EXPECT_EQ(d.worstTile, 0.0) << "the first frame after reopening differs from the values drawn (mean " << d.mean << ")";
  EXPECT_TRUE(Control(kVcaIntSwitch)->IsHidden()) << "Power is off";
}

TEST_F(KorvelX11Editor, AFactorGivenBeforeAttachingIsTheScaleOfTheFirstFrame)
{
  // Hosts give their factor before attaching: the first frame on screen is
  // drawn at it, not at scale 1 and then again.
  Steinberg::FUnknownPtr<Steinberg::IPlugViewContentScaleSupport> scale{view};
  ASSERT_TRUE(scale);
  ASSERT_EQ(scale->setContentScaleFactor(1.5f), kResultOk);
  ASSERT_TRUE(Attach());
  ASSERT_EQ(Editor()->FrameCounters().framesDrawn, 1);
  const Picture first = Screenshot();
  EXPECT_EQ(std::make_pair(first.width, first.height), std::make_pair(1497, 579));

  Editor()->MarkAllDirty();
  Frames();
  const Difference d = Compare(first, Screenshot());
  EXPECT_EQ(d.worstTile, 0.0) << "the first frame differs from the panel drawn at 1.5 (mean " << d.mean << ")";
}

TEST_F(KorvelX11Editor, HostWindowDestroyedBeforeRemovedNeitherDrawsNorEndsTheHost)
{
  // As hosts do when a track or its window goes: the window first, removed() later.
  XErrorCounter hostsHandler;
  ASSERT_TRUE(Attach());
  Frames();
  host.Destroy();
  ASSERT_EQ(controller->setParamNormalized(kThresholdInt, 0.1), kResultOk);
  Frames();
  const int drawn = Editor()->FrameCounters().framesDrawn;
  ASSERT_EQ(controller->setParamNormalized(kPower, 0.0), kResultOk);
  korvel->SendParameterValueToEditor(kMeterInt, 0.8, true);
  Frames();
  EXPECT_EQ(Editor()->FrameCounters().framesDrawn, drawn) << "drawn into a window that is gone";
  ASSERT_EQ(view->removed(), kResultOk);
  EXPECT_EQ(hostsHandler.Count(), 0) << "X errors reached the host's handler";
  EXPECT_EQ(frame->runLoop->Registered(), 0u);
  EXPECT_EQ(gfx::IGfxLinux::OpenWindowCount(), 0);
  EXPECT_EQ(gfx::IGfxLinux::LiveGLContextCount(), 0);
}

TEST_F(KorvelX11Editor, ScreenshotAtTheDefaultsIsThePreviewComposite)
{
  // Tolerance of the worst 8 x 8 tile (mean absolute difference per channel,
  // 0..255): NanoVG's halved images against cairo's differ by about 8 there.
  constexpr double kTolerance = 16.0;
  const Picture preview = LoadPng(KORVEL_PREVIEW_1X);
  ASSERT_EQ(preview.width, korvel_editor::kWidth) << KORVEL_PREVIEW_1X;
  ASSERT_EQ(preview.height, korvel_editor::kHeight);
  ASSERT_TRUE(Attach());
  Frames();
  const Picture shot = Screenshot();
  ASSERT_EQ(shot.width, preview.width);
  ASSERT_EQ(shot.height, preview.height);
  stbi_write_png("x11-editor@1x.png", shot.width, shot.height, 3, shot.rgb.data(), shot.width * 3);
  const Difference d = Compare(shot, preview);
  std::printf("X screenshot against the preview: worst tile %.2f, mean %.3f (tolerance %.1f)\n", d.worstTile, d.mean,
              kTolerance);
  RecordProperty("worst_tile", std::to_string(d.worstTile));
  RecordProperty("mean", std::to_string(d.mean));
  EXPECT_LE(d.worstTile, kTolerance);

  // The same measure refuses the panel with a real fault in it.
  struct Fault
  {
    const char* what;
    std::function<Picture()> make;
  };
  auto withEditor = [this](const std::function<void()>& change, const std::function<void()>& undo) {
    change();
    Frames();
    Picture p = Screenshot();
    undo();
    Frames();
    return p;
  };
  const double initial = controller->getParamNormalized(kThresholdInt);
  const Fault faults[] = {
    {"upside down", [&] { return shot.UpsideDown(); }},
    {"2 pixels to the right", [&] { return shot.Moved(2, 0); }},
    {"2 pixels down", [&] { return shot.Moved(0, 2); }},
    {"the Threshold Int knob missing",
     [&] {
       return withEditor([&] { Control(kThresholdKnob)->SetHidden(true); },
                         [&] { Control(kThresholdKnob)->SetHidden(false); });
     }},
    {"the Threshold Int knob's frame for another value",
     [&] {
       return withEditor([&] { controller->setParamNormalized(kThresholdInt, initial - 0.15); },
                         [&] { controller->setParamNormalized(kThresholdInt, initial); });
     }},
    {"the Power switch's other frame",
     [&] {
       return withEditor([&] { controller->setParamNormalized(kPower, 0.0); },
                         [&] { controller->setParamNormalized(kPower, 1.0); });
     }},
  };
  for (const Fault& fault : faults)
  {
    const Difference f = Compare(fault.make(), preview);
    std::printf("  %s: worst tile %.2f\n", fault.what, f.worstTile);
    EXPECT_GT(f.worstTile, kTolerance) << fault.what;
  }
  EXPECT_LE(Compare(Screenshot(), preview).worstTile, kTolerance) << "every fault was undone";
}

} // namespace
