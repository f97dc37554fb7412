#pragma once

// Runs a plug-in instance's idle work (the host requests the audio thread
// noted, the editor's queues) every 20 ms, on one thread at a time.
//
// Windows: a thread timer of the user-interface thread that created the
// instance (plug::Timer), from construction to destruction.
//
// Linux, from initialize to terminate: on the host's run loop wherever one is
// offered -- the context given to initialize or to the factory
// (IPluginFactory3::setHostContext), else the frame of the attached view --
// and on the module's idle thread (plug::IdleThread) while none is, as for
// hosts that offer no run loop without an editor. Attaching a view moves the
// work from the idle thread to the frame's loop before the editor opens, and
// removing it moves the work back after the editor closed; a move waits for a
// run in progress on the idle thread to end. So the work never runs beside
// the editor on another thread. While the attached view's editor ticks its
// frames at least every 20 ms, the work runs at the start of each frame
// instead of on a timer of its own: one wakeup of the user-interface thread
// instead of two. Removing the view gives the work its timer back.

#include "plug/IHostRunLoop.h"

#include "plug/vst3/VST3Sdk.h"

#include <functional>
#include <memory>

namespace plug {

class VST3IdleDriver
{
public:
  using Work = std::function<void()>;
  enum class Where
  {
    kNowhere,      // not started, or stopped
    kSystemTimer,  // Windows
    kHostRunLoop,  // the host's loop calls it on its user-interface thread
    kIdleThread,   // the module's own thread
    kEditorFrames, // with the attached view's editor frames, on the user-interface thread
  };

  explicit VST3IdleDriver(Work work);
  ~VST3IdleDriver();
  VST3IdleDriver(const VST3IdleDriver&) = delete;
  VST3IdleDriver& operator=(const VST3IdleDriver&) = delete;

  /** The instance was initialized; hostContext may offer the host's run loop. */
  void Start(Steinberg::FUnknown* hostContext);
  /** The instance is terminated: when this returns the work neither runs nor will until the next Start. */
  void Stop();
  /** The attached view's run loop (the frame's), or null once the view is removed. */
  void UseViewRunLoop(IHostRunLoop* runLoop);
  /**
   * The attached view's editor ticked a frame (user-interface thread). From the
   * first such tick until the view is removed, the work runs here; not when
   * frames come less often than the work's period, or with no view's loop.
   */
  void RunWithEditorFrame(double framePeriodMs);
  /** Runs f while no run of the work can be in progress on another thread. */
  void RunExclusive(const std::function<void()>& f);

  Where Runs() const;

  /** The factory's host context: its run loop serves the instances started from then on. */
  static void SetModuleHostContext(Steinberg::FUnknown* context);
  /** Before the module unloads: lets go of the host's objects and ends the module's own threads and timers. */
  static void SettleBeforeUnload();

private:
  struct Impl;
  std::unique_ptr<Impl> mImpl;
};

} // namespace plug
