// Where a plug-in's idle work runs on Linux, seen from the host: the latency
// change the audio thread notes reaches the host's restartComponent on the
// host's run loop where one is offered (the context of initialize, the
// factory's host context), and on the module's idle thread for a host that
// offers none (Ardour without an editor), never on the audio thread. The
// hand-over to an attached view's run loop is tested with the view.

#include "PluginFixture.h"

#include "plug/IdleThread.h"
#include "plug/vst3/IPluginVST3Factory.h"

#include "pluginterfaces/base/ipluginbase.h"

#include <chrono>
#include <iostream>
#include <thread>

#if SMTG_OS_LINUX

namespace Vst = Steinberg::Vst;
using Steinberg::kResultOk;
using Where = plug::VST3IdleDriver::Where;

namespace {

class IdleWork : public PluginFixture
{
protected:
  void SetUp() override
  {
    PluginFixture::SetUp();
    recording = Steinberg::owned(new ThreadRecordingHandler());
    plugin->setComponentHandler(recording);
    Prepare(Vst::kSample32);
  }

  /** A block on an audio thread of its own in which the latency changes; returns that thread. */
  std::thread::id ChangeLatencyOnAnAudioThread(int latency)
  {
    plugin->latencyToReport = latency;
    std::thread::id audioThread;
    std::thread audio([&] {
      audioThread = std::this_thread::get_id();
      EXPECT_EQ(Process(), kResultOk);
      processed = std::chrono::steady_clock::now();
    });
    audio.join();
    EXPECT_EQ(plugin->getLatencySamples(), static_cast<Steinberg::uint32>(latency));
    return audioThread;
  }

  Steinberg::IPtr<ThreadRecordingHandler> recording;
  std::chrono::steady_clock::time_point processed;
};

class IdleWorkWithoutHostRunLoop : public IdleWork
{
protected:
  void SetUp() override
  {
    hostOffersRunLoop = false;
    IdleWork::SetUp();
  }
};

} // namespace

TEST_F(IdleWorkWithoutHostRunLoop, TheModulesIdleThreadAsksTheHostToRestart)
{
  EXPECT_EQ(plugin->IdleWorkRuns(), Where::kIdleThread);
  EXPECT_TRUE(plug::IdleThread::IsRunning());

  const std::thread::id audioThread = ChangeLatencyOnAnAudioThread(64);
  ASSERT_TRUE(recording->WaitForRestarts(1)) << "the host never heard of the latency change";
  const ThreadRecordingHandler::Restart restart = recording->Restarts()[0];
  EXPECT_EQ(restart.flags, Vst::kLatencyChanged);
  EXPECT_NE(restart.thread, audioThread);
  EXPECT_NE(restart.thread, std::this_thread::get_id()) << "nobody here runs a loop";
  const auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(restart.when - processed).count();
  std::cout << "restart " << std::max<long long>(delay, 0) << " ms after the block\n";

  ChangeLatencyOnAnAudioThread(0);
  ASSERT_TRUE(recording->WaitForRestarts(2));
  EXPECT_EQ(recording->Restarts()[1].thread, restart.thread) << "one idle thread";

  // The thread goes with the last instance that needed it.
  Destroy();
  EXPECT_FALSE(plug::IdleThread::IsRunning());
}

TEST_F(IdleWork, WithTheHostsRunLoopTheRestartArrivesOnIt)
{
  EXPECT_EQ(plugin->IdleWorkRuns(), Where::kHostRunLoop);
  EXPECT_FALSE(plug::IdleThread::IsRunning()) << "no thread for an instance the host's loop serves";

  ChangeLatencyOnAnAudioThread(64);
  std::this_thread::sleep_for(std::chrono::milliseconds(3 * plug::IdleThread::kPeriodMs));
  EXPECT_TRUE(recording->Restarts().empty()) << "only the host's loop runs the idle work";
  TickIdleTimers();
  const std::vector<ThreadRecordingHandler::Restart> restarts = recording->Restarts();
  ASSERT_EQ(restarts.size(), 1u);
  EXPECT_EQ(restarts[0].flags, Vst::kLatencyChanged);
  EXPECT_EQ(restarts[0].thread, std::this_thread::get_id());

  plugin->terminate();
  EXPECT_EQ(plugin->IdleWorkRuns(), Where::kNowhere);
  EXPECT_TRUE(vst3test::HostContextRunLoop().timers.empty()) << "terminate leaves nothing on the host's loop";
}

// The run loop a host hands the factory (IPluginFactory3::setHostContext)
// serves the instances it creates, although their own context offers none.
TEST(IdleWorkOfTheModule, TheFactorysHostContextRunLoopServesItsInstances)
{
  Steinberg::IPtr<Steinberg::IPluginFactory> factory = Steinberg::owned(plug::GetVST3PluginFactory());
  Steinberg::FUnknownPtr<Steinberg::IPluginFactory3> factory3(factory);
  ASSERT_TRUE(factory3);
  auto loop = Steinberg::owned(new vst3test::FakeRunLoop());
  ASSERT_EQ(factory3->setHostContext(loop->unknownCast()), Steinberg::kResultTrue);

  void* obj = nullptr;
  ASSERT_EQ(factory->createInstance(reinterpret_cast<const char*>(plug::GetVST3ClassInfo().cid),
                                    Vst::IComponent::iid, &obj),
            kResultOk);
  auto component = Steinberg::owned(static_cast<Vst::IComponent*>(obj));
  auto* plugin = dynamic_cast<plug::IPluginVST3*>(component.get());
  ASSERT_NE(plugin, nullptr);
  auto app = Steinberg::owned(new TestHostApp("Ardour"));
  app->offersRunLoop = false;
  ASSERT_EQ(component->initialize(app->unknownCast()), kResultOk);
  EXPECT_EQ(plugin->IdleWorkRuns(), Where::kHostRunLoop);
  EXPECT_EQ(loop->timers.size(), 1u);
  EXPECT_FALSE(plug::IdleThread::IsRunning());

  component->terminate();
  EXPECT_TRUE(loop->timers.empty());
  // A host context without a run loop: the next instance runs on the idle thread.
  ASSERT_EQ(factory3->setHostContext(nullptr), Steinberg::kResultTrue);
  ASSERT_EQ(component->initialize(app->unknownCast()), kResultOk);
  EXPECT_EQ(plugin->IdleWorkRuns(), Where::kIdleThread);
  component->terminate();
  EXPECT_FALSE(plug::IdleThread::IsRunning());
}

#endif
