#pragma once

// Repeating user-interface timer. Callbacks run on the user-interface thread
// while a process-wide timer-list lock is held, so a callback must not launch
// or halt other timers. On Windows the system drives the timers (SetTimer
// with a timer procedure; the thread must pump messages). Elsewhere the owner
// of the user-interface loop drives them by calling Timer::TickAll.

#include <chrono>
#include <functional>
#include <memory>

namespace plug {

class Timer
{
public:
  using ITimerFunction = std::function<void(Timer& timer)>;

  /** Starts a timer that calls func every intervalMs milliseconds; IsRunning() tells whether the system accepted it. */
  static std::unique_ptr<Timer> Launch(ITimerFunction func, int intervalMs);

  /** Halts the timer if it runs. */
  virtual ~Timer() = default;
  /** Stops the timer; its callback is not called again. */
  virtual void Halt() = 0;
  virtual bool IsRunning() const = 0;
  virtual int IntervalMs() const = 0;

#ifdef _WIN32
  /**
   * Before the module unloads: kills the system timers of the calling thread
   * that were halted on other threads (a thread timer can only be killed by its
   * own thread). A timer halted that way keeps the module loaded while its
   * thread may still run it; its own thread kills it at its next tick.
   */
  static void SettleBeforeUnload();
#else
  /** Calls every running timer whose interval has passed since it last fired (or was launched). */
  static void TickAll(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());
#endif

protected:
  Timer() = default;
};

} // namespace plug
