#pragma once

// The module's own idle thread (not on Windows): it runs the idle work of the
// plug-in instances that no host run loop serves, every kPeriodMs
// milliseconds, one piece of work after the other. It starts with the first
// piece of work added and stops with the last one removed; the module joins
// it before it unloads (StopBeforeUnload). It is never the audio thread, and
// the work must not wait for the host's user-interface thread.

#include <functional>

namespace plug {

class IdleThread
{
public:
  using Work = std::function<void()>;

  /** The idle timer's interval. */
  static constexpr int kPeriodMs = 20;

  /** Runs work about every kPeriodMs from now on (starting the thread if needed); returns its id, above 0. */
  static int Add(Work work);
  /**
   * Stops running the work with that id (unknown ids are ignored). When this
   * returns, the work is not running and never runs again, unless the call
   * comes from the work itself, which then finishes its run. Without work
   * left the thread ends, and it is joined here unless this is the thread.
   */
  static void Remove(int id);
  /** Drops all work, ends the thread and joins it (off the thread): before the module unloads. */
  static void StopBeforeUnload();

  /** Whether the thread runs now. */
  static bool IsRunning();
  /** Whether the caller is the idle thread. */
  static bool IsCurrentThread();
};

} // namespace plug
