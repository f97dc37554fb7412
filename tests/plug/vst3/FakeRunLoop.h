#pragma once

// A host's Steinberg::Linux::IRunLoop for tests: it records the handlers
// registered with it and calls them when the test says so. Linux only.

#include "plug/vst3/VST3Sdk.h"

#include "pluginterfaces/gui/iplugview.h"

#include <algorithm>
#include <vector>

#if SMTG_OS_LINUX

namespace vst3test {

class FakeRunLoop : public Steinberg::FObject, public Steinberg::Linux::IRunLoop
{
public:
  struct Timer
  {
    Steinberg::Linux::ITimerHandler* handler;
    Steinberg::Linux::TimerInterval interval;
  };
  struct Reader
  {
    Steinberg::Linux::IEventHandler* handler;
    Steinberg::Linux::FileDescriptor fd;
  };

  Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler,
                                                     Steinberg::Linux::FileDescriptor fd) override
  {
    if (refuse || !handler)
      return Steinberg::kResultFalse;
    readers.push_back({handler, fd});
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) override
  {
    const auto before = readers.size();
    readers.erase(std::remove_if(readers.begin(), readers.end(), [handler](const Reader& r) { return r.handler == handler; }),
                  readers.end());
    return readers.size() < before ? Steinberg::kResultOk : Steinberg::kResultFalse;
  }
  Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                              Steinberg::Linux::TimerInterval milliseconds) override
  {
    if (refuse || !handler)
      return Steinberg::kResultFalse;
    timers.push_back({handler, milliseconds});
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override
  {
    const auto before = timers.size();
    timers.erase(std::remove_if(timers.begin(), timers.end(), [handler](const Timer& t) { return t.handler == handler; }),
                 timers.end());
    return timers.size() < before ? Steinberg::kResultOk : Steinberg::kResultFalse;
  }

  /** Calls every registered timer once (a copy of the list: handlers may unregister). */
  void FireTimers()
  {
    const std::vector<Timer> now = timers;
    for (const Timer& t : now)
      t.handler->onTimer();
  }
  void FireReaders()
  {
    const std::vector<Reader> now = readers;
    for (const Reader& r : now)
      r.handler->onFDIsSet(r.fd);
  }

  OBJ_METHODS(FakeRunLoop, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(Steinberg::Linux::IRunLoop)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

  std::vector<Timer> timers;
  std::vector<Reader> readers;
  bool refuse = false;
};

} // namespace vst3test

#endif
