#include "plug/Timer.h"

#include "plug/Trace.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace plug {

namespace {

class Timer_impl;

// The process-wide list of running timers; recursive like a Win32 critical
// section, so a callback that halts its own timer does not deadlock.
struct TimerList
{
  std::recursive_mutex lock;
  std::vector<Timer_impl*> timers;
  unsigned long nextId = 1;
};

TimerList& Timers()
{
  static TimerList list;
  return list;
}

class Timer_impl final : public Timer
{
public:
  using Clock = std::chrono::steady_clock;

  Timer_impl(ITimerFunction func, int intervalMs)
    : mFunc(std::move(func)), mInterval(intervalMs > 0 ? intervalMs : 0), mLastFired(Clock::now())
  {
    TimerList& list = Timers();
    std::lock_guard<std::recursive_mutex> guard(list.lock);
    mId = list.nextId++;
    list.timers.push_back(this);
  }

  ~Timer_impl() override { Halt(); }

  void Halt() override
  {
    if (!mId)
      return;
    TimerList& list = Timers();
    std::lock_guard<std::recursive_mutex> guard(list.lock);
    list.timers.erase(std::remove(list.timers.begin(), list.timers.end(), this), list.timers.end());
    mId = 0;
  }

  bool IsRunning() const override { return mId != 0; }
  int IntervalMs() const override { return mInterval; }

  unsigned long Id() const { return mId; }

  void FireIfDue(Clock::time_point now)
  {
    if (now - mLastFired < std::chrono::milliseconds(mInterval))
      return;
    mLastFired = now;
    mFunc(*this);
  }

private:
  ITimerFunction mFunc;
  int mInterval;
  Clock::time_point mLastFired;
  unsigned long mId = 0;
};

} // namespace

std::unique_ptr<Timer> Timer::Launch(ITimerFunction func, int intervalMs)
{
  PLUG_TRACE("plug::Timer::Launch");
  return std::make_unique<Timer_impl>(std::move(func), intervalMs);
}

void Timer::TickAll(std::chrono::steady_clock::time_point now)
{
  TimerList& list = Timers();
  std::lock_guard<std::recursive_mutex> guard(list.lock);
  // Callbacks may halt timers, which changes the list: look each one up again by id.
  std::vector<unsigned long> ids;
  ids.reserve(list.timers.size());
  for (const Timer_impl* timer : list.timers)
    ids.push_back(timer->Id());
  for (unsigned long id : ids)
  {
    auto it = std::find_if(list.timers.begin(), list.timers.end(), [id](const Timer_impl* t) { return t->Id() == id; });
    if (it != list.timers.end())
      (*it)->FireIfDue(now);
  }
}

} // namespace plug
