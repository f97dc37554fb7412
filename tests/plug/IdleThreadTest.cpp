// The module's idle thread (not on Windows): it runs the work added to it on
// one thread of its own, a removal waits for a run in progress, work may
// remove itself, and the thread lives exactly while there is work.

#include "plug/IdleThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using plug::IdleThread;
using namespace std::chrono_literals;

namespace {

// Waits up to two seconds for done().
template <typename Done>
bool WaitFor(Done done)
{
  const auto end = std::chrono::steady_clock::now() + 2s;
  while (!done())
  {
    if (std::chrono::steady_clock::now() > end)
      return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

} // namespace

TEST(IdleThread, RunsItsWorkOnOneThreadOfItsOwnWhileThereIsWork)
{
  ASSERT_FALSE(IdleThread::IsRunning());
  std::atomic<int> runsA{0}, runsB{0};
  std::atomic<bool> onIdleThread{true};
  const std::thread::id test = std::this_thread::get_id();
  const int a = IdleThread::Add([&] {
    ++runsA;
    if (!IdleThread::IsCurrentThread() || std::this_thread::get_id() == test)
      onIdleThread = false;
  });
  const int b = IdleThread::Add([&] { ++runsB; });
  EXPECT_GT(a, 0);
  EXPECT_NE(a, b);
  EXPECT_TRUE(IdleThread::IsRunning());
  EXPECT_FALSE(IdleThread::IsCurrentThread());
  ASSERT_TRUE(WaitFor([&] { return runsA >= 3 && runsB >= 3; }));
  EXPECT_TRUE(onIdleThread);

  IdleThread::Remove(a);
  const int afterRemoval = runsA;
  EXPECT_TRUE(IdleThread::IsRunning()) << "b is left";
  ASSERT_TRUE(WaitFor([&] { return runsB >= afterRemoval + 3; }));
  EXPECT_EQ(runsA, afterRemoval);
  IdleThread::Remove(b);
  EXPECT_FALSE(IdleThread::IsRunning());
  IdleThread::Remove(b); // unknown by now: ignored

  // The next work starts a new thread.
  std::atomic<int> runsC{0};
  const int c = IdleThread::Add([&] { ++runsC; });
  EXPECT_TRUE(WaitFor([&] { return runsC > 0; }));
  IdleThread::Remove(c);
  EXPECT_FALSE(IdleThread::IsRunning());
}

TEST(IdleThread, RemovalWaitsForARunInProgress)
{
  std::atomic<bool> inside{false};
  std::atomic<int> runs{0};
  const int id = IdleThread::Add([&] {
    inside = true;
    std::this_thread::sleep_for(30ms);
    ++runs;
    inside = false;
  });
  ASSERT_TRUE(WaitFor([&] { return inside.load(); }));
  IdleThread::Remove(id);
  EXPECT_FALSE(inside) << "removed while running";
  const int runsAtRemoval = runs;
  std::this_thread::sleep_for(std::chrono::milliseconds(3 * IdleThread::kPeriodMs));
  EXPECT_EQ(runs, runsAtRemoval) << "ran after its removal";
}

TEST(IdleThread, WorkMayRemoveItselfAndTheThreadEndsWithTheLast)
{
  std::atomic<int> runs{0};
  std::atomic<int> id{0};
  std::atomic<bool> added{false};
  id = IdleThread::Add([&] {
    if (!added)
      return;
    ++runs;
    IdleThread::Remove(id);
  });
  added = true;
  ASSERT_TRUE(WaitFor([&] { return !IdleThread::IsRunning(); })) << "the last work removed itself";
  std::this_thread::sleep_for(std::chrono::milliseconds(3 * IdleThread::kPeriodMs));
  EXPECT_EQ(runs, 1);

  // A new start joins the thread that ended itself.
  std::atomic<int> more{0};
  const int next = IdleThread::Add([&] { ++more; });
  EXPECT_TRUE(WaitFor([&] { return more > 0; }));
  IdleThread::Remove(next);
}

TEST(IdleThread, StopBeforeUnloadDropsAllWorkAndEndsTheThread)
{
  std::atomic<int> runs{0};
  IdleThread::Add([&] { ++runs; });
  IdleThread::Add([&] { ++runs; });
  ASSERT_TRUE(WaitFor([&] { return runs > 0; }));
  IdleThread::StopBeforeUnload();
  EXPECT_FALSE(IdleThread::IsRunning());
  const int stopped = runs;
  std::this_thread::sleep_for(std::chrono::milliseconds(3 * IdleThread::kPeriodMs));
  EXPECT_EQ(runs, stopped);
}
