// The user-interface thread and the audio thread at work on one plug-in at
// once, as in a host: the audio thread processes blocks with automation
// while the user-interface thread edits parameters (as the host and as the
// editor's controls), saves and loads the state, runs the idle timer and
// opens and closes the editor; and, for a host without a run loop, the
// module's idle thread asks the host for restarts while views come and go.
// Built with ThreadSanitizer (linux-tsan) these tests fail on any data race;
// in every build they check that the audio stays finite and the readings
// stay in range.

#include "KorvelHostRig.h"
#include "KorvelTestSupport.h"
#include "TestPlugFrame.h"

#include "plug/vst3/IPluginVST3View.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace {

constexpr int kBlock = 256;

class KorvelThreads : public ::testing::Test
{
protected:
  explicit KorvelThreads(bool hostOffersRunLoop = true) : host(hostOffersRunLoop) {}

  void SetUp() override
  {
    ASSERT_TRUE(host.ok);
    const std::vector<rig::Layout> layouts = rig::KorvelLayouts(*host.plugin);
    // Stereo main bus and stereo side-chain into stereo.
    ASSERT_TRUE(host.Configure(layouts.back(), true, Steinberg::Vst::kSample32, 48000.0, kBlock));
  }

  // Runs the audio thread for `blocks` blocks with automation while `ui` is
  // called on this thread until the audio thread has finished.
  void RunAgainstAudio(int blocks, const std::function<void(rig::Random&)>& ui)
  {
    std::atomic<bool> done{false};
    std::atomic<int> nonFinite{0};
    std::atomic<int> badMeters{0};
    std::thread audio([&] {
      rig::Random random(5);
      host.plugin->setProcessing(true);
      for (int b = 0; b < blocks; ++b)
      {
        for (int bus = 0; bus < 2; ++bus)
          for (int ch = 0; ch < 2; ++ch)
            for (int n = 0; n < kBlock; ++n)
              host.SetInput(bus, ch, n, ((n + 17 * b) % 64 < 32 ? 0.8 : -0.8) * (bus ? 0.5 : 1.0));
        for (int n = random.Below(4); n > 0; --n)
          host.Change(static_cast<Steinberg::Vst::ParamID>(random.Below(kOversampling + 1)), random.Unit(),
                      random.Below(kBlock));
        if (b % 50 == 25)
          host.Change(plug::kBypassParamID, b % 100 == 25 ? 1.0 : 0.0);
        if (switchOversampling && b % 20 == 10)
        {
          // Powered, so that the latency follows the switch.
          host.Change(kPower, 1.0, kBlock - 1);
          host.Change(kOversampling, b % 40 == 10 ? 1.0 : 0.0, kBlock - 1);
        }
        host.Process(kBlock);
        if (switchOversampling)
          std::this_thread::sleep_for(std::chrono::microseconds(200)); // host blocks take real time
        for (int ch = 0; ch < 2; ++ch)
          for (int n = 0; n < kBlock; ++n)
            if (!std::isfinite(host.Output(ch, n)))
              ++nonFinite;
        for (int meter : {kMeterInt, kMeterExt})
        {
          const double reading = host.plugin->getLastEditorValue(meter);
          if (!(reading >= 0.0 && reading <= 1.1))
            ++badMeters;
        }
      }
      host.plugin->setProcessing(false);
      done = true;
    });
    rig::Random random(9);
    while (!done)
    {
      ui(random);
      std::this_thread::yield();
    }
    audio.join();
    EXPECT_EQ(nonFinite.load(), 0);
    EXPECT_EQ(badMeters.load(), 0);
  }

  rig::Host host;
  bool switchOversampling = false; // every 20 blocks, at real-time pace
};

TEST_F(KorvelThreads, HostAndEditorEditsMeetAutomation)
{
  int edits = 0;
  RunAgainstAudio(600, [&](rig::Random& random) {
    const int idx = random.Below(kOversampling + 1);
    if (random.Below(2))
      host.plugin->setParamNormalized(static_cast<Steinberg::Vst::ParamID>(idx), random.Unit());
    else
    {
      // A control's drag: gesture, value, gesture end.
      host.plugin->BeginHostEditFromEditor(idx);
      host.plugin->SetParameterFromEditor(idx, random.Unit());
      host.plugin->EndHostEditFromEditor(idx);
    }
    Steinberg::Vst::ParamValue shown = host.plugin->getParamNormalized(static_cast<Steinberg::Vst::ParamID>(idx));
    EXPECT_TRUE(shown >= 0.0 && shown <= 1.0);
    EXPECT_LE(host.plugin->getLatencySamples(), 64u);
    TickIdleTimers(); // the host loop's idle tick
    ++edits;
  });
  EXPECT_GT(edits, 0);
  EXPECT_GT(host.handler->edits.load(), 0);
}

TEST_F(KorvelThreads, StateSavesAndLoadsMeetAutomation)
{
  std::vector<uint8_t> state = host.SaveState();
  int loads = 0;
  RunAgainstAudio(600, [&](rig::Random& random) {
    std::vector<uint8_t> saved = host.SaveState();
    ASSERT_EQ(saved.size(), 232u);
    if (random.Below(2))
      state = std::move(saved);
    ASSERT_EQ(host.LoadState(state), Steinberg::kResultOk);
    ++loads;
  });
  EXPECT_GT(loads, 0);
  host.plugin->CloseEditor();
}

// A stand-in editor whose window opens, so that a view attaches.
class WindowlessEditor : public FakeEditorGraphics
{
public:
  void* OpenEditorWindow(void* parent) override { return parent; }
};

// A host that offers no run loop but the frame's of an attached view, as
// Ardour: the latency restarts the automated oversampling causes are asked
// for from the module's idle thread while no view is attached, and from the
// frame's loop (this thread) while one is; the views come and go and the
// host swaps its component handler meanwhile.
class KorvelThreadsWithoutHostRunLoop : public KorvelThreads
{
protected:
  KorvelThreadsWithoutHostRunLoop() : KorvelThreads(false) { switchOversampling = true; }
};

TEST_F(KorvelThreadsWithoutHostRunLoop, IdleWorkMovesBetweenTheIdleThreadAndTheViewsLoop)
{
  host.plugin->MakeGraphicsFunction = [] { return std::make_unique<WindowlessEditor>(); };
  auto otherHandler = Steinberg::owned(new CountingComponentHandler());
  int parentWindow = 0;
  int attached = 0;
  RunAgainstAudio(600, [&](rig::Random& random) {
    if (random.Below(2))
    {
      // The host swaps its handler while the idle thread may be asking the old one.
      host.plugin->setComponentHandler(random.Below(2) ? otherHandler.get() : host.handler.get());
      std::this_thread::sleep_for(std::chrono::milliseconds(1 + random.Below(3)));
      return;
    }
    Steinberg::IPtr<Steinberg::IPlugView> view =
      Steinberg::owned(host.plugin->createView(Steinberg::Vst::ViewType::kEditor));
    ASSERT_TRUE(view);
    auto frame = Steinberg::owned(new TestPlugFrame());
    view->setFrame(frame);
    if (view->attached(&parentWindow, plug::EditorPlatformType()) == Steinberg::kResultOk)
      ++attached;
    for (int i = random.Below(3); i > 0; --i)
    {
      frame->runLoop->FireTimers();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    view->removed();
  });
  EXPECT_GT(attached, 0);
  // The last change may still wait for the idle thread's next run.
  const auto restarts = [&] { return host.handler->restarts.load() + otherHandler->restarts.load(); };
  for (int i = 0; i < 2000 && restarts() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_GT(restarts(), 0) << "no latency restart reached the host";
}

// The editor part: a stand-in graphics context receives the meter readings
// from the audio thread while this thread opens and closes it.
TEST_F(KorvelThreads, EditorOpensAndClosesWhileMetersArrive)
{
  int opened = 0;
  RunAgainstAudio(600, [&](rig::Random& random) {
    if (OpenFakeEditor(*host.plugin))
      ++opened;
    host.SaveState();
    if (random.Below(2))
      std::this_thread::yield();
    host.plugin->CloseEditor();
  });
  EXPECT_GT(opened, 0);
}

} // namespace
