// The host's Linux run loop behind the framework's interface: registration,
// callbacks, removal (also from inside a callback), refusal, and the cleanup
// when the adapter goes while handlers are still registered.

#include "FakeRunLoop.h"

#include "plug/vst3/VST3HostRunLoop.h"

#include <gtest/gtest.h>

#if SMTG_OS_LINUX

using vst3test::FakeRunLoop;

namespace {

class FrameWithRunLoop : public Steinberg::FObject, public Steinberg::IPlugFrame
{
public:
  Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView*, Steinberg::ViewRect*) override
  {
    return Steinberg::kResultFalse;
  }
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override
  {
    if (runLoop && Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::Linux::IRunLoop::iid))
      return runLoop->queryInterface(iid, obj);
    QUERY_INTERFACE(iid, obj, Steinberg::IPlugFrame::iid, Steinberg::IPlugFrame)
    return FObject::queryInterface(iid, obj);
  }
  OBJ_METHODS(FrameWithRunLoop, FObject)
  REFCOUNT_METHODS(FObject)
  FakeRunLoop* runLoop = nullptr;
};

TEST(VST3HostRunLoop, FoundThroughTheFrameOnlyWhenOffered)
{
  EXPECT_EQ(plug::VST3HostRunLoop::FromFrame(nullptr), nullptr);
  Steinberg::IPtr<FrameWithRunLoop> frame = Steinberg::owned(new FrameWithRunLoop());
  EXPECT_EQ(plug::VST3HostRunLoop::FromFrame(frame), nullptr);
  Steinberg::IPtr<FakeRunLoop> host = Steinberg::owned(new FakeRunLoop());
  frame->runLoop = host;
  auto runLoop = plug::VST3HostRunLoop::FromFrame(frame);
  ASSERT_NE(runLoop, nullptr);
  EXPECT_GT(runLoop->AddTimer(10, [] {}), 0);
  EXPECT_EQ(host->timers.size(), 1u);
  // The adapter holds its own reference: the host's loop outlives the frame's.
  frame = nullptr;
  runLoop.reset();
  EXPECT_TRUE(host->timers.empty());
}

TEST(VST3HostRunLoop, TimersAndReadersCallBackUntilRemoved)
{
  Steinberg::IPtr<FakeRunLoop> host = Steinberg::owned(new FakeRunLoop());
  plug::VST3HostRunLoop runLoop(host);
  int ticks = 0;
  int reads = 0;
  const int timer = runLoop.AddTimer(16, [&ticks] { ++ticks; });
  const int reader = runLoop.AddFdReader(7, [&reads] { ++reads; });
  ASSERT_GT(timer, 0);
  ASSERT_GT(reader, 0);
  EXPECT_NE(timer, reader);
  ASSERT_EQ(host->timers.size(), 1u);
  ASSERT_EQ(host->readers.size(), 1u);
  EXPECT_EQ(host->timers[0].interval, 16u);
  EXPECT_EQ(host->readers[0].fd, 7);

  host->FireTimers();
  host->FireTimers();
  host->FireReaders();
  EXPECT_EQ(ticks, 2);
  EXPECT_EQ(reads, 1);

  runLoop.Remove(timer);
  EXPECT_TRUE(host->timers.empty());
  EXPECT_EQ(host->readers.size(), 1u);
  runLoop.Remove(timer); // a second removal and unknown ids are ignored
  runLoop.Remove(12345);
  EXPECT_EQ(runLoop.RegisteredCount(), 1);
}

TEST(VST3HostRunLoop, ACallbackMayRemoveItself)
{
  Steinberg::IPtr<FakeRunLoop> host = Steinberg::owned(new FakeRunLoop());
  plug::VST3HostRunLoop runLoop(host);
  int calls = 0;
  int id = 0;
  id = runLoop.AddTimer(5, [&] {
    ++calls;
    runLoop.Remove(id); // the handler must survive until this call returns (ASan checks)
  });
  host->FireTimers();
  host->FireTimers();
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(host->timers.empty());
}

TEST(VST3HostRunLoop, RefusedOrInvalidRegistrationsGiveNoId)
{
  Steinberg::IPtr<FakeRunLoop> host = Steinberg::owned(new FakeRunLoop());
  plug::VST3HostRunLoop runLoop(host);
  EXPECT_EQ(runLoop.AddTimer(0, [] {}), 0);
  EXPECT_EQ(runLoop.AddTimer(10, nullptr), 0);
  EXPECT_EQ(runLoop.AddFdReader(-1, [] {}), 0);
  host->refuse = true;
  EXPECT_EQ(runLoop.AddTimer(10, [] {}), 0);
  EXPECT_EQ(runLoop.AddFdReader(3, [] {}), 0);
  EXPECT_EQ(runLoop.RegisteredCount(), 0);
  EXPECT_TRUE(host->timers.empty() && host->readers.empty());
}

TEST(VST3HostRunLoop, GoingAwayUnregistersEverything)
{
  Steinberg::IPtr<FakeRunLoop> host = Steinberg::owned(new FakeRunLoop());
  {
    plug::VST3HostRunLoop runLoop(host);
    runLoop.AddTimer(10, [] {});
    runLoop.AddTimer(20, [] {});
    runLoop.AddFdReader(4, [] {});
  }
  EXPECT_TRUE(host->timers.empty());
  EXPECT_TRUE(host->readers.empty());
}

} // namespace

#endif
