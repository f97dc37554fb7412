#pragma once

// The frame a Linux VST3 host gives an attached view: it grants resizes (the
// host window follows) and offers the host's run loop
// (Steinberg::Linux::IRunLoop), served by poll on the calling thread: timers
// fire when due, readers when their descriptor is readable. Between events
// the thread sleeps in poll, so an idle loop costs next to nothing.

#include "pluginterfaces/base/funknownimpl.h"
#include "pluginterfaces/gui/iplugview.h"

#include <chrono>
#include <functional>
#include <vector>

namespace editorbench {

class HostFrame
  : public Steinberg::U::ImplementsNonDestroyable<
      Steinberg::U::Directly<Steinberg::IPlugFrame, Steinberg::Linux::IRunLoop>>
{
public:
  using Clock = std::chrono::steady_clock;

  /** Called with the new size in pixels when a view asks to be resized. */
  std::function<void(int width, int height)> onResize;

  Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view, Steinberg::ViewRect* newSize) override;

  Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler,
                                                     Steinberg::Linux::FileDescriptor fd) override;
  Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) override;
  Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                              Steinberg::Linux::TimerInterval ms) override;
  Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override;

  /** Serves events until done() or the deadline; returns done(). */
  bool RunUntil(const std::function<bool()>& done, Clock::time_point deadline);
  void RunFor(std::chrono::milliseconds duration);
  /** A host-side timer (e.g. the host's own parameter refresh), served like the plug-in's. */
  void AddHostTimer(int ms, std::function<void()> callback);
  size_t Registered() const { return mTimers.size() + mReaders.size(); }

private:
  struct Timer
  {
    Steinberg::Linux::ITimerHandler* handler;
    std::function<void()> hostCallback;
    int ms;
    Clock::time_point due;
  };
  struct Reader
  {
    Steinberg::Linux::IEventHandler* handler;
    int fd;
  };

  void ServeOnce(Clock::time_point deadline);
  bool StillRegistered(const Steinberg::Linux::IEventHandler* handler) const;
  bool StillRegistered(const Timer& timer) const;

  std::vector<Timer> mTimers;
  std::vector<Reader> mReaders;
};

} // namespace editorbench
