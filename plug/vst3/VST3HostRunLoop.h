#pragma once

// The host's Steinberg::Linux::IRunLoop behind the framework's IHostRunLoop.
// Each timer or reader is a small reference-counted handler object registered
// with the host; removing it unregisters it at once, and a handler stays
// alive until its own callback has returned, so a callback may remove itself.
// Linux only (the interface does not exist elsewhere).

#include "plug/IHostRunLoop.h"

#include "plug/vst3/VST3Sdk.h"

#include "pluginterfaces/gui/iplugview.h"

#include <memory>
#include <vector>

namespace plug {

#if SMTG_OS_LINUX

class VST3HostRunLoop final : public IHostRunLoop
{
public:
  /** The run loop the frame offers (IPlugFrame::queryInterface), or null when it has none. */
  static std::unique_ptr<VST3HostRunLoop> FromFrame(Steinberg::IPlugFrame* frame) { return OfferedBy(frame); }
  /** The run loop a host object (a frame, a host context) answers for, or null. */
  static std::unique_ptr<VST3HostRunLoop> OfferedBy(Steinberg::FUnknown* host);

  /** Keeps a reference to the run loop. */
  explicit VST3HostRunLoop(Steinberg::Linux::IRunLoop* runLoop);
  /** Removes every timer and reader still registered. */
  ~VST3HostRunLoop() override;
  VST3HostRunLoop(const VST3HostRunLoop&) = delete;
  VST3HostRunLoop& operator=(const VST3HostRunLoop&) = delete;

  int AddTimer(int intervalMs, Callback func) override;
  int AddFdReader(int fd, Callback func) override;
  void Remove(int id) override;

  /** Timers and readers registered now. */
  int RegisteredCount() const { return static_cast<int>(mEntries.size()); }

private:
  class Handler;
  struct Entry
  {
    int id;
    bool timer;
    Handler* handler; // one reference held by the entry
  };

  Steinberg::Linux::IRunLoop* mRunLoop;
  std::vector<Entry> mEntries;
  int mNextId = 1;
};

#endif

} // namespace plug
