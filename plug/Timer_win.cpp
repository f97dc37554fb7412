#include "plug/Timer.h"

#include "plug/Trace.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace plug {

namespace {

class Timer_impl;

// The process-wide list of running timers and its critical section.
struct TimerList
{
  TimerList() { InitializeCriticalSection(&lock); }
  ~TimerList() { DeleteCriticalSection(&lock); }
  CRITICAL_SECTION lock;
  std::vector<Timer_impl*> timers;
};

TimerList& Timers()
{
  static TimerList list;
  return list;
}

class Timer_impl final : public Timer
{
public:
  Timer_impl(ITimerFunction func, int intervalMs) : mFunc(std::move(func)), mInterval(intervalMs)
  {
    mId = SetTimer(nullptr, 0, static_cast<UINT>(intervalMs > 0 ? intervalMs : 0), TimerProc);
    if (mId)
    {
      TimerList& list = Timers();
      EnterCriticalSection(&list.lock);
      list.timers.push_back(this);
      LeaveCriticalSection(&list.lock);
    }
  }

  ~Timer_impl() override { Halt(); }

  void Halt() override
  {
    if (!mId)
      return;
    KillTimer(nullptr, mId);
    TimerList& list = Timers();
    EnterCriticalSection(&list.lock);
    list.timers.erase(std::remove(list.timers.begin(), list.timers.end(), this), list.timers.end());
    LeaveCriticalSection(&list.lock);
    mId = 0;
  }

  bool IsRunning() const override { return mId != 0; }
  int IntervalMs() const override { return mInterval; }

private:
  static VOID CALLBACK TimerProc(HWND, UINT, UINT_PTR eventId, DWORD)
  {
    TimerList& list = Timers();
    EnterCriticalSection(&list.lock);
    for (Timer_impl* timer : list.timers)
    {
      if (timer->mId == eventId)
      {
        // The list must not be touched after the callback: it may have halted this timer.
        timer->mFunc(*timer);
        break;
      }
    }
    LeaveCriticalSection(&list.lock);
  }

  ITimerFunction mFunc;
  int mInterval;
  UINT_PTR mId = 0;
};

} // namespace

std::unique_ptr<Timer> Timer::Launch(ITimerFunction func, int intervalMs)
{
  PLUG_TRACE("plug::Timer::Launch");
  return std::make_unique<Timer_impl>(std::move(func), intervalMs);
}

} // namespace plug
