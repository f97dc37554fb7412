#include "plug/Timer.h"

#include "plug/Trace.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace plug {

namespace {

class Timer_impl;

// A system timer halted on a thread other than its own. Only the thread that
// set a thread timer can kill it, so it goes on calling the timer procedure
// until that thread kills it; the module stays loaded (pin) until then.
struct OrphanTimer
{
  DWORD threadId;
  HANDLE thread;  // to see whether it ended
  UINT_PTR id;
  HMODULE pin;
  bool killed;
};

// The process-wide list of running timers and its critical section.
struct TimerList
{
  TimerList() { InitializeCriticalSection(&lock); }
  ~TimerList() { DeleteCriticalSection(&lock); }
  CRITICAL_SECTION lock;
  std::vector<Timer_impl*> timers;
  std::vector<OrphanTimer> orphans;
};

TimerList& Timers()
{
  static TimerList list;
  return list;
}

struct ListLock
{
  ListLock() { EnterCriticalSection(&Timers().lock); }
  ~ListLock() { LeaveCriticalSection(&Timers().lock); }
  ListLock(const ListLock&) = delete;
  ListLock& operator=(const ListLock&) = delete;
};

bool HasEnded(HANDLE thread)
{
  return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
}

class Timer_impl final : public Timer
{
public:
  Timer_impl(ITimerFunction func, int intervalMs) : mFunc(std::move(func)), mInterval(intervalMs)
  {
    mId = SetTimer(nullptr, 0, static_cast<UINT>(intervalMs > 0 ? intervalMs : 0), TimerProc);
    if (!mId)
      return;
    mThreadId = GetCurrentThreadId();
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &mThread, SYNCHRONIZE, FALSE, 0);
    ListLock lock;
    Timers().timers.push_back(this);
  }

  ~Timer_impl() override
  {
    Halt();
    if (mThread)
      CloseHandle(mThread);
  }

  void Halt() override
  {
    if (!mId)
      return;
    ListLock lock;
    TimerList& list = Timers();
    list.timers.erase(std::remove(list.timers.begin(), list.timers.end(), this), list.timers.end());
    if (GetCurrentThreadId() == mThreadId)
      KillTimer(nullptr, mId);
    else if (mThread && !HasEnded(mThread)) // a thread's timers end with it
    {
      OrphanTimer orphan{mThreadId, nullptr, mId, nullptr, false};
      DuplicateHandle(GetCurrentProcess(), mThread, GetCurrentProcess(), &orphan.thread, SYNCHRONIZE, FALSE, 0);
      GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&TimerProc), &orphan.pin);
      list.orphans.push_back(orphan);
    }
    mId = 0;
  }

  bool IsRunning() const override { return mId != 0; }
  int IntervalMs() const override { return mInterval; }

private:
  static VOID CALLBACK TimerProc(HWND, UINT, UINT_PTR eventId, DWORD)
  {
    ListLock lock;
    TimerList& list = Timers();
    const DWORD thread = GetCurrentThreadId();
    for (Timer_impl* timer : list.timers)
    {
      if (timer->mId == eventId && timer->mThreadId == thread)
      {
        // The list must not be touched after the callback: it may have halted this timer.
        timer->mFunc(*timer);
        return;
      }
    }
    // Nobody runs this timer any more: it was halted on another thread. This
    // is its own thread, where it can be killed.
    KillTimer(nullptr, eventId);
    for (OrphanTimer& orphan : list.orphans)
      if (orphan.id == eventId && orphan.threadId == thread)
        orphan.killed = true;
  }

  ITimerFunction mFunc;
  int mInterval;
  UINT_PTR mId = 0;
  DWORD mThreadId = 0;
  HANDLE mThread = nullptr;
};

} // namespace

std::unique_ptr<Timer> Timer::Launch(ITimerFunction func, int intervalMs)
{
  PLUG_TRACE("plug::Timer::Launch");
  return std::make_unique<Timer_impl>(std::move(func), intervalMs);
}

void Timer::SettleBeforeUnload()
{
  ListLock lock;
  std::vector<OrphanTimer>& orphans = Timers().orphans;
  const DWORD thread = GetCurrentThreadId();
  for (auto it = orphans.begin(); it != orphans.end();)
  {
    if (!it->killed && it->threadId == thread)
    {
      KillTimer(nullptr, it->id);
      it->killed = true;
    }
    if (!it->killed && !HasEnded(it->thread))
    {
      // Still running on a thread of its own: the module keeps its pin and
      // stays loaded, since the timer may call into it once more.
      ++it;
      continue;
    }
    // The caller's host holds the module while it calls the module's exit, so
    // this never unloads the code that runs here.
    if (it->pin)
      FreeLibrary(it->pin);
    if (it->thread)
      CloseHandle(it->thread);
    it = orphans.erase(it);
  }
}

} // namespace plug
